// The chat alias "/tobrisk": its registration at "start" and "stop", and
// its callback called the way the host calls it, with the callback and the
// userData that the host was handed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "support.h"

namespace {

const char NoInterpreter[] = "no Tcl interpreter is running";

struct Alias {
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

// The callback and userData of the latest "editAliasRegister".
Alias registered_alias()
{
    Alias alias;
    std::vector<messenger::HostCall> calls = messenger::calls_to("editAliasRegister");
    if (calls.empty()) return alias;
    alias.callback = calls.back().callback;
    alias.userData = calls.back().userData;
    return alias;
}

struct Reply {
    int32_t code = -1;
    bool replaced = false;    // the line pointer was replaced
    bool heap_copy = false;   // the new pointer is a copy the plugin made
    std::string text;         // the answer, when replaced
};

// Sends "edit_aliasRequest" for a line as the host does, then hands the
// answer back with "edit_aliasFree".
Reply edit_request(const Alias &alias, const char *alias_text, const char *line, void *userData,
                   const char *event = "edit_aliasRequest")
{
    EditAliasRequest request;
    std::memset(&request, 0, sizeof request);
    request.alias = alias_text;
    request.line = const_cast<char *>(line);
    Reply reply;
    reply.code = alias.callback(0, 0, event, &request, userData);
    reply.replaced = request.line != line;
    if (reply.replaced && request.line != nullptr) {
        reply.heap_copy = messenger::is_live_copy(request.line);
        reply.text = request.line;
        alias.callback(0, 0, "edit_aliasFree", request.line, userData);
    }
    return reply;
}

Reply edit_request(const Alias &alias, const char *line)
{
    return edit_request(alias, "/tobrisk", line, alias.userData);
}

// The plugin of this process, loaded and started once with a live
// interpreter; the calls of the first "start" are kept.
std::vector<messenger::HostCall> g_start_calls;

const Alias &live_alias()
{
    static Alias alias;
    static bool started = false;
    if (!started) {
        started = true;
        messenger::set_answer("editAliasRegister", 7);
        if (!load_and_start_plugin()) return alias;
        g_start_calls = messenger::calls();
        alias = registered_alias();
    }
    return alias;
}

class AliasTest : public testing::Test {
protected:
    void SetUp() override
    {
        alias = live_alias();
        ASSERT_NE(nullptr, alias.callback);
        ASSERT_NE(nullptr, alias.userData);
    }
    Alias alias;
};

TEST_F(AliasTest, StartRegistersPageThenAlias)
{
    std::vector<std::string> services;
    for (const messenger::HostCall &call : g_start_calls) {
        if (call.service == "prefsInitialize" || call.service == "editAliasRegister") {
            services.push_back(call.service);
        }
    }
    ASSERT_EQ((std::vector<std::string>{"prefsInitialize", "editAliasRegister"}), services);

    auto first = [](const char *service) {
        for (const messenger::HostCall &call : g_start_calls) {
            if (call.service == service) return call;
        }
        return messenger::HostCall();
    };
    messenger::HostCall prefs = first("prefsInitialize");
    ASSERT_EQ(sizeof(PrefsInitRecord), prefs.bytes.size());
    EXPECT_EQ((int32_t)sizeof(PrefsInitRecord), prefs.int_at(offsetof(PrefsInitRecord, size)));
    EXPECT_EQ(1, prefs.int_at(offsetof(PrefsInitRecord, one)));
    EXPECT_EQ("Tobrisk", prefs.text_at(offsetof(PrefsInitRecord, name)));
    EXPECT_EQ(0, prefs.int_at(offsetof(PrefsInitRecord, bitmap)));

    messenger::HostCall reg = first("editAliasRegister");
    ASSERT_EQ(sizeof(AliasRegisterRecord), reg.bytes.size());
    EXPECT_EQ((int32_t)sizeof(AliasRegisterRecord), reg.int_at(offsetof(AliasRegisterRecord, size)));
    EXPECT_EQ(-1, reg.int_at(offsetof(AliasRegisterRecord, alias_id)));
    EXPECT_EQ("/tobrisk", reg.text_at(offsetof(AliasRegisterRecord, alias)));
    EXPECT_EQ(PluginGuid, reg.guid);
    // The userData is the interpreter that runs the scripts.
    EXPECT_EQ("tobrisk_shutdown", messenger::eval_ok("info globals tobrisk_shutdown"));
}

TEST_F(AliasTest, SecondStartRegistersOnlyThePage)
{
    messenger::clear_calls();
    messenger::start();
    EXPECT_EQ((std::vector<std::string>{"prefsInitialize"}), messenger::services_called());
}

TEST_F(AliasTest, EditRequestsAnswerTheScriptResult)
{
    struct Case {
        const char *alias;
        const char *line;
        const char *event;
        int32_t code;
        const char *answer;
    };
    const Case cases[] = {
        {"/tobrisk", "/tobrisk expr {6 * 7}", "edit_aliasRequest", 0, "42"},
        {"/tobrisk", "/tobrisk", "edit_aliasRequest", 0, ""},
        {"/tobrisk", "/tobrisk error boom", "edit_aliasRequest", 0, "boom"},
        {"/tobrisk", "/tobrisk no_such_command", "edit_aliasRequest", 0,
         "invalid command name \"no_such_command\""},
        {"/TOBRISK", "/TOBRISK string length abc", "edit_aliasRequest", 0, "3"},
        {"/tobrisk", "/tobrisk expr 1+1", "EDIT_ALIASREQUEST", 0, "2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        size_t live = messenger::live_copies();
        size_t freed = messenger::copies_freed();
        Reply reply = edit_request(alias, c.alias, c.line, alias.userData, c.event);
        EXPECT_EQ(c.code, reply.code);
        ASSERT_TRUE(reply.replaced);
        EXPECT_TRUE(reply.heap_copy);
        EXPECT_EQ(c.answer, reply.text);
        // The free event released the copy again.
        EXPECT_EQ(live, messenger::live_copies());
        EXPECT_EQ(freed + 1, messenger::copies_freed());
    }
}

TEST_F(AliasTest, StateSetByOneLineIsSeenByTheNext)
{
    EXPECT_EQ("5", edit_request(alias, "/tobrisk set counter 5").text);
    EXPECT_EQ("6", edit_request(alias, "/tobrisk incr counter").text);
    EXPECT_EQ("6", messenger::eval_ok("set counter"));
}

TEST_F(AliasTest, RequestsItDoesNotAnswerAreLeftAlone)
{
    struct Case {
        const char *name;
        const char *alias;
        const char *event;
    };
    const Case cases[] = {
        {"other alias", "/other", "edit_aliasRequest"},
        {"longer alias", "/tobrisk2", "edit_aliasRequest"},
        {"no alias text", nullptr, "edit_aliasRequest"},
        {"unknown event", "/tobrisk", "edit_aliasSomething"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t made = messenger::copies_made();
        Reply reply = edit_request(alias, c.alias, "/tobrisk set touched 1", alias.userData, c.event);
        EXPECT_EQ(1, reply.code);
        EXPECT_FALSE(reply.replaced);
        EXPECT_EQ(made, messenger::copies_made());
    }
    EXPECT_EQ("0", messenger::eval_ok("info exists touched"));

    // Requests without a record.
    EXPECT_EQ(1, alias.callback(0, 0, "edit_aliasRequest", nullptr, alias.userData));
    EXPECT_EQ(1, alias.callback(0, 0, "keyboard_aliasRequest", nullptr, alias.userData));
    EXPECT_EQ(1, alias.callback(0, 0, nullptr, nullptr, alias.userData));
}

TEST_F(AliasTest, ShortLinesDoNotReadPastTheirEnd)
{
    // Eight characters with the terminator inside: a script follows it that
    // must not run.
    static const char hidden[] = "/tob\0ris set leaked 1";
    Reply reply = edit_request(alias, hidden);
    EXPECT_EQ(0, reply.code);
    EXPECT_EQ("", reply.text);
    EXPECT_EQ("0", messenger::eval_ok("info exists leaked"));

    reply = edit_request(alias, "/tobrisk", nullptr, alias.userData);
    EXPECT_EQ(0, reply.code);
    ASSERT_TRUE(reply.replaced);
    EXPECT_EQ("", reply.text);
}

TEST_F(AliasTest, ForeignUserDataEvaluatesNothing)
{
    int not_an_interpreter = 0;
    Reply reply = edit_request(alias, "/tobrisk", "/tobrisk set foreign 1", &not_an_interpreter);
    EXPECT_EQ(0, reply.code);
    EXPECT_TRUE(reply.heap_copy);
    EXPECT_EQ(NoInterpreter, reply.text);
    EXPECT_EQ(0, not_an_interpreter);
    EXPECT_EQ("0", messenger::eval_ok("info exists foreign"));
}

TEST_F(AliasTest, KeyboardAliasAndFreeEvents)
{
    KeyboardAliasRequest request;
    std::memset(&request, 0, sizeof request);
    request.key = 't';
    size_t live = messenger::live_copies();
    EXPECT_EQ(0, alias.callback(0, 0, "keyboard_aliasRequest", &request, alias.userData));
    ASSERT_NE(nullptr, request.answer);
    EXPECT_STREQ("/me slaps it's own face!", request.answer);
    EXPECT_TRUE(messenger::is_live_copy(request.answer));
    EXPECT_EQ(1, alias.callback(0, 0, "keyboard_aliasFree", request.answer, alias.userData));
    EXPECT_EQ(live, messenger::live_copies());

    for (char key : {'T', 'x', '\0'}) {
        std::memset(&request, 0, sizeof request);
        request.key = key;
        size_t made = messenger::copies_made();
        EXPECT_EQ(1, alias.callback(0, 0, "keyboard_aliasRequest", &request, alias.userData)) << key;
        EXPECT_EQ(nullptr, request.answer);
        EXPECT_EQ(made, messenger::copies_made());
    }

    size_t freed = messenger::copies_freed();
    EXPECT_EQ(1, alias.callback(0, 0, "edit_aliasFree", nullptr, alias.userData));
    EXPECT_EQ(1, alias.callback(0, 0, "keyboard_aliasFree", nullptr, alias.userData));
    EXPECT_EQ(freed, messenger::copies_freed());
}

// --- In child processes: what ends the runtime ------------------------------


bool answers_no_interpreter(const Alias &alias)
{
    size_t live = messenger::live_copies();
    Reply reply = edit_request(alias, "/tobrisk expr 1");
    return reply.code == 0 && reply.heap_copy && reply.text == NoInterpreter &&
           messenger::live_copies() == live;
}

// "stop" unregisters the edit alias with its id, then the keyboard alias
// with -1; the callback then finds no interpreter.
int child_stop(const std::string &)
{
    messenger::set_answer("editAliasRegister", 7);
    if (!load_and_start_plugin()) return 90;
    Alias alias = registered_alias();
    CHECK(alias.callback != nullptr && alias.userData != nullptr);
    CHECK(edit_request(alias, "/tobrisk expr 1").text == "1");

    messenger::clear_calls();
    messenger::stop();
    std::vector<std::string> services = messenger::services_called();
    CHECK(services.size() >= 2);
    CHECK(services.size() >= 2 && services[0] == "editAliasUnregister" &&
          services[1] == "keyboardAliasUnregister");
    messenger::HostCall edit = messenger::calls_to("editAliasUnregister").front();
    AliasUnregisterRecord edit_record = {sizeof edit_record, 7, {}};
    CHECK(edit.bytes == bytes_of(edit_record));
    messenger::HostCall keyboard = messenger::calls_to("keyboardAliasUnregister").front();
    KeyboardAliasUnregisterRecord keyboard_record = {sizeof keyboard_record, -1, {}};
    CHECK(keyboard.bytes == bytes_of(keyboard_record));
    CHECK(answers_no_interpreter(alias));

    // A second "stop" sends both again, the edit alias now with -1.
    messenger::clear_calls();
    messenger::stop();
    CHECK(messenger::calls_to("editAliasUnregister").size() == 1);
    CHECK(messenger::calls_to("editAliasUnregister").front().int_at(offsetof(AliasUnregisterRecord, alias_id)) == -1);
    CHECK(messenger::calls_to("keyboardAliasUnregister").size() == 1);
    CHECK(messenger::calls_to("keyboardAliasUnregister").front().int_at(
              offsetof(KeyboardAliasUnregisterRecord, alias_id)) == -1);

    // "start" without a runtime registers the alias again, with no
    // interpreter behind it.
    messenger::clear_calls();
    messenger::start();
    Alias again = registered_alias();
    CHECK(again.callback != nullptr);
    CHECK(again.userData == nullptr);
    CHECK(answers_no_interpreter(again));
    return child_failures();
}
ChildRegistration stop_child("stop", child_stop);

// Without a Tcl runtime "load" reports the failure and the alias gets no
// interpreter.
int child_no_runtime(const std::string &)
{
    if (!messenger::load_plugin(fixture("none"))) return 90;
    messenger::load_and_start();
    CHECK(messenger::message_boxes().size() == 1);
    CHECK(messenger::calls_to("editAliasRegister").size() == 1);
    Alias alias = registered_alias();
    CHECK(alias.callback != nullptr);
    CHECK(alias.userData == nullptr);
    CHECK(answers_no_interpreter(alias));
    return child_failures();
}
ChildRegistration no_runtime_child("no_runtime", child_no_runtime);

TEST(AliasLifecycle, StopUnregistersAndLeavesNoInterpreter)
{
    messenger::ChildResult result = run_child("stop");
    EXPECT_EQ(0u, result.exit_code) << result.output;
}

TEST(AliasLifecycle, NoRuntimeAnswersWithoutEvaluating)
{
    messenger::ChildResult result = run_child("no_runtime");
    EXPECT_EQ(0u, result.exit_code) << result.output;
}

} // namespace
