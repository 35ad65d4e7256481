// The `expect` lines as a table of kinds: each kind names the form of its
// words and the check that compares what happened with what was wanted.
#include "expect.h"

#include <optional>
#include <vector>

#include "commands.h"
#include "words.h"

namespace {

// A log of what happened, and how far earlier expectations have looked.
struct SeenLog {
    std::vector<std::string> items;
    size_t checked = 0;
};

SeenLog g_seen[3];                         // by Seen
std::optional<std::string> g_last_answer;
size_t g_messages_checked = 0;

SeenLog &log_of(Seen kind) { return g_seen[(int)kind]; }

// Looks through what happened since the last passing expectation of the
// same kind; a match moves the mark past it.
bool seen_since(SeenLog &seen, const std::string &wanted)
{
    for (size_t index = seen.checked; index < seen.items.size(); index++) {
        if (seen.items[index] != wanted) continue;
        seen.checked = index + 1;
        return true;
    }
    return false;
}

std::string unchecked(const SeenLog &seen, const std::string &what)
{
    if (seen.checked >= seen.items.size()) return "no " + what + " since the last one expected";
    std::string list;
    for (size_t index = seen.checked; index < seen.items.size(); index++) {
        list += (list.empty() ? "" : ", ") + quoted(seen.items[index]);
    }
    return "got " + list;
}

struct Check {
    bool passed;
    std::string detail;
};

// The words after the kind: a number alone, a text, or a word and a text.
enum class Form { Count, Text, WordAndText };

using Checker = Check (*)(Session &, const Input &);

struct ExpectKind {
    const char *name;
    Form form;
    Checker check;
};

Check count_is(const Input &input, size_t actual)
{
    long wanted = 0;
    parse_int(input.words[2], wanted);
    return {wanted >= 0 && (size_t)wanted == actual, "there are " + std::to_string(actual)};
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
    bool passed = g_last_answer && *g_last_answer == input.rest(2);
    return {passed, g_last_answer ? "the answer was " + quoted(*g_last_answer) : "nothing has answered yet"};
}

// expect message TARGET TEXT
Check check_message(Session &session, const Input &input)
{
    const std::vector<SentMessage> &messages = session.model.messages;
    std::string text = input.rest(3);
    bool passed = false;
    for (size_t index = g_messages_checked; index < messages.size() && !passed; index++) {
        if (messages[index].target != input.words[2] || messages[index].text != text) continue;
        g_messages_checked = index + 1;
        passed = true;
    }
    std::string detail = "no such message";
    for (size_t index = g_messages_checked; index < messages.size(); index++) {
        detail += (index == g_messages_checked ? "; got " : ", ") + quoted(messages[index].target) + " " +
                  quoted(messages[index].text);
    }
    return {passed, detail};
}

Check check_seen(Seen kind, const Input &input, const std::string &what)
{
    bool passed = seen_since(log_of(kind), input.rest(2));
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
    bool passed = node != nullptr && node->text == input.rest(3);
    return {passed, node == nullptr ? "there is no entry " + input.words[2] : "its text is " + quoted(node->text)};
}

const ExpectKind Kinds[] = {
    {"answer", Form::Text, check_answer},
    {"message", Form::WordAndText, check_message},
    {"alert", Form::Text, check_alert},
    {"box", Form::Text, check_box},
    {"opened", Form::Text, check_opened},
    {"entry", Form::WordAndText, check_entry},
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
    case Form::WordAndText:
        return input.words.size() >= 3;
    case Form::Text:
        return true;
    }
    return false;
}

} // namespace

void note_seen(Seen kind, const std::string &text) { log_of(kind).items.push_back(text); }
void note_answer(const std::string &text) { g_last_answer = text; }

Next run_expect(Session &session, const Input &input)
{
    const ExpectKind *kind = kind_named(input.words.size() > 1 ? input.words[1] : "");
    if (kind == nullptr || !well_formed(*kind, input)) {
        usage_error(session, input);
        return Next::Go;
    }
    Check check = kind->check(session, input);
    if (!check.passed) session.fail(input.number, check.detail);
    return Next::Go;
}
