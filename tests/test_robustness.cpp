// What a hostile script or an unusual host order must not do to the
// messenger: restart into a panic, overflow the stack, keep bindings for
// ever, run callbacks in a procedure's frame, or run init.tcl twice.
#include <gtest/gtest.h>

#include <cstring>

#include "support.h"

using namespace messenger;

namespace {

// The alias callback of the latest "start", as the host holds it.
struct Alias {
    HostCallback callback = nullptr;
    void *userData = nullptr;
};
Alias g_alias;

void answer_alias_registration()
{
    set_answer("editAliasRegister", [](HostCall &call) {
        g_alias = {call.callback, call.userData};
        return 7;
    });
}

// A line typed with "/tobrisk", evaluated by the plugin as the host asks
// for it; the answer is handed back. "(passed)" when it was not answered.
std::string typed(const std::string &script)
{
    const Alias &alias = g_alias;
    if (alias.callback == nullptr) return "(no alias)";
    std::string line = "/tobrisk " + script;
    EditAliasRequest request = {};
    request.alias = "/tobrisk";
    request.line = &line[0];
    if (alias.callback(0, 0, "edit_aliasRequest", &request, alias.userData) != 0) return "(passed)";
    std::string answer = request.line != nullptr ? request.line : "";
    alias.callback(0, 0, "edit_aliasFree", request.line, nullptr);
    return answer;
}

bool panicked()
{
    for (const UiCall &call : ui_calls()) {
        if (call.function == "TerminateProcess") return true;
    }
    return false;
}

// --- Restarts and nested input, each in a process of its own -------------

// A pipe to a program that reads nothing keeps Tcl's writer thread busy
// past "stop"; the next "load" must start a working runtime all the same.
int restarts_with_busy_pipes(const std::string &)
{
    if (!load_plugin(fixture("plugin"))) return 97;
    write_init(fixture("plugin"), MinimalInit);
    answer_alias_registration();
    for (int cycle = 0; cycle < 3; cycle++) {
        load_and_start();
        EvalResult opened = eval("set p [open {|ping -n 3 127.0.0.1 >NUL} w]; fconfigure $p -blocking 0; "
                                 "puts $p [string repeat x 100000]");
        CHECK(opened.code == 0);
        stop();
        unload();
    }
    load_and_start();
    CHECK(eval_ok("expr {6 * 7}") == "42");
    CHECK(typed("expr {6 * 7}") == "42");
    CHECK(!panicked());
    stop();
    unload();
    return child_failures();
}
ChildRegistration busy_pipes("busy_pipes", restarts_with_busy_pipes);

// Nested input that overflowed the host thread's stack, through the chat
// line and through a subscribed script; each ends as a result or a Tcl
// error. The regular expressions and the expression are ten times as deep
// as input that overflowed. Nested brackets cost time in the square of
// their depth (10,000 overflowed, and take seconds), so they and the case
// as met, which takes a minute, run only with the argument "deep".
std::string nested(const char *open, int depth, const char *inner, const char *close)
{
    std::string text;
    for (int level = 0; level < depth; level++) text += open;
    text += inner;
    for (int level = 0; level < depth; level++) text += close;
    return text;
}

int nested_input(const std::string &argument)
{
    bool deep = argument == "deep";
    answer_alias_registration();
    if (!load_and_start_plugin()) return 97;
    struct {
        std::string script;
        std::string answer;
    } cases[] = {
        {"catch {regexp {" + nested("(?:", 200000, "a", ")") + "} a} m; string range $m 0 42",
         "couldn't compile regular expression pattern"},
        {"catch {regexp {" + nested("(", 200000, "a", ")") + "} a} m; string range $m 0 42",
         "couldn't compile regular expression pattern"},
        {"expr {" + nested("(", 100000, "1", ")") + "}", "1"},
        {"catch {set x " + nested("[list ", 10000, "a", "]") + "} m; set m",
         "too many nested compilations (infinite loop?)"},
        {"catch {set x " + nested("[list ", 100000, "a", "]") + "} m; set m",
         "too many nested compilations (infinite loop?)"},
        // The regular expression compiler gives up for lack of memory.
        {"catch {regexp {" + nested("(", 20000, "a", ")") + "} a} m; string range $m 0 42",
         "couldn't compile regular expression pattern"},
    };
    size_t count = deep ? sizeof cases / sizeof cases[0] : 3;
    for (size_t index = 0; index < count; index++) {
        const auto &nested_case = cases[index];
        ULONGLONG started = GetTickCount64();
        std::string answer = typed(nested_case.script);
        std::printf("%.40s... %llu ms: %s\n", nested_case.script.c_str(), GetTickCount64() - started,
                    answer.substr(0, 80).c_str());
        CHECK(answer == nested_case.answer);
    }
    HostCallback events = nullptr;
    void *binding = nullptr;
    set_answer("eventsConnect", [&](HostCall &call) {
        events = call.callback;
        binding = call.userData;
        return 1;
    });
    eval("vellumar eventsConnect {Connection: Change} {set ::nested [regexp {" + nested("(?:", 200000, "a", ")") +
         "} a]}");
    CHECK(events != nullptr);
    if (events != nullptr) events(1, 0, "Connection: Change", nullptr, binding);
    CHECK(message_boxes().size() == 1);
    stop();
    unload();
    return child_failures();
}
ChildRegistration nested_mode("nested_input", nested_input);

void expect_clean_child(const char *mode)
{
    ChildResult child = run_child(mode);
    EXPECT_EQ(0u, child.exit_code) << std::hex << child.exit_code << "\n" << child.output;
}

TEST(Robustness, RestartsFollowBusyPipesWithoutPanic) { expect_clean_child("busy_pipes"); }

TEST(Robustness, NestedInputTenTimesDeeperDoesNotOverflowTheStack) { expect_clean_child("nested_input"); }

// --- In this process -------------------------------------------------------

class Started : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(load_plugin(fixture("plugin"))); }

    void SetUp() override
    {
        write_init(fixture("plugin"), MinimalInit);
        clear_answers();
        answer_alias_registration();
        load_and_start();
        clear_calls();
        clear_ui_calls();
    }

    void TearDown() override
    {
        stop();
        unload();
        EXPECT_TRUE(message_boxes().empty()) << message_boxes()[0].caption << ": " << message_boxes()[0].text;
    }
};

