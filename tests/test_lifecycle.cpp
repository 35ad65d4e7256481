// The plugin's entry points and lifecycle as the host drives them.
#include <gtest/gtest.h>

#include <cstring>

#include "support.h"
#include "tobrisk_version.h"

using messenger::calls;
using messenger::services_called;

namespace {

// init.tcl that records, in Tcl variables and a file, what ran.
std::string recording_init(const std::string &trace_file)
{
    return std::string(MinimalInit) +
           "set ::started 0\n"
           "proc ::tobrisk::startup {} { incr ::started }\n"
           "proc ::tobrisk::shutdown {} {\n"
           "    set f [open {" + trace_file + "} a]; fconfigure $f -translation lf\n"
           "    puts $f shutdown; close $f\n"
           "}\n";
}

class Lifecycle : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(messenger::load_plugin(fixture("plugin"))); }

    void SetUp() override
    {
        trace_ = fixture("plugin") + "\\trace.txt";
        messenger::remove_file(trace_);
        std::string tcl_path = trace_;
        for (char &c : tcl_path) if (c == '\\') c = '/';
        write_init(fixture("plugin"), recording_init(tcl_path));
        messenger::clear_calls();
        messenger::clear_ui_calls();
        messenger::clear_answers();
        messenger::set_answer("editAliasRegister", 7);
    }

    // Every test leaves the plugin unloaded, as a host would at exit.
    void TearDown() override
    {
        messenger::stop();
        messenger::unload();
        EXPECT_TRUE(messenger::message_boxes().empty()) << messenger::message_boxes()[0].text;
    }

    std::string trace() const
    {
        HANDLE file = CreateFileW(messenger::wide_of(trace_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "";
        char buffer[256];
        DWORD got = 0;
        ReadFile(file, buffer, sizeof buffer, &got, nullptr);
        CloseHandle(file);
        return std::string(buffer, got);
    }

    std::string trace_;
};

TEST_F(Lifecycle, VersionIsTwo)
{
    EXPECT_EQ(2, messenger::plugin_version());
}

// Each text and its terminator are written; the bytes behind stay as the
// host gave them (the host library fills them with 0x5A).
TEST_F(Lifecycle, LoadWritesTheSelfDescription)
{
    LoadRecord record = messenger::load();
    const char *base = (const char *)&record;
#define TEXT_FIELD(field) offsetof(LoadRecord, field), sizeof(LoadRecord::field)
    struct Field { size_t offset; size_t width; const char *text; } fields[] = {
        {TEXT_FIELD(guid), PluginGuid},
        {TEXT_FIELD(name), "Tobrisk"},
        {TEXT_FIELD(maker), "Oxbrindle"},
        {TEXT_FIELD(version), TOBRISK_VERSION},
        {TEXT_FIELD(description),
         "Tcl scripting as a Vellumar plugin.  Version " TOBRISK_VERSION ", Build " TOBRISK_BUILD},
    };
#undef TEXT_FIELD
    for (const Field &field : fields) {
        size_t length = std::strlen(field.text);
        EXPECT_EQ(std::string(field.text), std::string(base + field.offset)) << field.offset;
        EXPECT_EQ(0, base[field.offset + length]) << field.offset;
        for (size_t index = field.offset + length + 1; index < field.offset + field.width; index++) {
            ASSERT_EQ(0x5A, (unsigned char)base[index]) << "byte " << index;
        }
    }
    EXPECT_EQ(36u, std::strlen(PluginGuid));
    EXPECT_EQ(69u, std::strlen(fields[4].text));
}

TEST_F(Lifecycle, ServiceCallsFollowTheLifecycle)
{
    messenger::load();
    EXPECT_TRUE(calls().empty()) << "load calls no service";
    messenger::start();
    EXPECT_EQ("1", messenger::eval_ok("set ::started")) << "the scripts started at load";
    messenger::stop();
    messenger::unload();
    std::vector<std::string> expected = {"prefsInitialize", "editAliasRegister", "editAliasUnregister",
                                         "keyboardAliasUnregister"};
    EXPECT_EQ(expected, services_called());
    for (const auto &call : calls()) EXPECT_EQ(PluginGuid, call.guid);
    EXPECT_EQ(7, calls()[2].int_at(offsetof(AliasUnregisterRecord, alias_id)))
        << "the edit alias id the host returned";
    EXPECT_EQ(-1, calls()[3].int_at(offsetof(KeyboardAliasUnregisterRecord, alias_id)))
        << "no keyboard alias is ever registered";
    EXPECT_EQ("shutdown\n", trace());
}

TEST_F(Lifecycle, EventNamesIgnoreLetterCase)
{
    LoadRecord record = messenger::make_load_record(messenger::Directories());
    EXPECT_EQ(0, messenger::plugin_main("LOAD", &record));
    EXPECT_EQ(0, messenger::plugin_main("Start", nullptr));
    EXPECT_EQ(0, messenger::plugin_main("sToP", nullptr));
    EXPECT_EQ(0, messenger::plugin_main("UNLOAD", nullptr));
    EXPECT_EQ(4u, calls().size());
    EXPECT_EQ("shutdown\n", trace());
}

TEST_F(Lifecycle, OtherEventsChangeNothing)
{
    for (const char *event : {"initialLoad", "finalUnload", "reload", "", "loadx"}) {
        EXPECT_EQ(0, messenger::plugin_main(event, nullptr)) << event;
    }
    EXPECT_EQ(0, messenger::plugin_main(nullptr, nullptr));
    messenger::start();
    EXPECT_TRUE(calls().empty()) << "start without a load has no service function to call";
}

TEST_F(Lifecycle, LoadWithoutRecordStartsNothing)
{
    EXPECT_EQ(0, messenger::plugin_main("load", nullptr));
    messenger::start();
    messenger::stop();
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ("", trace());
}

TEST_F(Lifecycle, SecondStartRegistersTheAliasOnce)
{
    messenger::load_and_start();
    messenger::start();
    std::vector<std::string> expected = {"prefsInitialize", "editAliasRegister", "prefsInitialize"};
    EXPECT_EQ(expected, services_called());
}

TEST_F(Lifecycle, SecondStopFindsNoRuntime)
{
    messenger::load_and_start();
    messenger::stop();
    messenger::clear_calls();
    messenger::stop();
    std::vector<std::string> expected = {"editAliasUnregister", "keyboardAliasUnregister"};
    EXPECT_EQ(expected, services_called());
    EXPECT_EQ(-1, calls()[0].int_at(offsetof(AliasUnregisterRecord, alias_id)));
    EXPECT_EQ(-1, calls()[1].int_at(offsetof(KeyboardAliasUnregisterRecord, alias_id)));
    EXPECT_EQ("shutdown\n", trace()) << "the scripts' shutdown ran once";
    messenger::unload();
    messenger::clear_calls();
    messenger::stop();
    EXPECT_TRUE(calls().empty()) << "stop after unload sends nothing";
}

TEST_F(Lifecycle, DirectoriesReachScripts)
{
    messenger::Directories directories;
    directories.config = std::string(259, 'c');
    directories.skin = std::string(300, 's');
    directories.temp = "";
    directories.language = "D:\\\xC3\xA9t\xC3\xA9";
    messenger::load_and_start(directories);
    EXPECT_EQ(directories.config, messenger::eval_ok("tobrisk config_directory"));
    EXPECT_EQ(std::string(259, 's'), messenger::eval_ok("tobrisk skin_directory")) << "cut to stay terminated";
    EXPECT_EQ("", messenger::eval_ok("tobrisk temp_directory"));
    EXPECT_EQ(directories.global_config, messenger::eval_ok("tobrisk global_config_directory extra words"));
    EXPECT_EQ(directories.vellumar, messenger::eval_ok("tobrisk vellumar_directory"));
    EXPECT_EQ(259u, messenger::eval_ok("tobrisk config_directory").size());
}

// The runtime is torn down at stop and started afresh at the next load:
// nothing of the first interpreter survives.
TEST_F(Lifecycle, LoadStopLoadInOneProcess)
{
    messenger::load_and_start();
    EXPECT_EQ("kept", messenger::eval_ok("set ::mark kept"));
    Tcl_Interp *first = messenger::interp();
    messenger::stop();
    messenger::unload();
    messenger::load_and_start();
    EXPECT_NE(nullptr, messenger::interp());
    EXPECT_EQ("0", messenger::eval_ok("info exists ::mark"));
    EXPECT_EQ("1", messenger::eval_ok("set ::started"));
    EXPECT_EQ("8.6.13", messenger::eval_ok("package present Tk"));
    (void)first;
    messenger::stop();
    EXPECT_EQ("shutdown\nshutdown\n", trace());
}

} // namespace
