// Starting the Tcl runtime and the user's scripts: every way it can fail,
// and the fatal-error path. Runtimes that cannot start run in child
// processes of their own, one plugin folder each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "support.h"
#include "tobrisk_version.h"

namespace {

// --- Child processes -----------------------------------------------------------

// Prints what the host saw: every message box and whether "start" handed
// over an interpreter; then stops and unloads.
int lifecycle_child(const std::string &folder_name)
{
    if (!messenger::load_plugin(fixture(folder_name))) return 97;
    messenger::load_and_start();
    if (folder_name != "none") {
        // A library kept from a failed start-up is bound again, and an
        // interpreter from a failed start-up is never handed out.
        messenger::stop();
        messenger::load_and_start();
    }
    for (const auto &box : messenger::message_boxes()) {
        std::printf("BOX|%s|%u|%s\n", box.caption.c_str(), box.type, box.text.c_str());
    }
    auto registrations = messenger::calls_to("editAliasRegister");
    std::printf("INTERP|%s\n", registrations.back().userData ? "yes" : "none");
    messenger::clear_ui_calls();
    messenger::stop();
    messenger::unload();
    std::printf("STOP_BOXES|%zu\n", messenger::message_boxes().size());
    std::fflush(stdout);
    return 0;
}
ChildRegistration lifecycle_registration("lifecycle", lifecycle_child);

using PanicFn = void (*)(const char *, ...);

// Panics with "fatal WORD: " and 2000 bytes of the argument's letter: "x",
// "ж", or "pair" for an emoji in Tcl's form, two 3-byte halves.
int panic_child(const std::string &argument)
{
    std::string letter = argument == "pair" ? "\xED\xA0\xBD\xED\xB8\x80" : argument;
    if (!load_and_start_plugin()) return 97;
    HMODULE tcl = GetModuleHandleW(messenger::wide_of(fixture("plugin") + "\\bin\\tcl84t.dll").c_str());
    auto panic = (PanicFn)(void *)GetProcAddress(tcl, "Tcl_Panic");
    if (panic == nullptr) return 96;
    std::string long_text;
    while (long_text.size() < 2000) long_text += letter;
    panic("fatal %s: %s", letter == "x" ? "trouble" : "troubles", long_text.c_str());
    return 95;   // not reached: the plugin ends the process
}
ChildRegistration panic_registration("panic", panic_child);

struct Box {
    std::string caption;
    unsigned type;
    std::string text;
};

struct ChildReport {
    std::vector<Box> boxes;
    std::string interp;
    std::string stop_boxes;
    DWORD exit_code;
};

ChildReport run_lifecycle(const std::string &folder_name)
{
    messenger::ChildResult child = run_child("lifecycle", folder_name);
    ChildReport report{{}, "", "", child.exit_code};
    std::istringstream lines(child.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("BOX|", 0) == 0) {
            size_t a = line.find('|', 4), b = line.find('|', a + 1);
            report.boxes.push_back({line.substr(4, a - 4), (unsigned)std::stoul(line.substr(a + 1, b - a - 1)),
                                    line.substr(b + 1)});
        } else if (line.rfind("INTERP|", 0) == 0) {
            report.interp = line.substr(7);
        } else if (line.rfind("STOP_BOXES|", 0) == 0) {
            report.stop_boxes = line.substr(11);
        }
    }
    return report;
}

// --- Runtimes that cannot start ------------------------------------------------

