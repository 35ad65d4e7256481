#include "commands.h"

#include <cstdio>
#include <cstring>

namespace {

// One line of input: its text, its words and its number in the scenario.
struct Input {
    std::string text;
    std::vector<std::string> words;
    int number;
    // The words from `count` on, as typed.
    std::string rest(size_t count) const { return rest_after_words(text, count); }
};

enum class Next { Go, Quit };

using Run = Next (*)(Session &, const Input &);

struct Command {
    const char *name;
    const char *usage;       // what follows the name
    const char *help;
    bool needs_plugin;
    Run run;
    size_t words = (size_t)-1;   // words split off; the rest is text as typed
};

bool usage_error(Session &session, const Command &command);
const Command *find_command(const std::string &name);

// Reads word `index` as an integer; reports the usage when it is not one.
bool int_word(Session &session, const Input &input, size_t index, long &value)
{
    if (index < input.words.size() && parse_int(input.words[index], value)) return true;
    usage_error(session, *find_command(input.words[0]));
    return false;
}

bool count_between(Session &session, const Input &input, size_t least, size_t most)
{
    if (input.words.size() >= least && input.words.size() <= most) return true;
    usage_error(session, *find_command(input.words[0]));
    return false;
}

// --- Lifecycle ------------------------------------------------------------------

Next run_plugin(Session &session, const Input &input)
{
    if (!count_between(session, input, 2, 2)) return Next::Go;
    if (session.open_plugin(session.resolve(input.words[1]))) {
        session.load();
        session.start();
    }
    return Next::Go;
}

Next run_load(Session &session, const Input &)
{
    session.load();
    return Next::Go;
}

Next run_start(Session &session, const Input &)
{
    session.start();
    return Next::Go;
}

Next run_stop(Session &session, const Input &)
{
    session.stop();
    return Next::Go;
}

Next run_unload(Session &session, const Input &)
{
    session.unload();
    return Next::Go;
}

Next run_reload(Session &session, const Input &)
{
    if (session.stage() == Stage::Loaded || session.stage() == Stage::Started) session.stop();
    if (session.stage() == Stage::Stopped) session.unload();
    session.load();
    session.start();
    return Next::Go;
}

Next run_quit(Session &, const Input &)
{
    return Next::Quit;
}

Next run_help(Session &session, const Input &)
{
    for (const std::string &line : command_help()) session.out.line(line);
    return Next::Go;
}

// --- Scripts ----------------------------------------------------------------------

Next run_tcl(Session &session, const Input &input)
{
    session.evaluate(input.rest(1));
    return Next::Go;
}

Next run_say(Session &session, const Input &input)
{
    session.type_line(input.rest(1));
    return Next::Go;
}

Next run_wait(Session &session, const Input &input)
{
    long milliseconds;
    if (!count_between(session, input, 2, 2) || !int_word(session, input, 1, milliseconds)) return Next::Go;
    if (milliseconds < 0) {
        session.error("wait takes milliseconds from 0 on");
        return Next::Go;
    }
    session.wait((int)milliseconds);
    return Next::Go;
}

Next run_timeout(Session &session, const Input &input)
{
    long seconds;
    if (!count_between(session, input, 2, 2) || !int_word(session, input, 1, seconds)) return Next::Go;
    if (seconds < 0) {
        session.error("timeout takes seconds from 0 on");
        return Next::Go;
    }
    watchdog_set_timeout((int)seconds);
    return Next::Go;
}

Next run_button(Session &session, const Input &input)
{
    if (!count_between(session, input, 2, 100)) return Next::Go;
    std::vector<int> buttons;
    for (size_t index = 1; index < input.words.size(); index++) {
        long button;
        if (!int_word(session, input, index, button)) return Next::Go;
        buttons.push_back((int)button);
    }
    session.queue_buttons(buttons);
    return Next::Go;
}

// --- Contact list, connections, contacts ------------------------------------------

Next run_list(Session &session, const Input &)
{
    std::vector<std::string> lines = session.model.list.describe();
    if (lines.empty()) session.out.line("the contact list has no entries of plugins");
    for (const std::string &line : lines) session.out.line(line);
    return Next::Go;
}

Next run_click(Session &session, const Input &input)
{
    long id;
    if (!count_between(session, input, 2, 2) || !int_word(session, input, 1, id)) return Next::Go;
    session.click((int32_t)id);
    return Next::Go;
}

Next run_model_line(Session &session, const Input &input)
{
    std::string problem;
    if (!session.model.add_from_words(input.words, problem)) session.error(problem);
    return Next::Go;
}

Next run_fixture(Session &session, const Input &input)
{
    if (!count_between(session, input, 2, 2)) return Next::Go;
    session.load_fixture(session.resolve(input.words[1]));
    return Next::Go;
}

Next run_connections(Session &session, const Input &)
{
    if (session.model.connections.empty()) session.out.line("no connections");
    for (const Connection &connection : session.model.connections) {
        session.out.line("connection " + std::to_string(connection.id) + " " + connection.medium + " " +
                         quoted(connection.name) + " " + connection.status + " display=" +
                         quoted(connection.display));
    }
    return Next::Go;
}

Next run_contacts(Session &session, const Input &)
{
    if (session.model.contacts.empty()) session.out.line("no contacts");
    for (const Contact &contact : session.model.contacts) {
        session.out.line("contact " + contact.medium + " connection " + std::to_string(contact.connection_id) + " " +
                         quoted(contact.name) + " display=" + quoted(contact.display) + " status=" +
                         quoted(contact.status) + " section=" + quoted(contact.section) + " group=" +
                         quoted(contact.group) + " note=" + quoted(contact.note));
    }
    return Next::Go;
}

// connect adds the connection when the messenger does not know it yet.
Next run_connect(Session &session, const Input &input)
{
    if (!count_between(session, input, 3, 3)) return Next::Go;
    session.connection_change(session.model.set_connection(input.words[1], input.words[2], "online", ""));
    return Next::Go;
}

Next run_disconnect(Session &session, const Input &input)
{
    if (!count_between(session, input, 3, 3)) return Next::Go;
    if (session.model.find_connection(input.words[1], input.words[2]) == nullptr) {
        session.error("no connection " + input.words[1] + " " + input.words[2]);
        return Next::Go;
    }
    session.connection_change(session.model.set_connection(input.words[1], input.words[2], "offline", ""));
    return Next::Go;
}

// --- Alerts, HTTP, preferences ----------------------------------------------------------

Next run_alerts(Session &session, const Input &)
{
    if (session.model.alerts.empty()) session.out.line("no alerts");
    for (const auto &entry : session.model.alerts) {
        const Alert &alert = entry.second;
        std::string line = "alert " + std::to_string(alert.number) + " type=" + quoted(alert.type) + " text=" +
                           quoted(alert.text);
        if (alert.has_link) line += " link=" + quoted(alert.link);
        session.out.line(line);
    }
    return Next::Go;
}

Next run_alert(Session &session, const Input &input)
{
    long number;
    if (!count_between(session, input, 3, 3) || !int_word(session, input, 2, number)) return Next::Go;
    if (input.words[1] == "click") {
        session.alert_click((int32_t)number);
    } else if (input.words[1] == "close") {
        session.alert_close((int32_t)number);
    } else {
        usage_error(session, *find_command("alert"));
    }
    return Next::Go;
}

Next run_http(Session &session, const Input &input)
{
    const std::string what = input.words.size() > 1 ? input.words[1] : "";
    if (what == "list" && input.words.size() == 2) {
        if (session.model.requests.empty()) session.out.line("no requests waiting");
        for (const auto &entry : session.model.requests) {
            const Request &request = entry.second;
            std::string line = "request " + std::to_string(request.number) + " url=" + quoted(request.url);
            if (request.has_variable) line += " variable=" + quoted(request.variable);
            session.out.line(line);
        }
    } else if (what == "hold" && input.words.size() == 2) {
        session.hold_requests = true;
    } else if (what == "auto" && input.words.size() == 2) {
        session.hold_requests = false;
    } else if (what == "deliver" && input.words.size() == 3 && input.words[2] == "all") {
        std::vector<int32_t> numbers;
        for (const auto &entry : session.model.requests) numbers.push_back(entry.first);
        for (int32_t number : numbers) session.deliver_request(number);
    } else if (what == "deliver" && input.words.size() == 3) {
        long number;
        if (!int_word(session, input, 2, number)) return Next::Go;
        if (!session.deliver_request((int32_t)number)) session.error("no request " + std::to_string(number) + " waiting");
    } else {
        usage_error(session, *find_command("http"));
    }
    return Next::Go;
}

Next run_prefs(Session &session, const Input &input)
{
    const std::string what = input.words.size() > 1 ? input.words[1] : "";
    if ((what == "show" || what == "hide") && input.words.size() <= 3) {
        session.prefs_show(what == "show" ? 1 : 0, input.words.size() == 3 ? input.words[2] : "Tobrisk");
    } else if (what == "action" && input.words.size() == 3) {
        long action;
        if (int_word(session, input, 2, action)) session.prefs_action((int32_t)action);
    } else {
        usage_error(session, *find_command("prefs"));
    }
    return Next::Go;
}

// --- Expectations -----------------------------------------------------------------

// Looks through what happened since the last passing expectation of the
// same kind; a match moves the mark past it.
bool seen_since(Seen &seen, const std::string &wanted)
{
    for (size_t index = seen.checked; index < seen.items.size(); index++) {
        if (seen.items[index] != wanted) continue;
        seen.checked = index + 1;
        return true;
    }
    return false;
}

std::string unchecked(const Seen &seen, const std::string &what)
{
    if (seen.checked >= seen.items.size()) return "no " + what + " since the last one expected";
    std::string list;
    for (size_t index = seen.checked; index < seen.items.size(); index++) {
        list += (list.empty() ? "" : ", ") + quoted(seen.items[index]);
    }
    return "got " + list;
}

// The kinds that count something, and what they count.
size_t counted(Session &session, const std::string &kind)
{
    if (kind == "alerts") return session.model.alerts.size();
    if (kind == "entries") return session.model.list.size();
    if (kind == "subscriptions") return session.model.subscriptions.size();
    return session.model.requests.size();
}

Next run_expect(Session &session, const Input &input)
{
    const Command &expect = *find_command("expect");
    const std::string kind = input.words.size() > 1 ? input.words[1] : "";
    bool counts = kind == "alerts" || kind == "entries" || kind == "subscriptions" || kind == "requests";
    long wanted = 0;
    bool well_formed = !kind.empty();
    if (counts) {
        well_formed = input.words.size() == 3 && parse_int(input.words[2], wanted) && input.rest(3).empty();
    } else if (kind == "message" || kind == "entry") {
        well_formed = input.words.size() >= 3;
    }
    if (!well_formed) {
        usage_error(session, expect);
        return Next::Go;
    }
    bool passed = false;
    std::string detail;
    if (counts) {
        size_t actual = counted(session, kind);
        passed = wanted >= 0 && (size_t)wanted == actual;
        detail = "there are " + std::to_string(actual);
    } else if (kind == "answer") {
        passed = session.last_answer && *session.last_answer == input.rest(2);
        detail = session.last_answer ? "the answer was " + quoted(*session.last_answer) : "nothing has answered yet";
    } else if (kind == "message") {
        const std::vector<SentMessage> &messages = session.model.messages;
        std::string text = input.rest(3);
        for (size_t index = session.messages_checked; index < messages.size() && !passed; index++) {
            if (messages[index].target != input.words[2] || messages[index].text != text) continue;
            session.messages_checked = index + 1;
            passed = true;
        }
        detail = "no such message";
        for (size_t index = session.messages_checked; index < messages.size(); index++) {
            detail += (index == session.messages_checked ? "; got " : ", ") + quoted(messages[index].target) + " " +
                      quoted(messages[index].text);
        }
    } else if (kind == "alert") {
        passed = seen_since(session.alerts_raised, input.rest(2));
        detail = unchecked(session.alerts_raised, "alert");
    } else if (kind == "box") {
        passed = seen_since(session.boxes, input.rest(2));
        detail = unchecked(session.boxes, "message box");
    } else if (kind == "opened") {
        passed = seen_since(session.opened, input.rest(2));
        detail = unchecked(session.opened, "link opened");
    } else if (kind == "entry") {
        long id;
        const ListNode *node = parse_int(input.words[2], id) ? session.model.list.find((int32_t)id) : nullptr;
        passed = node != nullptr && node->text == input.rest(3);
        detail = node == nullptr ? "there is no entry " + input.words[2] : "its text is " + quoted(node->text);
    } else {
        usage_error(session, expect);
        return Next::Go;
    }
    if (!passed) {
        session.failures++;
        session.out.line("FAILED line " + std::to_string(input.number) + ": " + detail);
    }
    return Next::Go;
}

Next run_option(Session &session, const Input &)
{
    session.error("option lines come before every other line of a scenario");
    return Next::Go;
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = {
        {"help", "", "lists the commands", false, run_help},
        {"quit", "", "ends the session (stop and unload are still sent)", false, run_quit},
        {"plugin", "DIR", "loads the plugin folder DIR when none is loaded", false, run_plugin},
        {"load", "", "sends \"load\"", true, run_load},
        {"start", "", "sends \"start\"", true, run_start},
        {"stop", "", "sends \"stop\"", true, run_stop},
        {"unload", "", "sends \"unload\"", true, run_unload},
        {"reload", "", "stops and unloads the plugin, then loads and starts it again", true, run_reload},
        {"tcl", "SCRIPT", "evaluates SCRIPT in the plugin's interpreter", true, run_tcl, 1},
        {"say", "TEXT", "types TEXT into a message window (so does a line that begins with /)", false, run_say, 1},
        {"wait", "MS", "runs the message loop for MS milliseconds: timers and windows", false, run_wait},
        {"timeout", "S", "from here on, a plugin call running longer than S seconds is a hang (0: never)", false,
         run_timeout},
        {"button", "N ...", "the next message boxes answer with these button codes (1 OK, 2 Cancel, 6 Yes, 7 No)",
         false, run_button},
        {"list", "", "prints the contact list's entries", false, run_list},
        {"click", "ID", "double-clicks the contact-list entry ID", true, run_click},
        {"connection", "MEDIUM NAME [STATUS [DISPLAY]]", "adds a connection, without telling anyone", false,
         run_model_line},
        {"contact", "MEDIUM CONNECTION NAME [DISPLAY [STATUS [SECTION [GROUP [NOTE]]]]]", "adds a contact", false,
         run_model_line},
        {"fixture", "FILE", "adds the connections and contacts of FILE", false, run_fixture},
        {"connections", "", "prints the connections", false, run_connections},
        {"contacts", "", "prints the contacts", false, run_contacts},
        {"connect", "MEDIUM NAME", "brings a connection online and tells every subscription", true, run_connect},
        {"disconnect", "MEDIUM NAME", "takes a connection offline and tells every subscription", true,
         run_disconnect},
        {"alerts", "", "prints the open tray alerts", false, run_alerts},
        {"alert", "click|close N", "clicks the link of alert N, or closes it", true, run_alert},
        {"http", "list|hold|auto|deliver N|deliver all",
         "shows waiting requests; holds them until delivered; delivers them", true, run_http},
        {"prefs", "show [PAGE]|hide [PAGE]|action N", "drives the preferences page", true, run_prefs},
        {"expect",
         "answer TEXT|message TARGET TEXT|alert TEXT|box TEXT|opened LINK|entry ID TEXT|alerts N|entries N|"
         "subscriptions N|requests N",
         "checks what happened; a failed check is reported with its line number", false, run_expect, 3},
        {"option", "NAME VALUE", "at the head of a scenario: scripts DIR, fixture FILE, www DIR",
         false, run_option},
    };
    return table;
}

const Command *find_command(const std::string &name)
{
    for (const Command &command : commands()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

bool usage_error(Session &session, const Command &command)
{
    std::string usage = std::string(command.name) + (command.usage[0] ? " " : "") + command.usage;
    session.error("usage: " + usage);
    return false;
}

std::string trimmed(const std::string &line)
{
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

bool is_blank_or_comment(const std::string &line)
{
    return line.empty() || line[0] == '#';
}

Next execute(Session &session, const std::string &line, int number)
{
    if (line[0] == '/') {
        session.type_line(line);
        return Next::Go;
    }
    Input input{line, {}, number};
    std::string name = line.substr(0, line.find_first_of(" \t"));
    const Command *command = find_command(name);
    if (command == nullptr) {
        session.error("unknown command " + quoted(name) + " (help lists the commands)");
        return Next::Go;
    }
    std::string problem;
    if (!split_words(line, input.words, problem, command->words)) {
        session.error(problem);
        return Next::Go;
    }
    if (command->needs_plugin && !session.has_plugin()) {
        session.error("no plugin is loaded (plugin DIR loads one)");
        return Next::Go;
    }
    return command->run(session, input);
}

// Applies an "option" line; paths are relative to the scenario's folder.
// What the command line gave wins.
void apply_option(Session &session, const std::vector<std::string> &words)
{
    Options &options = session.options;
    if (words.size() != 3) {
        session.error("usage: option NAME VALUE");
        return;
    }
    const std::string &name = words[1];
    if (options.was_given(name)) return;
    if (name == "scripts") {
        options.scripts = session.resolve(words[2]);
    } else if (name == "fixture") {
        options.fixture = session.resolve(words[2]);
    } else if (name == "www") {
        options.www = session.resolve(words[2]);
    } else {
        session.error("unknown option " + quoted(name) + " (scripts, fixture, www)");
    }
}

} // namespace

std::vector<std::string> command_help()
{
    std::vector<std::string> lines;
    for (const Command &command : commands()) {
        std::string usage = std::string(command.name) + (command.usage[0] ? " " : "") + command.usage;
        lines.push_back(usage + "\n    " + command.help);
    }
    return lines;
}

void run_scenario(Session &session, const std::vector<std::string> &lines)
{
    size_t index = 0;
    for (; index < lines.size(); index++) {
        std::string line = trimmed(lines[index]);
        if (is_blank_or_comment(line)) continue;
        std::vector<std::string> words;
        std::string problem;
        if (!split_words(line, words, problem) || words[0] != "option") break;
        session.out.top("> " + line);
        apply_option(session, words);
    }
    // Real message boxes wait for the user, so --gui times nothing out.
    int fallback = session.options.gui ? 0 : 30;
    watchdog_start(session.options.timeout_seconds < 0 ? fallback : session.options.timeout_seconds);
    session.begin();
    session.pump(false);
    for (; index < lines.size(); index++) {
        std::string line = trimmed(lines[index]);
        if (is_blank_or_comment(line)) continue;
        session.out.top("> " + line);
        if (execute(session, line, (int)index + 1) == Next::Quit) break;
        session.pump(false);
    }
    session.finish();
}

namespace {

// Standard input is read on a thread of its own, so that the main thread
// can run the message loop while the user types.
struct LineReader {
    CRITICAL_SECTION lock;
    HANDLE ready;
    std::vector<std::string> lines;
    bool ended = false;
};

DWORD WINAPI read_lines(void *parameter)
{
    LineReader *reader = (LineReader *)parameter;
    char buffer[4096];
    std::string line;
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        line += buffer;
        if (line.back() != '\n') continue;
        line.pop_back();
        EnterCriticalSection(&reader->lock);
        reader->lines.push_back(line);
        LeaveCriticalSection(&reader->lock);
        SetEvent(reader->ready);
        line.clear();
    }
    EnterCriticalSection(&reader->lock);
    if (!line.empty()) reader->lines.push_back(line);
    reader->ended = true;
    LeaveCriticalSection(&reader->lock);
    SetEvent(reader->ready);
    return 0;
}

} // namespace

void run_interactive(Session &session)
{
    watchdog_start(session.options.timeout_seconds < 0 ? 0 : session.options.timeout_seconds);
    std::printf("tobrisk-host: a stand-in messenger for Tobrisk scripts. help lists the commands.\n");
    session.begin();
    session.pump(true);
    static LineReader reader;
    InitializeCriticalSection(&reader.lock);
    reader.ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, read_lines, &reader, 0, nullptr);
    int number = 0;
    bool quit = false;
    while (!quit) {
        std::printf("tobrisk> ");
        std::fflush(stdout);
        std::string line;
        bool have_line = false;
        while (!have_line) {
            EnterCriticalSection(&reader.lock);
            if (!reader.lines.empty()) {
                line = reader.lines.front();
                reader.lines.erase(reader.lines.begin());
                have_line = true;
            }
            bool ended = reader.ended && reader.lines.empty() && !have_line;
            LeaveCriticalSection(&reader.lock);
            if (ended) {
                std::printf("\n");
                quit = true;
                break;
            }
            if (have_line) break;
            MsgWaitForMultipleObjects(1, &reader.ready, FALSE, 50, QS_ALLINPUT);
            session.pump(true);
        }
        if (quit) break;
        number++;
        line = trimmed(line);
        if (is_blank_or_comment(line)) continue;
        if (execute(session, line, number) == Next::Quit) quit = true;
        session.pump(true);
    }
    session.finish();
    if (thread != nullptr) CloseHandle(thread);
}
