// The `vellumar` dispatcher and the `tobrisk` command as scripts see them:
// lookups, usage messages and results, word for word.
#include <gtest/gtest.h>

#include "src/host_services.h"
#include "support.h"
#include "tobrisk_version.h"

#include <psapi.h>


namespace {

const char *const InfoOptions[] = {
    "build", "messagebox", "patchlevel", "version", "processid", "threadid", "windows", "threadwindows",
    "config_directory", "skin_directory", "temp_directory", "global_config_directory",
    "vellumar_directory", "language_directory",
};

// Tcl's "must be a, b, or c" list.
std::string must_be(const char *const *names, size_t count)
{
    std::string text;
    for (size_t index = 0; index < count; index++) {
        if (index > 0) text += index + 1 == count ? ", or " : ", ";
        text += names[index];
    }
    return text;
}
template <size_t N> std::string must_be(const char *const (&names)[N]) { return must_be(names, N); }

const char HostVersion[] = "Vellumar 4.0 test host";

class Commands : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(load_and_start_plugin());
    }
    static void TearDownTestSuite()
    {
        messenger::stop();
        messenger::unload();
    }
    void SetUp() override
    {
        messenger::clear_calls();
        messenger::clear_ui_calls();
        messenger::set_answer("versionRequest", [](messenger::HostCall &) { return (int32_t)(intptr_t)HostVersion; });
    }

    // Evaluates a script that must fail, and checks that the host heard nothing.
    std::string error_of(const std::string &script)
    {
        messenger::EvalResult result = messenger::eval(script);
        EXPECT_EQ(1, result.code) << script;
        EXPECT_TRUE(messenger::calls().empty()) << script << " called " << messenger::calls()[0].service;
        messenger::clear_calls();
        return result.result;
    }
};

TEST_F(Commands, VellumarLookupErrors)
{
    std::string all = must_be(HostServiceNames, HOST_SERVICE_COUNT);
    EXPECT_EQ("wrong # args: should be \"vellumar option ?arg arg ...?\"", error_of("vellumar"));
    EXPECT_EQ("bad option \"bogus\": must be " + all, error_of("vellumar bogus"));
    EXPECT_EQ("bad option \"ListAddEntry\": must be " + all, error_of("vellumar ListAddEntry"));
    EXPECT_EQ("ambiguous option \"list\": must be " + all, error_of("vellumar list"));
    EXPECT_EQ("ambiguous option \"\": must be " + all, error_of("vellumar {}")) << "an empty word abbreviates every name";
}

// The 85 names without a handler fail with the word as typed and call nothing.
TEST_F(Commands, NamesWithoutHandlerAreNotImplemented)
{
    int count = 0;
    for (int index = 0; index < HOST_SERVICE_COUNT; index++) {
        if (HostServices[index].implemented) continue;
        count++;
        const char *name = HostServiceNames[index];
        EXPECT_EQ(std::string(name) + " not yet implemented", error_of(std::string("vellumar ") + name + " a b"));
    }
    EXPECT_EQ(85, count);
    EXPECT_EQ("prefsO not yet implemented", error_of("vellumar prefsO"));
}

// What the supervisor gives each script's `vellumar`: the same options in
// the same order.
TEST_F(Commands, ServiceNamesListTheOptions)
{
    std::string names;
    for (int index = 0; index < HOST_SERVICE_COUNT; index++) {
        names += (index ? " " : "") + std::string(HostServiceNames[index]);
    }
    EXPECT_EQ(names, messenger::eval_ok("::tobrisk::service_names"));
    EXPECT_TRUE(messenger::calls().empty());
}

// The host library reads every record that a handler sends by its
// service's layout: each field lies inside the record, and a service that
// hands the host a binding has a callback and a userData to hand it in.
TEST(RecordLayouts, CoverEveryHandlerWithFieldsInsideTheRecord)
{
    for (int index = 0; index < HOST_SERVICE_COUNT; index++) {
        const char *name = HostServiceNames[index];
        const messenger::RecordShape *shape = messenger::record_shape(name);
        if (HostServices[index].implemented) EXPECT_NE(nullptr, shape) << name;
        if (shape == nullptr) continue;
        std::vector<int> fields(shape->texts.begin(), shape->texts.end());
        fields.push_back(shape->callback);
        fields.push_back(shape->userData);
        for (int field : fields) {
            if (field != messenger::NoField) EXPECT_LE((size_t)field + 4, shape->size) << name;
        }
        if (HostServices[index].hands != HANDS_NOTHING) EXPECT_TRUE(shape->callback != messenger::NoField && shape->userData != messenger::NoField) << name;
    }
}

// Handlers get the option word as typed; Tcl's usage message prints the
// name its lookup resolved.
TEST_F(Commands, HandlersReceiveTheirWords)
{
    EXPECT_EQ("wrong # args: should be \"httpFileRequest url ?resultVar?\"", error_of("vellumar httpF"));
    EXPECT_EQ("wrong # args: should be \"listAddEntry key value ?key value ...?\"",
              error_of("vellumar listAddEntry"));
}