struct Held {
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

// A host that reports a connection change and completes a request from
// inside "messageSend", while the script's procedure is on the stack.
TEST_F(Started, CallbacksInsideAServiceCallRunAtTheGlobalLevel)
{
    Held events, http;
    set_answer("eventsConnect", [&](HostCall &call) {
        events = {call.callback, call.userData};
        return 4;
    });
    set_answer("httpFileRequest", [&](HostCall &call) {
        http = {call.callback, call.userData};
        return 1;
    });
    int32_t cid = 5;
    EventField field = {0, "cid", 0, &cid, 0, nullptr};
    static const char body[] = "page body";
    HttpCompletion completion = {};
    completion.bytes = body;
    completion.count = (int32_t)sizeof body - 1;
    set_answer("messageSend", [&](HostCall &) {
        events.callback(1, 0, "Connection: Change", &field, events.userData);
        http.callback(0, 0, "http_done", &completion, http.userData);
        return 1;
    });
    ASSERT_EQ("4", eval_ok("vellumar eventsConnect {Connection: Change} "
                           "{set ::seen [list [info level] $event(connection_id)]; set made_here 1}"));
    ASSERT_EQ(0, eval("proc p {} {\n"
                      "    set event local; set made_here no\n"
                      "    vellumar httpFileRequest http://example.org/ page\n"
                      "    vellumar messageSend m 1 t x\n"
                      "    list $event $made_here [info exists page]\n"
                      "}").code);
    EXPECT_EQ("local no 0", eval_ok("p"));
    EXPECT_EQ("0 5", eval_ok("set ::seen"));
    EXPECT_EQ("1", eval_ok("set ::made_here"));
    EXPECT_EQ("page body", eval_ok("set ::page"));
    EXPECT_EQ("0", eval_ok("info exists ::event"));
}

// A chat line typed while a procedure is on the stack is also evaluated at
// the global level.
TEST_F(Started, TheChatLineRunsAtTheGlobalLevelInsideAProcedure)
{
    set_answer("messageSend", [](HostCall &) {
        typed("set typed_here [info level]");
        return 1;
    });
    ASSERT_EQ(0, eval("proc p {} { vellumar messageSend m 1 t x; info exists typed_here }").code);
    EXPECT_EQ("0", eval_ok("p"));
    EXPECT_EQ("0", eval_ok("set ::typed_here"));
}

TEST_F(Started, ACancelledSubscriptionIsReleasedAndItsLateCallsRunNothing)
{
    std::vector<Held> held;
    int32_t next_id = 20;
    set_answer("eventsConnect", [&](HostCall &call) {
        held.push_back({call.callback, call.userData});
        return next_id++;
    });
    // The host confirms only the cancellation of subscription 20.
    set_answer("eventsDisconnect", [](HostCall &call) { return call.int_at(offsetof(EventsRecord, event_id)) == 20 ? 1 : 0; });
    size_t live = live_copies();
    ASSERT_EQ("20", eval_ok("vellumar eventsConnect {Connection: Change} {incr ::ran20}"));
    ASSERT_EQ("21", eval_ok("vellumar eventsConnect {Connection: Change} {incr ::ran21}"));
    EXPECT_EQ(live + 2, live_copies());
    EXPECT_EQ("1", eval_ok("vellumar eventsDisconnect 20"));
    EXPECT_EQ("0", eval_ok("vellumar eventsDisconnect 21"));
    EXPECT_EQ(live + 1, live_copies()) << "the confirmed subscription's script is freed, the other kept";
    for (const Held &subscription : held) {
        subscription.callback(1, 0, "Connection: Change", nullptr, subscription.userData);
    }
    EXPECT_EQ("0 1", eval_ok("list [info exists ::ran20] [set ::ran21]"));
}

// A script that cancels its own subscription goes on to its end: what it
// runs is not freed under it.
TEST_F(Started, AScriptThatCancelsItsOwnSubscriptionRunsToItsEnd)
{
    Held events;
    set_answer("eventsConnect", [&](HostCall &call) {
        events = {call.callback, call.userData};
        return 30;
    });
    set_answer("eventsDisconnect", 1);
    size_t live = live_copies();
    ASSERT_EQ("30", eval_ok("vellumar eventsConnect {Connection: Change} "
                            "{vellumar eventsDisconnect 30; set ::after [string repeat y 100]; incr ::runs}"));
    events.callback(1, 0, "Connection: Change", nullptr, events.userData);
    events.callback(1, 0, "Connection: Change", nullptr, events.userData);
    EXPECT_EQ("1 100", eval_ok("list $::runs [string length $::after]"));
    EXPECT_EQ(live, live_copies());
}

TEST_F(Started, RemovedAndClearedEntriesReleaseTheBindingsUnderThem)
{
    std::vector<Held> held;
    int32_t next_id = 10;
    set_answer("listAddEntry", [&](HostCall &call) {
        held.push_back({call.callback, call.userData});
        return next_id++;
    });
    set_answer("listClearEntry", 1);
    set_answer("listRemoveEntry", [](HostCall &call) { return call.int_at(offsetof(ListEntryRecord, unique_id)) == 13 ? 0 : 1; });
    size_t live = live_copies();
    const char *const adds[] = {
        "vellumar listAddEntry section 1 section_id 1 callback {lappend ::ran section}",      // 0: section 1
        "vellumar listAddEntry section_id 1 group 1 callback {lappend ::ran group}",          // 1: id 10
        "vellumar listAddEntry section_id 1 parent_id 10 callback {lappend ::ran in_group}",  // 2: id 11
        "vellumar listAddEntry section_id 1 parent_id 1 callback {lappend ::ran top}",        // 3: id 12
        "vellumar listAddEntry section_id 2 parent_id 2 callback {lappend ::ran other}",      // 4: id 13
    };
    for (const char *add : adds) ASSERT_EQ(0, eval(add).code) << add;
    ASSERT_EQ(live + 5, live_copies());
    auto clicks = [&]() {
        eval("set ::ran {}");
        for (const Held &entry : held) entry.callback(0, 0, "list_leftDoubleClick", nullptr, entry.userData);
        return eval_ok("set ::ran");
    };
    // Clearing the group leaves the group itself.
    EXPECT_EQ("1", eval_ok("vellumar listClearEntry 10"));
    EXPECT_EQ("section group top other", clicks());
    // Clearing the section takes everything in it, but not the section.
    EXPECT_EQ("1", eval_ok("vellumar listClearEntry -section 1"));
    EXPECT_EQ("section other", clicks());
    EXPECT_EQ("1", eval_ok("vellumar listRemoveEntry -section 1"));
    // A removal that the host does not confirm keeps the binding.
    EXPECT_EQ("0", eval_ok("vellumar listRemoveEntry 13"));
    EXPECT_EQ("other", clicks());
    EXPECT_EQ(live + 1, live_copies());
}

// A binding made before a restart must not run in the next runtime's
// interpreter, which may lie at the same address; an HTTP request of the
// earlier runtime is still released on completion, and only once.
TEST_F(Started, BindingsOfAnEarlierRuntimeRunNothingInTheNextOne)
{
    Held events, http;
    set_answer("eventsConnect", [&](HostCall &call) {
        events = {call.callback, call.userData};
        return 3;
    });
    set_answer("httpFileRequest", [&](HostCall &call) {
        http = {call.callback, call.userData};
        return 1;
    });
    ASSERT_EQ("3", eval_ok("vellumar eventsConnect {Connection: Change} {set ::old 1}"));
    ASSERT_EQ("1", eval_ok("vellumar httpFileRequest http://example.org/ ::old_page"));
    size_t live = live_copies();
    stop();
    unload();
    load_and_start();
    static const char body[] = "late";
    HttpCompletion completion = {};
    completion.bytes = body;
    completion.count = 4;
    events.callback(1, 0, "Connection: Change", nullptr, events.userData);
    http.callback(0, 0, "http_done", &completion, http.userData);
    EXPECT_EQ(live - 1, live_copies()) << "the request's name copy is freed";
    http.callback(0, 0, "http_done", &completion, http.userData);
    EXPECT_EQ(live - 1, live_copies()) << "a second completion frees nothing";
    EXPECT_EQ("0 0", eval_ok("list [info exists ::old] [info exists ::old_page]"));
}

// --- Host orders that leave a runtime running at "load" --------------------

class Reloads : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(load_plugin(fixture("plugin"))); }

    void SetUp() override
    {
        write_init(fixture("plugin"), std::string(MinimalInit) + "incr ::inits\n"
                                                                 "proc ::tobrisk::shutdown {} {incr ::shutdowns}\n");
        clear_answers();
        answer_alias_registration();
        clear_calls();
        clear_ui_calls();
    }

    void TearDown() override
    {
        stop();
        unload();
    }

    // After the orders given, a "load" and a "start" must give a fresh
    // interpreter that ran init.tcl once and answers the chat line.
    void expect_fresh_runtime_after(const std::function<void()> &orders)
    {
        load_and_start();
        eval("set ::marker old");
        orders();
        clear_calls();
        load_and_start();
        EXPECT_EQ("1", eval_ok("set ::inits"));
        EXPECT_EQ("0", eval_ok("info exists ::marker"));
        EXPECT_EQ(1u, calls_to("editAliasRegister").size());
        EXPECT_EQ("1", typed("set ::inits"));
        EXPECT_TRUE(message_boxes().empty()) << message_boxes()[0].caption;
    }
};

TEST_F(Reloads, UnloadWithoutStop) { expect_fresh_runtime_after([] { unload(); }); }

TEST_F(Reloads, LoadTwice)
{
    expect_fresh_runtime_after([] {});
    // The first runtime was stopped as "stop" stops it: alias first.
    std::vector<std::string> services = services_called();
    ASSERT_GE(services.size(), 2u);
    EXPECT_EQ("editAliasUnregister", services[0]);
    EXPECT_EQ("keyboardAliasUnregister", services[1]);
}

TEST_F(Reloads, StopThenUnloadAsUsual) { expect_fresh_runtime_after([] { stop(); unload(); }); }

} // namespace
