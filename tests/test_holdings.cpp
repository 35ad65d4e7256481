// What each supervised script holds from the messenger, as the plugin
// records it: following the messenger's answers, given back once at
// unload, and out of reach of the other scripts.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "support.h"

using namespace messenger;

namespace {

// Sections 50, 60 and 70, entries A and E in 50 with B under A, C in 60
// and D in 70, and one subscription.
const char *const First =
    "set ::s [vellumar eventsConnect {Connection: Change} {incr ::n}]\n"
    "foreach id {50 60 70} { vellumar listAddEntry section 1 section_id $id text S$id }\n"
    "set ::a [vellumar listAddEntry section_id 50 parent_id 50 text A callback {incr ::n}]\n"
    "set ::b [vellumar listAddEntry section_id 50 parent_id $::a text B]\n"
    "set ::c [vellumar listAddEntry section_id 60 parent_id 60 text C]\n"
    "set ::d [vellumar listAddEntry section_id 70 parent_id 70 text D callback {incr ::n}]\n"
    "set ::e [vellumar listAddEntry section_id 50 parent_id 50 text E]\n";

class Supervised : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(load_plugin(fixture("plugin"))); }

    void SetUp() override
    {
        folder_ = fixture("plugin") + "\\holdings-scripts";
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(write_file(folder_ + "\\first.tcl", First));
        ASSERT_TRUE(write_file(folder_ + "\\second.tcl", "set ::mine [vellumar listAddEntry section_id 50 parent_id 50 text Mine]\n"));
        write_init(fixture("plugin"), MinimalInit);
        start_supervised();
    }

    void TearDown() override
    {
        stop();
        unload();
        EXPECT_TRUE(message_boxes().empty()) << message_boxes()[0].text;
    }

    // Entry and subscription ids count up from 1000; a removal of the
    // refused id is answered 0, every other removal, clear and update 1.
    void start_supervised()
    {
        clear_answers();
        set_default_answer([this](HostCall &) { return next_++; });
        auto removal = [this](HostCall &call) {
            return call.int_at(offsetof(ListEntryRecord, unique_id)) == refused_ ? 0 : 1;
        };
        set_answer("listRemoveEntry", removal);
        set_answer("listClearEntry", 1);
        set_answer("listUpdateText", 1);
        set_answer("eventsDisconnect", 1);
        load_and_start();
        std::string tcl_folder = folder_;
        for (char &c : tcl_folder) c = c == '\\' ? '/' : c;
        ASSERT_EQ("{first loaded} {second loaded}",
                  eval_ok("source [file join [file dirname $tcl_library] tobrisk supervisor.tcl]; "
                          "::tobrisk::sv::configure {" + tcl_folder + "}; ::tobrisk::sv::load_all; "
                          "::tobrisk::sv::startup; ::tobrisk::list"));
        clear_calls();
    }

    static std::string in(const std::string &name, const std::string &script)
    {
        return "[::tobrisk::interp " + name + "] eval {" + script + "}";
    }

    // What the script holds of one kind, as ::tobrisk::holdings says.
    static std::string held(const std::string &name, const std::string &kind)
    {
        return eval_ok("dict get [::tobrisk::holdings " + name + "] " + kind);
    }

    // The removals and cancellations sent, "entry ID", "section ID", "subscription ID".
    static std::string released()
    {
        std::string text;
        for (const HostCall &call : calls()) {
            std::string word;
            if (call.service == "eventsDisconnect") {
                word = "subscription " + std::to_string(call.int_at(offsetof(EventsRecord, event_id)));
            } else if (call.service == "listRemoveEntry" || call.service == "listClearEntry") {
                int32_t unique = call.int_at(offsetof(ListEntryRecord, unique_id));
                word = unique != -1 ? "entry " + std::to_string(unique)
                                    : "section " + std::to_string(call.int_at(offsetof(ListEntryRecord, section_id)));
            } else {
                word = call.service;
            }
            text += (text.empty() ? "" : ", ") + word;
        }
        return text;
    }

    std::string folder_;
    int32_t next_ = 1000;
    int32_t refused_ = -2;
};

TEST_F(Supervised, HoldingsFollowTheMessengersAnswersAndUnloadGivesBackEachThingOnce)
{
    std::string e = eval_ok(in("first", "set ::e")), s = eval_ok(in("first", "set ::s"));
    refused_ = std::stoi(e);
    EXPECT_EQ("1 1 1 0", eval_ok(in("first", "list [vellumar listRemoveEntry $::a] [vellumar listClearEntry -section 60] "
                                             "[vellumar listRemoveEntry -section 70] [vellumar listRemoveEntry $::e]")));
    EXPECT_EQ(e, held("first", "entries"));
    EXPECT_EQ("50 60", held("first", "sections"));
    EXPECT_EQ(s, held("first", "subscriptions"));
    clear_calls();
    eval_ok("::tobrisk::unload first");
    EXPECT_EQ("subscription " + s + ", entry " + e + ", section 60, section 50", released());
    EXPECT_EQ("", eval_ok("::tobrisk::holdings first"));
}