TEST_F(Commands, VersionRequestAsksTheHost)
{
    EXPECT_EQ(HostVersion, messenger::eval_ok("vellumar versionRequest"));
    ASSERT_EQ(1u, messenger::calls().size());
    EXPECT_EQ("versionRequest", messenger::calls()[0].service);
    EXPECT_TRUE(messenger::calls()[0].null_record);
    EXPECT_EQ(HostVersion, messenger::eval_ok("vellumar versionRequest extra words"));
    messenger::set_answer("versionRequest", 0);
    EXPECT_EQ("", messenger::eval_ok("vellumar versionRequest"));
    EXPECT_EQ(3u, messenger::calls().size());
}

TEST_F(Commands, TobriskFacts)
{
    const std::string version = std::to_string(TOBRISK_VERSION_MAJOR) + "." + std::to_string(TOBRISK_VERSION_MINOR);
    struct { const char *script; std::string result; } cases[] = {
        {"tobrisk version", version},
        {"tobrisk patchlevel", TOBRISK_VERSION},
        {"tobrisk build", TOBRISK_BUILD},
        {"tobrisk b", TOBRISK_BUILD},
        {"tobrisk build and more words", TOBRISK_BUILD},
        {"tobrisk version 1 2 3", version},
        {"tobrisk processid", std::to_string(GetCurrentProcessId())},
        {"tobrisk threadid x", std::to_string(GetCurrentThreadId())},
        {"string is list [tobrisk windows]", "1"},
    };
    for (const auto &c : cases) EXPECT_EQ(c.result, messenger::eval_ok(c.script)) << c.script;
    EXPECT_TRUE(messenger::calls().empty()) << "tobrisk never calls the host";
}

// Memory the process has committed for itself.
size_t committed_bytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

// Scripts may ask for facts in a loop: a million calls must not leave a
// million objects behind. Each leaked pair of numbers would cost ~80 bytes.
TEST_F(Commands, TobriskFactsLeaveNothingBehind)
{
    for (const char *option : {"version", "build", "processid"}) {
        std::string script = std::string("proc ::leakcheck {} { for {set i 0} {$i < 1000000} {incr i} { tobrisk ") +
                             option + " } }; ::leakcheck";
        size_t before = committed_bytes();
        ASSERT_EQ(0, messenger::eval(script).code) << option;
        size_t after = committed_bytes();
        EXPECT_LT(after, before + 16 * 1024 * 1024) << option << " grew by " << (after - before) << " bytes";
    }
    messenger::eval("rename ::leakcheck {}");
}

TEST_F(Commands, TobriskLookupErrors)
{
    std::string all = must_be(InfoOptions);
    EXPECT_EQ("wrong # args: should be \"tobrisk option ?arg arg ...?\"", error_of("tobrisk"));
    EXPECT_EQ("ambiguous option \"thread\": must be " + all, error_of("tobrisk thread"));
    EXPECT_EQ("ambiguous option \"t\": must be " + all, error_of("tobrisk t"));
    EXPECT_EQ("bad option \"Build\": must be " + all, error_of("tobrisk Build"));
    const char usage[] = "wrong # args: should be \"messagebox text ?caption? ?type?\"";
    EXPECT_EQ(usage, error_of("tobrisk messagebox"));
    EXPECT_EQ(usage, error_of("tobrisk messagebox a b 0 d"));
    EXPECT_TRUE(messenger::ui_calls().empty());
}

TEST_F(Commands, MessageBoxShowsAndAnswers)
{
    EXPECT_EQ("1", messenger::eval_ok("tobrisk messagebox hello"));
    messenger::queue_buttons({6, 7});
    EXPECT_EQ("6", messenger::eval_ok("tobrisk messagebox {Go on?} Question 4"));
    EXPECT_EQ("7", messenger::eval_ok("tobrisk mess {Go on?} Question 4"));
    EXPECT_EQ("1", messenger::eval_ok("tobrisk messagebox text caption abc"));
    auto boxes = messenger::message_boxes();
    ASSERT_EQ(4u, boxes.size());
    EXPECT_EQ("hello", boxes[0].text);
    EXPECT_TRUE(boxes[0].null_caption) << "Windows' default caption";
    EXPECT_EQ(0u, boxes[0].type);
    EXPECT_EQ(0u, boxes[0].owner);
    EXPECT_EQ("Question", boxes[1].caption);
    EXPECT_EQ(4u, boxes[1].type);
    EXPECT_EQ(0u, boxes[3].type) << "a type that is no integer shows type 0";
}

// Each window is {handle class title}; titles are read into 1024 bytes.
TEST_F(Commands, WindowListsHoldHandleClassAndTitle)
{
    std::string title(1500, 'w');
    HWND window = CreateWindowExA(0, "STATIC", title.c_str(), WS_OVERLAPPED, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    std::string handle = std::to_string((long)(intptr_t)window);
    std::string expected = handle + " Static " + std::string(1023, 'w');
    std::string find = "lsearch -inline -index 0 [tobrisk %s] " + handle;
    for (const char *option : {"windows", "threadwindows"}) {
        char script[200];
        snprintf(script, sizeof script, find.c_str(), option);
        std::string entry = messenger::eval_ok(script);
        EXPECT_EQ(expected, entry) << option;
    }
    DestroyWindow(window);
}

} // namespace
