// The `expect` lines as a table of kinds: each kind names the form of its
// words and the check that compares what happened with what was wanted.
#include "expect.h"

#include <optional>
#include <vector>

#include "commands.h"
#include "messenger/messenger.h"
#include "watchdog.h"
#include "words.h"

namespace {

// A log of what happened, and how far earlier expectations have looked.
// `shown` is how an unexpected item is named at the end of a run.
struct SeenItem {
    std::string text, shown;
    bool matched;
};

struct SeenLog {
    std::vector<SeenItem> items;
    size_t checked = 0;
};

// The last `tcl` line that failed, until a later `tcl` line or the end of
// the run; a failure nobody checked with `expect error` fails the run.
struct TclFailure {
    int line;
    std::string message;
    bool checked;
};

SeenLog g_seen[3];                         // by Seen
std::optional<std::string> g_last_answer;
std::optional<TclFailure> g_last_failure;
size_t g_messages_checked = 0;

SeenLog &log_of(Seen kind) { return g_seen[(int)kind]; }

// Looks through what happened since the last passing expectation of the
// same kind; a match moves the mark past it.
bool seen_since(SeenLog &seen, const std::string &wanted)
{
    for (size_t index = seen.checked; index < seen.items.size(); index++) {
        if (seen.items[index].text != wanted) continue;
        seen.items[index].matched = true;
        seen.checked = index + 1;
        return true;
    }
    return false;
}

std::string unchecked(const SeenLog &seen, const std::string &what)
{
    if (seen.checked >= seen.items.size()) return "found no " + what + " since the last one expected";
    std::string list;
    for (size_t index = seen.checked; index < seen.items.size(); index++) {
        list += (list.empty() ? "" : ", ") + quoted(seen.items[index].text);
    }
    return "found " + list;
}

struct Check {
    bool passed;
    std::string detail;   // what was found instead
};

// The words after the kind: a number alone, a text, a word alone, or a
// word and a text.
enum class Form { Count, Text, Word, WordAndText };

using Checker = Check (*)(Session &, const Input &);

struct ExpectKind {
    const char *name;
    Form form;
    Checker check;
};

// The text of a check, with the escapes that the transcript writes.
std::string wanted_text(const Input &input, const ExpectKind &kind)
{
    return unescaped(input.rest(kind.form == Form::WordAndText ? 3 : 2));
}

Check count_is(const Input &input, size_t actual)
{
    long wanted = 0;
    parse_int(input.words[2], wanted);
    return {wanted >= 0 && (size_t)wanted == actual, "found " + std::to_string(actual)};
}

// expect alerts N
Check check_alerts(Session &session, const Input &input) { return count_is(input, session.model.alerts.size()); }
// expect entries N
Check check_entries(Session &session, const Input &input) { return count_is(input, session.model.list.size()); }
// expect subscriptions N
Check check_subscriptions(Session &session, const Input &input)
{
    return count_is(input, session.model.subscriptions.size());
}
// expect requests N
Check check_requests(Session &session, const Input &input) { return count_is(input, session.model.requests.size()); }

// expect answer TEXT
Check check_answer(Session &, const Input &input)
{
    bool passed = g_last_answer && *g_last_answer == unescaped(input.rest(2));
    return {passed, g_last_answer ? "found " + quoted(*g_last_answer) : "nothing has answered yet"};
}

// expect error TEXT: the last `tcl` line failed with this message.
Check check_error(Session &, const Input &input)
{
    if (!g_last_failure) return {false, "the last tcl line did not fail"};
    g_last_failure->checked = true;
    return {g_last_failure->message == unescaped(input.rest(2)), "found " + quoted(g_last_failure->message)};
}

// expect message TARGET TEXT
Check check_message(Session &session, const Input &input)
{
    const std::vector<SentMessage> &messages = session.model.messages;
    std::string text = unescaped(input.rest(3));
    bool passed = false;
    for (size_t index = g_messages_checked; index < messages.size() && !passed; index++) {
        if (messages[index].target != input.words[2] || messages[index].text != text) continue;
        g_messages_checked = index + 1;
        passed = true;
    }
    std::string found;
    for (size_t index = g_messages_checked; index < messages.size(); index++) {
        found += (found.empty() ? "found " : ", ") + quoted(messages[index].target) + " " +
                 quoted(messages[index].text);
    }
    return {passed, found.empty() ? "found no message since the last one expected" : found};
}

Check check_seen(Seen kind, const Input &input, const std::string &what)
{
    bool passed = seen_since(log_of(kind), unescaped(input.rest(2)));
    return {passed, unchecked(log_of(kind), what)};
}

// expect alert TEXT
Check check_alert(Session &, const Input &input) { return check_seen(Seen::Alert, input, "alert"); }
// expect box TEXT
Check check_box(Session &, const Input &input) { return check_seen(Seen::Box, input, "message box"); }
// expect opened LINK
Check check_opened(Session &, const Input &input) { return check_seen(Seen::Opened, input, "link opened"); }

// expect entry ID TEXT
Check check_entry(Session &session, const Input &input)
{
    long id;
    const ListNode *node = parse_int(input.words[2], id) ? session.model.list.find((int32_t)id) : nullptr;
    bool passed = node != nullptr && node->text == unescaped(input.rest(3));
    return {passed, node == nullptr ? "there is no entry " + input.words[2] : "found " + quoted(node->text)};
}

// Asks the plugin's script supervisor about a script: `command NAME`
// evaluated in the plugin's interpreter, without a line in the transcript.
Check ask_supervisor(Session &session, const char *command, const std::string &name, std::string &answer)
{
    if (!session.tcl_ready()) return {false, "the plugin has no interpreter to ask"};
    messenger::EvalResult result;
    {
        Busy busy(std::string("the script supervisor's ") + command);
        result = messenger::eval(std::string(command) + " " + tcl_word(name));
    }
    answer = result.result;
    return {result.code == 0, "found the error " + quoted(result.result)};
}

// expect log NAME TEXT: the script's log holds TEXT.
Check check_log(Session &session, const Input &input)
{
    std::string log;
    Check asked = ask_supervisor(session, "::tobrisk::log", input.words[2], log);
    if (!asked.passed) return asked;
    return {log.find(unescaped(input.rest(3))) != std::string::npos, "found " + quoted(log)};
}

// expect disabled NAME
Check check_disabled(Session &session, const Input &input)
{
    std::string state;
    Check asked = ask_supervisor(session, "::tobrisk::state", input.words[2], state);
    if (!asked.passed) return asked;
    return {state == "disabled", "found the state " + quoted(state)};
}

const ExpectKind Kinds[] = {
    {"answer", Form::Text, check_answer},
    {"error", Form::Text, check_error},
    {"message", Form::WordAndText, check_message},
    {"alert", Form::Text, check_alert},
    {"box", Form::Text, check_box},
    {"opened", Form::Text, check_opened},
    {"entry", Form::WordAndText, check_entry},
    {"log", Form::WordAndText, check_log},
    {"disabled", Form::Word, check_disabled},
    {"alerts", Form::Count, check_alerts},
    {"entries", Form::Count, check_entries},
    {"subscriptions", Form::Count, check_subscriptions},
    {"requests", Form::Count, check_requests},
};

const ExpectKind *kind_named(const std::string &name)
{
    for (const ExpectKind &kind : Kinds) {
        if (name == kind.name) return &kind;
    }
    return nullptr;
}

bool well_formed(const ExpectKind &kind, const Input &input)
{
    long number;
    switch (kind.form) {
    case Form::Count:
        return input.words.size() == 3 && parse_int(input.words[2], number) && input.rest(3).empty();
    case Form::Word:
        return input.words.size() == 3 && input.rest(3).empty();
    case Form::WordAndText:
        return input.words.size() >= 3;
    case Form::Text:
        return true;
    }
    return false;
}

// What the check wanted, as a failure shows it.
std::string expected_of(const ExpectKind &kind, const Input &input)
{
    switch (kind.form) {
    case Form::Count:
    case Form::Word:
        return input.words[2];
    case Form::WordAndText: {
        long number;
        std::string word = parse_int(input.words[2], number) ? input.words[2] : quoted(input.words[2]);
        return word + " " + quoted(wanted_text(input, kind));
    }
    case Form::Text:
        break;
    }
    return quoted(wanted_text(input, kind));
}

// A `tcl` line's failure that no `expect error` looked at fails the run.
void report_unchecked_failure(Session &session)
{
    if (!g_last_failure || g_last_failure->checked) return;
    g_last_failure->checked = true;
    if (session.options.interactive) return;
    session.fail(g_last_failure->line, "the script failed: " + quoted(g_last_failure->message) +
                                           " (expect error checks a failure)");
}

} // namespace

void note_seen(Seen kind, const std::string &text, const std::string &shown)
{
    log_of(kind).items.push_back({text, shown.empty() ? quoted(text) : shown, false});
}

void note_answer(const std::string &text) { g_last_answer = text; }

void settle_tcl_failure(Session &session) { report_unchecked_failure(session); }

void note_tcl_result(int line, int code, const std::string &result)
{
    g_last_failure.reset();
    if (code != 0) g_last_failure = TclFailure{line, result, false};
}

void check_run_end(Session &session)
{
    report_unchecked_failure(session);
    if (session.options.boxes_allowed || session.options.interactive) return;
    for (const SeenItem &box : log_of(Seen::Box).items) {
        if (!box.matched) session.fail_run("a message box that no expect box looked at: " + box.shown);
    }
}

Next run_expect(Session &session, const Input &input)
{
    const ExpectKind *kind = kind_named(input.words.size() > 1 ? input.words[1] : "");
    if (kind == nullptr || !well_formed(*kind, input)) {
        usage_error(session, input);
        return Next::Go;
    }
    Check check = kind->check(session, input);
    if (!check.passed) session.fail(input.number, "expected " + expected_of(*kind, input) + ", " + check.detail);
    return Next::Go;
}