// Each failure shows its boxes, start-up returns no interpreter, and stop
// then finds nothing to run or tear down.
TEST(RuntimeFailure, EachShowsItsBoxesAndLeavesNoInterpreter)
{
    struct Case {
        const char *folder;
        std::vector<std::pair<std::string, std::string>> boxes;   // caption, text ("*" = any)
    } cases[] = {
        {"none", {{"Tobrisk Error (LoadLibrary)", "Failed to load tcl84t.dll."}}},
        {"nocreate",
         {{"Tobrisk Error (GetProcAddress)", "Failed to load Tcl_CreateInterp symbol from Tcl DLL."},
          {"Tobrisk Error (GetProcAddress)", "Failed to load Tcl_CreateInterp symbol from Tcl DLL."}}},
        {"nointerp",
         {{"Tobrisk Error (Tcl_CreateInterp)", "Failed to create main interpreter!"},
          {"Tobrisk Error (Tcl_CreateInterp)", "Failed to create main interpreter!"}}},
        {"emptylib",
         {{"Tobrisk Error (Tcl_Init)", "*"}, {"Tobrisk Error (Tcl_Init)", "Failed to initialize Tcl!"},
          {"Tobrisk Error (Tcl_Init)", "*"}, {"Tobrisk Error (Tcl_Init)", "Failed to initialize Tcl!"}}},
        {"notk",
         {{"Tobrisk Error (Tcl_PkgRequire(Tk))", "*"},
          {"Tobrisk Error (Tcl_PkgRequire(Tk))", "Failed to initialize Tk"},
          {"Tobrisk Error (Tcl_PkgRequire(Tk))", "*"},
          {"Tobrisk Error (Tcl_PkgRequire(Tk))", "Failed to initialize Tk"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        ChildReport report = run_lifecycle(c.folder);
        EXPECT_EQ(0u, report.exit_code);
        ASSERT_EQ(c.boxes.size(), report.boxes.size());
        for (size_t index = 0; index < c.boxes.size(); index++) {
            EXPECT_EQ(c.boxes[index].first, report.boxes[index].caption);
            EXPECT_EQ(0u, report.boxes[index].type);
            if (c.boxes[index].second != "*") EXPECT_EQ(c.boxes[index].second, report.boxes[index].text);
        }
        EXPECT_EQ("none", report.interp);
        EXPECT_EQ("0", report.stop_boxes);
    }
}

// The first Tcl_Init box holds errorInfo, the Tk one the interpreter's result.
TEST(RuntimeFailure, BoxesExplainTheFailure)
{
    ChildReport tcl = run_lifecycle("emptylib");
    ASSERT_FALSE(tcl.boxes.empty());
    EXPECT_NE(std::string::npos, tcl.boxes[0].text.find("init.tcl")) << tcl.boxes[0].text;
    ChildReport tk = run_lifecycle("notk");
    ASSERT_FALSE(tk.boxes.empty());
    EXPECT_NE(std::string::npos, tk.boxes[0].text.find("Tk")) << tk.boxes[0].text;
}

// A fatal Tcl error: a beep, a task-modal box cut to 1023 bytes, and the
// end of the process with exit code 1. A cut through a letter drops the
// letter rather than showing a stray one.
TEST(Panic, BeepsShowsTheTextAndEndsTheProcess)
{
    std::string cyrillic_text = "fatal troubles: ";   // 16 bytes, then 503 whole letters of 2
    for (int index = 0; index < 503; index++) cyrillic_text += "\xD0\xB6";
    std::string emoji_text = "fatal troubles: ";      // 16 bytes, then 167 whole pairs of 6
    for (int index = 0; index < 167; index++) emoji_text += "\xF0\x9F\x98\x80";
    struct Case {
        const char *letter;
        std::string text;
    } cases[] = {
        {"x", "fatal trouble: " + std::string(1023 - 15, 'x')},
        {"\xD0\xB6", cyrillic_text},
        {"pair", emoji_text},
    };
    for (const Case &c : cases) {
        messenger::ChildResult child = run_child("panic", c.letter);
        EXPECT_EQ(1u, child.exit_code);
        std::string expected = "UI|MessageBeep|48||0|\n"
                               "UI|MessageBoxW|73744|Tobrisk: Fatal Error|" + std::to_string(c.text.size()) + "|" +
                               c.text + "\n"
                               "UI|TerminateProcess|1||0|\n";
        std::string output = child.output;
        output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
        EXPECT_EQ(expected, output) << c.letter;
    }
}

// --- The user's scripts ------------------------------------------------------------

class Scripts : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(messenger::load_plugin(fixture("plugin"))); }

    void SetUp() override
    {
        messenger::clear_calls();
        messenger::clear_ui_calls();
    }

    void TearDown() override
    {
        messenger::stop();
        messenger::unload();
        RemoveDirectoryW(messenger::wide_of(init_path()).c_str());
    }

    static std::string init_path() { return fixture("plugin") + "\\init.tcl"; }

    // Loads with the given init.tcl and returns the boxes shown by then.
    std::vector<messenger::UiCall> load_with(const std::string &init)
    {
        write_init(fixture("plugin"), init);
        messenger::load_and_start();
        auto boxes = messenger::message_boxes();
        messenger::clear_ui_calls();
        return boxes;
    }
};

TEST_F(Scripts, NoInitScriptStillCallsStartup)
{
    auto boxes = load_with("");
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Tobrisk Error (::tobrisk::startup)", boxes[0].caption);
    EXPECT_EQ("invalid command name \"::tobrisk::startup\"", boxes[0].text);
    EXPECT_NE(nullptr, messenger::interp()) << "the interpreter is returned all the same";
    EXPECT_EQ(TOBRISK_VERSION, messenger::eval_ok("tobrisk patchlevel"));
    messenger::stop();
    boxes = messenger::message_boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Tobrisk Error (::tobrisk::shutdown)", boxes[0].caption);
    EXPECT_EQ("invalid command name \"::tobrisk::shutdown\"", boxes[0].text);
    messenger::clear_ui_calls();
}

TEST_F(Scripts, InitFailingHalfwayIsShownAndStartupRuns)
{
    auto boxes = load_with(std::string(MinimalInit) +
                           "proc ::tobrisk::startup {} { set ::started yes }\n"
                           "error {halfway there}\n"
                           "set ::after_error 1\n");
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Tobrisk Error (init.tcl)", boxes[0].caption);
    EXPECT_EQ("halfway there", boxes[0].text);
    EXPECT_EQ(0u, boxes[0].type);
    EXPECT_EQ("yes", messenger::eval_ok("set ::started"));
    EXPECT_EQ("0", messenger::eval_ok("info exists ::after_error"));
}

TEST_F(Scripts, InitThatIsADirectoryFailsAsInitScript)
{
    write_init(fixture("plugin"), "");
    ASSERT_TRUE(CreateDirectoryW(messenger::wide_of(init_path()).c_str(), nullptr));
    messenger::load_and_start();
    auto boxes = messenger::message_boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("Tobrisk Error (init.tcl)", boxes[0].caption);
    EXPECT_FALSE(boxes[0].text.empty());
    EXPECT_EQ("Tobrisk Error (::tobrisk::startup)", boxes[1].caption);
    messenger::clear_ui_calls();
    messenger::stop();
    messenger::clear_ui_calls();
}

TEST_F(Scripts, StartupAndShutdownFailuresAreShown)
{
    auto boxes = load_with(std::string(MinimalInit) +
                           "proc ::tobrisk::startup {} { error {cannot start} }\n"
                           "proc ::tobrisk::shutdown {} { break }\n");
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Tobrisk Error (::tobrisk::startup)", boxes[0].caption);
    EXPECT_EQ("cannot start", boxes[0].text);
    EXPECT_NE(nullptr, messenger::interp());
    messenger::stop();
    ASSERT_EQ(1u, messenger::message_boxes().size()) << "a top-level break fails too";
    EXPECT_EQ("Tobrisk Error (::tobrisk::shutdown)", messenger::message_boxes()[0].caption);
    messenger::clear_ui_calls();
    messenger::clear_calls();
    messenger::load_and_start();   // torn down all the same: a fresh runtime starts
    EXPECT_EQ(1u, messenger::calls_to("editAliasRegister").size());
    messenger::clear_ui_calls();
}

TEST_F(Scripts, ExitIsGuarded)
{
    load_with(MinimalInit);
    for (const char *script : {"exit", "exit 3", "::exit now please"}) {
        messenger::EvalResult result = messenger::eval(script);
        EXPECT_EQ(1, result.code) << script;
        EXPECT_EQ("exit is disabled", result.result) << script;
    }
    EXPECT_EQ("::tcl::exit", messenger::eval_ok("info commands ::tcl::exit"));
}

TEST_F(Scripts, ShellVariablesAndTk)
{
    load_with(MinimalInit);
    EXPECT_EQ("", messenger::eval_ok("set ::argv"));
    EXPECT_EQ("0", messenger::eval_ok("set ::argc"));
    EXPECT_EQ("0", messenger::eval_ok("set ::tcl_interactive"));
    EXPECT_EQ("~/wishrc.tcl", messenger::eval_ok("set ::tcl_rcFileName"));
    EXPECT_EQ("0", messenger::eval_ok("set ::tobrisk_shutdown"));
    EXPECT_EQ(fixture("plugin") + "\\lib\\tcl8.4", messenger::eval_ok("set ::tcl_library"));
    EXPECT_EQ("withdrawn", messenger::eval_ok("wm state ."));
    EXPECT_EQ("8.6.13", messenger::eval_ok("info patchlevel"));
}

// A second "load" while the interpreter runs ends that runtime as "stop"
// would and starts a fresh one: init.tcl never runs twice into one
// interpreter, so the exit guard finds no ::tcl::exit and shows nothing.
TEST_F(Scripts, SecondLoadStartsAFreshInterpreter)
{
    load_with(std::string(MinimalInit) + "proc ::tobrisk::startup {} { incr ::started }\n");
    LoadRecord record = messenger::make_load_record(messenger::Directories());
    messenger::plugin_main("load", &record);
    EXPECT_TRUE(messenger::message_boxes().empty());
    messenger::start();
    EXPECT_EQ("1", messenger::eval_ok("set ::started"));
    EXPECT_EQ("exit is disabled", messenger::eval("exit").result);
    messenger::clear_ui_calls();
    messenger::stop();
    messenger::start();
    EXPECT_EQ(nullptr, messenger::calls_to("editAliasRegister").back().userData) << "none after stop";
    messenger::clear_ui_calls();
}

} // namespace
