// The host's calls back into the plugin: double-clicks, connection changes,
// enumerations, alert clicks and HTTP completions, and who frees what.
#include "bridge.h"

using namespace bridge;
using messenger::HostCall;

namespace {

class Callbacks : public Running {};

const char ListCaption[] = "Tobrisk Error (TobriskTclListCallback)";
const char EventsCaption[] = "Tobrisk Error (TobriskTclEventsCallback)";

// The record of a service that one script sent.
HostCall registration(const std::string &script, const std::string &service)
{
    Outcome outcome = run(script);
    EXPECT_EQ(0, outcome.result.code) << script << ": " << outcome.result.result;
    return sent(outcome, service);
}

void expect_box(const std::string &text, const std::string &caption)
{
    std::vector<messenger::UiCall> boxes = messenger::message_boxes();
    ASSERT_EQ(1u, boxes.size()) << caption;
    EXPECT_EQ(text, boxes[0].text);
    EXPECT_EQ(caption, boxes[0].caption);
    EXPECT_EQ(0u, boxes[0].owner);
    EXPECT_EQ(0u, boxes[0].type);
}

// --- Double-click on a contact-list entry -------------------------------

TEST_F(Callbacks, ListDoubleClickRunsTheScript)
{
    HostCall entry = registration("vellumar listAddEntry section 1 callback {incr ::clicks}", "listAddEntry");
    messenger::eval_ok("set ::clicks 0");
    for (const char *other : {"list_rightDoubleClick", "list_leftDoubleClickx", "List_leftDoubleClick"}) {
        EXPECT_EQ(0, entry.callback(1, 0, other, nullptr, entry.userData));
    }
    EXPECT_EQ("0", messenger::eval_ok("set ::clicks"));
    EXPECT_EQ(0, entry.callback(0, 0, "list_leftDoubleClick", nullptr, entry.userData));
    EXPECT_EQ(0, entry.callback(0, 0, "list_leftDoubleClick", nullptr, entry.userData));
    EXPECT_EQ("2", messenger::eval_ok("set ::clicks"));
    EXPECT_TRUE(messenger::message_boxes().empty());
    // The binding lives on: a click never frees it.
    EXPECT_TRUE(messenger::is_live_copy(binding_text(entry.userData)));
}

TEST_F(Callbacks, ListDoubleClickReportsFailures)
{
    HostCall empty = registration("vellumar listAddEntry section 1 callback {}", "listAddEntry");
    EXPECT_EQ(0, empty.callback(0, 0, "list_leftDoubleClick", nullptr, empty.userData));
    EXPECT_TRUE(messenger::message_boxes().empty());

    HostCall failing = registration("vellumar listAddEntry section 1 callback {error {no such entry}}",
                                    "listAddEntry");
    EXPECT_EQ(0, failing.callback(0, 0, "list_leftDoubleClick", nullptr, failing.userData));
    expect_box("no such entry", ListCaption);
}

// --- Connection changes ------------------------------------------------

// A chain of name/value links, kept alive for the callback.
struct Chain {
    std::vector<EventField> links;
    Chain(std::initializer_list<std::pair<const char *, const void *>> fields)
    {
        for (const auto &field : fields) {
            EventField link = {};
            link.name = field.first;
            link.value = field.second;
            links.push_back(link);
        }
        for (size_t index = 0; index + 1 < links.size(); index++) links[index].next = &links[index + 1];
    }
    void *data() { return links.empty() ? nullptr : &links[0]; }
};

// The subscribed script records what `event` held while it ran.
const char Recorder[] = "set ::seen [lsort -stride 2 [array get event]]; incr ::runs";

HostCall subscribe(const std::string &script)
{
    HostCall call = registration("vellumar eventsConnect {Connection: Change} {" + script + "}", "eventsConnect");
    messenger::eval_ok("set ::runs 0; set ::seen {}");
    return call;
}

TEST_F(Callbacks, ConnectionChangePublishesFields)
{
    HostCall subscription = subscribe(Recorder);
    int32_t cid = 3;
    Chain chain = {{"cid", &cid}, {"medium", "ICQ"}, {"nick", "bob"}, {"names", "x"}};
    EXPECT_EQ(0, subscription.callback(1, 0, "Connection: Change", chain.data(), subscription.userData));
    EXPECT_EQ("1", messenger::eval_ok("set ::runs"));
    EXPECT_EQ("connection_id 3 medium ICQ", messenger::eval_ok("set ::seen"));
    EXPECT_EQ("0", messenger::eval_ok("info exists ::event"));

    int32_t other = -8;
    Chain full = {{"name", "home"}, {"status", "away"}, {"cid", &cid}, {"cid", &other}, {"medium", "AIM"}};
    subscription.callback(1, 0, "Connection: Change", full.data(), subscription.userData);
    EXPECT_EQ("connection_id -8 medium AIM name home status away", messenger::eval_ok("set ::seen"));

    // No chain at all: the script runs with no array.
    subscription.callback(1, 0, "Connection: Change", nullptr, subscription.userData);
    EXPECT_EQ("3", messenger::eval_ok("set ::runs"));
    EXPECT_EQ("", messenger::eval_ok("set ::seen"));
    EXPECT_TRUE(messenger::message_boxes().empty());
    // The subscription keeps its binding: events never free it.
    EXPECT_TRUE(messenger::is_live_copy(binding_text(subscription.userData)));
}

// Other events, other codes, and near-miss names leave `event` untouched.
TEST_F(Callbacks, ConnectionChangeFilters)
{
    HostCall subscription = subscribe(Recorder);
    messenger::eval_ok("set ::event untouched");
    int32_t cid = 1;
    Chain chain = {{"cid", &cid}};
    struct Case {
        int32_t code;
        const char *event;
    } cases[] = {{2, "Connection: Change"}, {0, "Connection: Change"}, {1, "Connection: Changes"},
                 {1, "connection: change"}, {1, "Connection: Chang"}, {1, nullptr}};
    for (const Case &entry : cases) {
        EXPECT_EQ(0, subscription.callback(entry.code, 0, entry.event, chain.data(), subscription.userData));
    }
    EXPECT_EQ("0", messenger::eval_ok("set ::runs"));
    EXPECT_EQ("untouched", messenger::eval_ok("set ::event"));

    // A scalar `event` refuses the stores; the script still runs, and the
    // variable is gone afterwards.
    subscription.callback(1, 0, "Connection: Change", chain.data(), subscription.userData);
    EXPECT_EQ("1", messenger::eval_ok("set ::runs"));
    EXPECT_EQ("0", messenger::eval_ok("info exists ::event"));
}

// Links without a name or a value carry nothing and are skipped.
TEST_F(Callbacks, ConnectionChangeSkipsEmptyLinks)
{
    HostCall subscription = subscribe(Recorder);
    Chain chain = {{nullptr, "lost"}, {"medium", nullptr}, {"status", "online"}, {nullptr, nullptr}};
    EXPECT_EQ(0, subscription.callback(1, 0, "Connection: Change", chain.data(), subscription.userData));
    EXPECT_EQ("status online", messenger::eval_ok("set ::seen"));
}

// Anything but a normal completion is a failure; Tcl itself turns a
// top-level `return` into success.
TEST_F(Callbacks, ConnectionChangeReportsFailures)
{
    struct Case {
        const char *script;
        const char *box;
    } cases[] = {
        {"error {cannot connect}", "cannot connect"},
        {"break", "invoked \"break\" outside of a loop"},
        {"continue", "invoked \"continue\" outside of a loop"},
        {"return done", nullptr},
    };
    int32_t cid = 4;
    Chain chain = {{"cid", &cid}};
    for (const Case &entry : cases) {
        messenger::clear_ui_calls();
        HostCall subscription = subscribe(entry.script);
        EXPECT_EQ(0, subscription.callback(1, 0, "Connection: Change", chain.data(), subscription.userData));
        if (entry.box != nullptr) {
            expect_box(entry.box, EventsCaption);
        } else {
            EXPECT_TRUE(messenger::message_boxes().empty()) << entry.script;
        }
        EXPECT_EQ("0", messenger::eval_ok("info exists ::event")) << entry.script;
    }
}

// --- Enumerations ------------------------------------------------------

struct Step {
    const char *event;
    const EnumEntry *entry;
};

// A host that plays an enumeration inside the service call.
messenger::Answer enumeration(std::vector<Step> steps)
{
    return [steps](HostCall &call) {
        for (const Step &step : steps) call.callback(0, 0, step.event, (void *)step.entry, call.userData);
        return 17;
    };
}

EnumEntry connection(const char *first, int32_t number, const char *a, const char *b, const char *c)
{
    EnumEntry entry = {};
    entry.first = first;
    entry.number = number;
    entry.texts[0] = a;
    entry.texts[1] = b;
    entry.texts[2] = c;
    return entry;
}

TEST_F(Callbacks, ConnectionEnumerationLists)
{
    EnumEntry one = connection("one", 5, "two", "three", "four");
    EnumEntry gaps = connection(nullptr, -1, "b", nullptr, "d");
    struct Case {
        std::vector<Step> steps;
        int code;
        const char *result;
    } cases[] = {
        {{}, 0, ""},
        {{{"enum_start", nullptr}, {"enum_add", &one}, {"enum_add", &gaps}, {"enum_finish", nullptr}},
         0, "{one 5 two three four} {{} -1 b {} d}"},
        {{{"enum_start", nullptr}, {"enum_add", &one}}, 1, "{one 5 two three four}"},
        {{{"enum_add", &one}}, 0, "{one 5 two three four}"},
        {{{"enum_start", nullptr}, {"enum_add", nullptr}, {"enum_other", &one}, {"enum_finish", nullptr}},
         0, ""},
        {{{"enum_start", nullptr}, {"enum_finish", nullptr}, {"enum_start", nullptr}}, 1, ""},
    };
    for (const Case &entry : cases) {
        messenger::set_answer("connectionEnumerate", enumeration(entry.steps));
        messenger::EvalResult result = messenger::eval("vellumar connectionEnumerate ICQ");
        EXPECT_EQ(entry.code, result.code) << entry.result;
        EXPECT_EQ(entry.result, result.result);
    }
    EXPECT_TRUE(messenger::message_boxes().empty());
}

TEST_F(Callbacks, ContactEnumerationLists)
{
    EnumEntry contact = {};
    const char *texts[] = {"t1", "t2", nullptr, "t4", "t5", "t6"};
    contact.first = "first";
    contact.number = 9;
    std::memcpy(contact.texts, texts, sizeof texts);
    bool state_checked = false;
    messenger::set_answer("contactlistEnumerate", [&](HostCall &call) {
        // The state handed over: its size, the running interpreter, and no
        // enumeration in progress yet.
        const uint32_t *state = (const uint32_t *)call.userData;
        EXPECT_EQ(16u, state[0]);
        EXPECT_EQ((uintptr_t)messenger::interp(), state[1]);
        EXPECT_EQ(0u, state[3]);
        state_checked = true;
        for (const char *event : {"enum_start", "enum_add", "enum_add", "enum_finish"}) {
            call.callback(0, 0, event, &contact, call.userData);
        }
        return 0;
    });
    EXPECT_EQ("{first 9 t1 t2 {} t4 t5 t6} {first 9 t1 t2 {} t4 t5 t6}",
              messenger::eval_ok("vellumar contactlistEnumerate ICQ"));
    EXPECT_TRUE(state_checked);
}

// A call without the state shows a box before looking at the event.
TEST_F(Callbacks, EnumerationWithoutState)
{
    HostCall connections = registration("vellumar connectionEnumerate ICQ", "connectionEnumerate");
    HostCall contacts = registration("vellumar contactlistEnumerate ICQ", "contactlistEnumerate");
    struct Case {
        HostCall *call;
        const char *event;
        const char *text;
    } cases[] = {
        {&connections, "enum_start", "userData is NULL in connectCallback()"},
        {&connections, "enum_add", "userData is NULL in connectCallback()"},
        {&contacts, "enum_add", "userData is NULL in contactCallback()"},
        {&contacts, "other", "userData is NULL in contactCallback()"},
    };
    EnumEntry entry = connection("a", 1, "b", "c", "d");
    for (const Case &entry_case : cases) {
        messenger::clear_ui_calls();
        EXPECT_EQ(0, entry_case.call->callback(0, 0, entry_case.event, &entry, nullptr));
        expect_box(entry_case.text, "Error");
    }
}

// --- Alerts ------------------------------------------------------------

TEST_F(Callbacks, AlertLinkOpensUntilDestroyed)
{
    HostCall alert = registration("vellumar systraySetAlert info hello http://example/", "systraySetAlert");
    char *link = (char *)alert.userData;
    ASSERT_TRUE(messenger::is_live_copy(link));
    size_t freed = messenger::copies_freed();

    EXPECT_EQ(0, alert.callback(0, 0, "alert_linkClick", nullptr, link));
    EXPECT_EQ(0, alert.callback(0, 0, "alert_linkClick", nullptr, link));
    EXPECT_EQ(0, alert.callback(0, 0, "alert_linkclick", nullptr, link));
    EXPECT_EQ(0, alert.callback(0, 0, "alert_destroyed", nullptr, link));
    const std::vector<messenger::UiCall> &opened = messenger::ui_calls();
    ASSERT_EQ(2u, opened.size());
    for (const messenger::UiCall &call : opened) {
        EXPECT_EQ("ShellExecuteW", call.function);
        EXPECT_EQ("open", call.caption);
        EXPECT_EQ("http://example/", call.text);
        EXPECT_EQ(0u, call.owner);
        EXPECT_TRUE(call.null_parameters);
        EXPECT_TRUE(call.null_directory);
        EXPECT_EQ((uint32_t)SW_SHOW, call.type);
    }
    EXPECT_TRUE(messenger::is_live_copy(link));

    EXPECT_EQ(0, alert.callback(0, 0, "alert_destroy", nullptr, link));
    EXPECT_FALSE(messenger::is_live_copy(link));
    EXPECT_EQ(freed + 1, messenger::copies_freed());

    // An alert without a link has nothing to open or free.
    messenger::clear_ui_calls();
    EXPECT_EQ(0, alert.callback(0, 0, "alert_linkClick", nullptr, nullptr));
    EXPECT_EQ(0, alert.callback(0, 0, "alert_destroy", nullptr, nullptr));
    EXPECT_TRUE(messenger::ui_calls().empty());
    EXPECT_EQ(freed + 1, messenger::copies_freed());
}

// --- HTTP completions ----------------------------------------------------

HttpCompletion completion(const char *bytes, int32_t count)
{
    HttpCompletion data = {};
    data.bytes = bytes;
    data.count = count;
    return data;
}

// The variable gets exactly the given bytes, NUL bytes included; the
// binding's text copy is freed by that one call.
TEST_F(Callbacks, HttpCompletionStoresBytes)
{
    struct Case {
        const char *variable;
        const char *read;
        int32_t count;
        const char *codes;
    } cases[] = {
        {"page", "$page", 5, "97 0 98 0 99 "},
        {"pages(main)", "$pages(main)", 5, "97 0 98 0 99 "},
        {"short", "$short", 2, "97 0 "},
        {"none", "$none", 0, ""},
    };
    static const char bytes[] = "a\0b\0c-not-sent";
    for (const Case &entry : cases) {
        HostCall request = registration(std::string("vellumar httpFileRequest http://x/ {") + entry.variable + "}",
                                        "httpFileRequest");
        const char *text = binding_text(request.userData);
        ASSERT_TRUE(messenger::is_live_copy(text));
        HttpCompletion data = completion(bytes, entry.count);
        EXPECT_EQ(0, request.callback(0, 0, "anything", &data, request.userData));
        EXPECT_FALSE(messenger::is_live_copy(text)) << entry.variable;
        std::string read = entry.read;
        EXPECT_EQ(std::to_string(entry.count), messenger::eval_ok("string length " + read));
        std::string codes;
        for (int32_t index = 0; index < entry.count; index++) {
            codes += messenger::eval_ok("scan [string index " + read + " " + std::to_string(index) + "] %c") + " ";
        }
        EXPECT_EQ(entry.codes, codes) << entry.variable;
    }
}

// Without a name, or without usable data, nothing is stored but the
// binding is still released.
TEST_F(Callbacks, HttpCompletionWithoutValue)
{
    HostCall bare = registration("vellumar httpFileRequest http://x/", "httpFileRequest");
    size_t freed = messenger::copies_freed();
    HttpCompletion data = completion("abc", 3);
    EXPECT_EQ(0, bare.callback(0, 0, "", &data, bare.userData));
    EXPECT_EQ(freed, messenger::copies_freed());

    HttpCompletion no_bytes = completion(nullptr, 3);
    HttpCompletion negative = completion("abc", -1);
    HttpCompletion *unusable[] = {nullptr, &no_bytes, &negative};
    for (HttpCompletion *completion_data : unusable) {
        messenger::eval_ok("unset -nocomplain ::fetched");
        HostCall request = registration("vellumar httpFileRequest http://x/ fetched", "httpFileRequest");
        const char *text = binding_text(request.userData);
        EXPECT_EQ(0, request.callback(0, 0, "", completion_data, request.userData));
        EXPECT_FALSE(messenger::is_live_copy(text));
        EXPECT_EQ("0", messenger::eval_ok("info exists ::fetched"));
    }
}

// --- Missing or stale bindings --------------------------------------------

TEST_F(Callbacks, NullUserDataRunsNothing)
{
    HostCall entry = registration("vellumar listAddEntry section 1 callback {set ::ran 1}", "listAddEntry");
    HostCall subscription = subscribe("set ::ran 1");
    HostCall request = registration("vellumar httpFileRequest http://x/ ran", "httpFileRequest");
    messenger::eval_ok("unset -nocomplain ::ran");
    HttpCompletion data = completion("abc", 3);
    EXPECT_EQ(0, entry.callback(0, 0, "list_leftDoubleClick", nullptr, nullptr));
    EXPECT_EQ(0, subscription.callback(1, 0, "Connection: Change", nullptr, nullptr));
    EXPECT_EQ(0, request.callback(0, 0, "", &data, nullptr));
    EXPECT_EQ("0", messenger::eval_ok("info exists ::ran"));
    EXPECT_TRUE(messenger::ui_calls().empty());
    request.callback(0, 0, "", nullptr, request.userData);
}

// A binding whose interpreter is not the running one evaluates nothing.
TEST_F(Callbacks, ForeignInterpreterRunsNothing)
{
    HostCall entry = registration("vellumar listAddEntry section 1 callback {set ::ran 1}", "listAddEntry");
    HostCall subscription = subscribe("set ::ran 1");
    messenger::eval_ok("unset -nocomplain ::ran");
    int not_an_interp = 0;
    char script[] = "set ::ran 1";
    void *foreign[2] = {&not_an_interp, script};
    EXPECT_EQ(0, entry.callback(0, 0, "list_leftDoubleClick", nullptr, foreign));
    EXPECT_EQ(0, subscription.callback(1, 0, "Connection: Change", nullptr, foreign));
    EXPECT_EQ("0", messenger::eval_ok("info exists ::ran"));
    EXPECT_TRUE(messenger::ui_calls().empty());
}

// The plugin keeps the array's names for the interpreter it made them for;
// a restarted runtime publishes with names of its own.
TEST_F(Callbacks, ConnectionChangeInARestartedRuntime)
{
    int32_t cid = 5;
    Chain chain = {{"cid", &cid}, {"name", "work"}, {"medium", "IRC"}, {"status", "online"}};
    HostCall first = subscribe(Recorder);
    first.callback(1, 0, "Connection: Change", chain.data(), first.userData);
    EXPECT_EQ("connection_id 5 medium IRC name work status online", messenger::eval_ok("set ::seen"));

    messenger::stop();
    messenger::unload();
    messenger::load_and_start();
    HostCall second = subscribe(Recorder);
    cid = 6;
    for (int run = 0; run < 2; run++) {
        EXPECT_EQ(0, second.callback(1, 0, "Connection: Change", chain.data(), second.userData));
    }
    EXPECT_EQ("2", messenger::eval_ok("set ::runs"));
    EXPECT_EQ("connection_id 6 medium IRC name work status online", messenger::eval_ok("set ::seen"));
    EXPECT_EQ("0", messenger::eval_ok("info exists ::event"));
    EXPECT_TRUE(messenger::message_boxes().empty());
}

// After "stop" the runtime is gone: callbacks must not touch Tcl at all,
// and a finished request still frees its text. Runs last: it restarts the
// plugin for whatever follows.
TEST_F(Callbacks, BindingsOutliveTheRuntime)
{
    HostCall entry = registration("vellumar listAddEntry section 1 callback {set ::ran 1}", "listAddEntry");
    HostCall subscription = subscribe("set ::ran 1");
    HostCall request = registration("vellumar httpFileRequest http://x/ ran", "httpFileRequest");
    const char *text = binding_text(request.userData);
    ASSERT_TRUE(messenger::is_live_copy(text));

    messenger::stop();
    messenger::clear_ui_calls();
    int32_t cid = 1;
    Chain chain = {{"cid", &cid}};
    HttpCompletion data = completion("abc", 3);
    EXPECT_EQ(0, entry.callback(0, 0, "list_leftDoubleClick", nullptr, entry.userData));
    EXPECT_EQ(0, subscription.callback(1, 0, "Connection: Change", chain.data(), subscription.userData));
    EXPECT_EQ(0, request.callback(0, 0, "", &data, request.userData));
    EXPECT_FALSE(messenger::is_live_copy(text));
    EXPECT_TRUE(messenger::ui_calls().empty());

    messenger::unload();
    messenger::load_and_start();
}

} // namespace
