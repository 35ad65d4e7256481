// The `expect` lines as a table of kinds: each kind names the form of its
// words and the check that compares what happened with what was wanted.
#include "expect.h"

#include <vector>

#include "messenger/messenger.h"
#include "watchdog.h"
#include "words.h"

namespace {

// Looks through the events of a kind since its last passing check; a match
// moves the mark past it. A message matches its target too.
bool seen_since(Journal &journal, Happened kind, const std::string &wanted, const std::string &target = "")
{
    std::vector<Event> &events = journal.events;
    for (size_t index = journal.looked[(int)kind]; index < events.size(); index++) {
        Event &event = events[index];
        if (event.kind != kind || event.text != wanted) continue;
        if (kind == Happened::Sent && event.about != target) continue;
        event.checked = true;
        journal.looked[(int)kind] = index + 1;
        return true;
    }
    return false;
}

// The events of a kind that no check has passed over, as a failure lists
// them.
std::string unchecked(const Journal &journal, Happened kind, const std::string &what)
{
    std::string list;
    for (size_t index = journal.looked[(int)kind]; index < journal.events.size(); index++) {
        const Event &event = journal.events[index];
        if (event.kind != kind) continue;
        std::string target = kind == Happened::Sent ? quoted(event.about) + " " : "";
        list += (list.empty() ? "" : ", ") + target + quoted(event.text);
    }
    if (list.empty()) return "found no " + what + " since the last one expected";
    return "found " + list;
}

// The last `tcl` line, when it failed; until a later `tcl` line or the end
// of the run a failure nobody checked with `expect error` fails the run.
Event *last_tcl_failure(Session &session)
{
    Event *result = session.journal.last(Happened::TclResult);
    return result != nullptr && result->code != 0 ? result : nullptr;
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
    const char *words;   // the words after the name, as the usage shows them
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
Check check_answer(Session &session, const Input &input)
{
    const Event *answer = session.journal.last(Happened::Answer);
    bool passed = answer != nullptr && answer->text == unescaped(input.rest(2));
    return {passed, answer != nullptr ? "found " + quoted(answer->text) : "nothing has answered yet"};
}

// expect error TEXT: the last `tcl` line failed with this message.
Check check_error(Session &session, const Input &input)
{
    Event *failure = last_tcl_failure(session);
    if (failure == nullptr) return {false, "the last tcl line did not fail"};
    failure->checked = true;
    return {failure->text == unescaped(input.rest(2)), "found " + quoted(failure->text)};
}

// expect message TARGET TEXT
Check check_message(Session &session, const Input &input)
{
    bool passed = seen_since(session.journal, Happened::Sent, unescaped(input.rest(3)), input.words[2]);
    return {passed, unchecked(session.journal, Happened::Sent, "message")};
}

Check check_seen(Session &session, Happened kind, const Input &input, const std::string &what)
{
    bool passed = seen_since(session.journal, kind, unescaped(input.rest(2)));
    return {passed, unchecked(session.journal, kind, what)};
}

// expect alert TEXT
Check check_alert(Session &session, const Input &input)
{
    return check_seen(session, Happened::AlertRaised, input, "alert");
}
// expect box TEXT
Check check_box(Session &session, const Input &input) { return check_seen(session, Happened::Box, input, "message box"); }
// expect opened LINK
Check check_opened(Session &session, const Input &input)
{
    return check_seen(session, Happened::Opened, input, "link opened");
}

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
    {"answer",        "TEXT",        Form::Text,        check_answer},
    {"error",         "TEXT",        Form::Text,        check_error},
    {"message",       "TARGET TEXT", Form::WordAndText, check_message},
    {"alert",         "TEXT",        Form::Text,        check_alert},
    {"box",           "TEXT",        Form::Text,        check_box},
    {"opened",        "LINK",        Form::Text,        check_opened},
    {"entry",         "ID TEXT",     Form::WordAndText, check_entry},
    {"log",           "NAME TEXT",   Form::WordAndText, check_log},
    {"disabled",      "NAME",        Form::Word,        check_disabled},
    {"alerts",        "N",           Form::Count,       check_alerts},
    {"entries",       "N",           Form::Count,       check_entries},
    {"subscriptions", "N",           Form::Count,       check_subscriptions},
    {"requests",      "N",           Form::Count,       check_requests},
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
    Event *failure = last_tcl_failure(session);
    if (failure == nullptr || failure->checked) return;
    failure->checked = true;
    if (session.options.interactive) return;
    session.fail(failure->line, "the script failed: " + quoted(failure->text) + " (expect error checks a failure)");
}

} // namespace

void settle_tcl_failure(Session &session) { report_unchecked_failure(session); }

void check_run_end(Session &session)
{
    report_unchecked_failure(session);
    if (session.options.boxes_allowed || session.options.interactive) return;
    for (const Event &event : session.journal.events) {
        if (event.kind != Happened::Box || event.checked) continue;
        session.fail_run("a message box that no expect box looked at: " + event.about + ": " + quoted(event.text));
    }
}

std::string expect_usage()
{
    std::string usage;
    for (const ExpectKind &kind : Kinds) usage += std::string(usage.empty() ? "" : "|") + kind.name + " " + kind.words;
    return usage;
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