TEST_F(Supervised, AScriptTouchesOnlyWhatItHoldsAndTheMainInterpreterEverything)
{
    std::string a = eval_ok(in("first", "set ::a")), s = eval_ok(in("first", "set ::s"));
    const std::pair<std::string, std::string> refusals[] = {
        { "vellumar listRemoveEntry " + a, "entry " + a + " belongs to the script first" },
        { "vellumar listClearEntry -section 50", "section 50 belongs to the script first" },
        { "vellumar listUpdateText " + a + " mine", "entry " + a + " belongs to the script first" },
        { "vellumar eventsDisconnect " + s, "subscription " + s + " belongs to the script first" },
        { "vellumar listRemoveEntry 99", "entry 99 was not made by the script second" },
    };
    for (const auto &refusal : refusals) {
        EvalResult result = eval(in("second", refusal.first));
        EXPECT_EQ(1, result.code) << refusal.first;
        EXPECT_EQ(refusal.second, result.result);
    }
    EXPECT_EQ("", released()) << "nothing reaches the messenger";
    std::string mine = eval_ok(in("second", "set ::mine"));
    EXPECT_EQ("1 1", eval_ok("list [vellumar listUpdateText " + a + " ours] [vellumar listRemoveEntry " + mine + "]"));
    EXPECT_EQ("listUpdateText, entry " + mine, released());
    EXPECT_EQ("", held("second", "entries")) << "the main interpreter's removal ends the script's record too";
}

TEST_F(Supervised, HoldingsStayTaggedThroughReloadAndRestart)
{
    auto expect_first_holds_its_own = [&](const char *when) {
        std::string own = eval_ok(in("first", "list $::e $::c $::a $::b $::d"));
        EXPECT_EQ(eval_ok("lsort -integer {" + own + "}"), eval_ok("lsort -integer [dict get [::tobrisk::holdings first] entries]"))
            << when;
        EXPECT_EQ("50 60 70", held("first", "sections")) << when;
        EXPECT_EQ(eval_ok(in("first", "set ::s")), held("first", "subscriptions")) << when;
        std::string a = eval_ok(in("first", "set ::a"));
        EXPECT_EQ("entry " + a + " belongs to the script first", eval(in("second", "vellumar listRemoveEntry " + a)).result)
            << when;
    };
    eval_ok("::tobrisk::reload first");
    expect_first_holds_its_own("after a reload");
    stop();
    unload();
    start_supervised();
    expect_first_holds_its_own("after a restart");
}

// The call ends the script's interpreter before its error comes back.
TEST_F(Supervised, AnExportThatUnloadsItsOwnScriptStillGivesItsErrorAndLogsIt)
{
    ASSERT_TRUE(write_file(folder_ + "\\leaver.tcl",
                           "proc ::leave {} { ::tobrisk::unload leaver; error {gone now} }\n"
                           "::tobrisk::export ::leave\n"));
    ASSERT_EQ("loaded", eval_ok("::tobrisk::load leaver"));
    EvalResult result = eval("::leave");
    EXPECT_EQ(1, result.code);
    EXPECT_EQ("gone now", result.result);
    EXPECT_EQ("unloaded", eval_ok("::tobrisk::state leaver"));
    EXPECT_EQ("error: error in ::leave: gone now", eval_ok("lindex [split [::tobrisk::log leaver] \\n] 0"));
    DeleteFileA((folder_ + "\\leaver.tcl").c_str());
}


// The plugin makes a script's interpreter from the library the main one
// found; what Tcl sets up in it is what `interp create` sets up, whether
// env(TCL_LIBRARY) names that library as tcl_library does or in other words.
TEST_F(Supervised, AScriptsInterpreterIsTheTclOfInterpCreate)
{
    const std::string probe = "list [info library] $::auto_path [lsort [info procs]] [lsort [info vars]] "
                              "[info exists ::tclDefaultLibrary] [package require msgcat] [auto_load parray] "
                              "[clock format 0 -gmt 1 -format %Y] [catch no_such_command]";
    const char *const libraries[] = { "set env(TCL_LIBRARY) $tcl_library",
                                      "set env(TCL_LIBRARY) [file join $tcl_library]" };
    int made = 0;
    for (const char *library : libraries) {
        SCOPED_TRACE(library);
        eval_ok(library);
        std::string ours = "::ours" + std::to_string(++made);
        std::string theirs = "::theirs" + std::to_string(made);
        EXPECT_EQ(ours, eval_ok("::tobrisk::_interp " + ours));
        EXPECT_EQ(eval_ok("interp create " + theirs + "; " + theirs + " eval {" + probe + "}"),
                  eval_ok(ours + " eval {" + probe + "}"));
        eval_ok("interp delete " + ours + "; interp delete " + theirs);
    }
    eval_ok(libraries[0]);
}

} // namespace
