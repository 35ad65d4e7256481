// Texts in every script and beyond U+FFFF through every border: the chat
// line, records, callbacks, HTTP bodies, message boxes, window titles, the
// host's directories and the plugin's own folder. The program runs in
// several locales (ANSI code pages) from a folder named in letters that no
// one code page holds.
#include <gtest/gtest.h>

#include <cstring>

#include "support.h"

namespace {

using messenger::HostCall;

const char Emoji[] = "\xF0\x9F\x98\x80";          // U+1F600
const char Replacement[] = "\xEF\xBF\xBD";        // U+FFFD
const char Cyrillic[] = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";   // Иван
const char Japanese[] = "\xE6\x97\xA5\xE6\x9C\xAC";           // 日本

std::string emoji() { return Emoji; }

// A directory named with a letter of the ANSI code page: the bytes the
// host hands over, and the letters they name in UTF-8.
struct AnsiDirectory {
    std::string bytes;
    std::string utf8;
};

AnsiDirectory ansi_directory()
{
    const wchar_t *letters[] = {L"\u00e9", L"\u0418", L"\u65e5"};   // é, И, 日
    for (const wchar_t *letter : letters) {
        std::wstring name = std::wstring(L"C:\\Users\\") + letter + L"\\config";
        char bytes[MAX_PATH];
        BOOL lossy = FALSE;
        int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, bytes, sizeof bytes,
                                         nullptr, &lossy);
        if (length > 0 && !lossy) return {bytes, messenger::utf8_of(name.c_str())};
    }
    return {"C:\\config", "C:\\config"};
}

const char TextInit[] =
    "namespace eval ::tobrisk {}\n"
    "set ::init_script [info script]\n"
    "proc ::tobrisk::startup {} {}\n"
    "proc ::tobrisk::shutdown {} {}\n";

// The alias registration that "start" sent, kept for the chat lines.
HostCall g_alias;

class Text : public testing::Test {
public:
    static void SetUpTestSuite()
    {
        static bool loaded = false;
        if (loaded) return;
        write_init(fixture("plugin"), TextInit);
        ASSERT_TRUE(messenger::load_plugin(fixture("plugin")));
        messenger::Directories directories;
        directories.config = ansi_directory().bytes;
        messenger::load_and_start(directories);
        for (const messenger::UiCall &box : messenger::message_boxes()) {
            ADD_FAILURE() << "start-up box " << box.caption << ": " << box.text;
        }
        ASSERT_NE(nullptr, messenger::interp());
        std::vector<HostCall> registrations = messenger::calls_to("editAliasRegister");
        ASSERT_EQ(1u, registrations.size());
        g_alias = registrations[0];
        loaded = true;
    }

protected:
    void SetUp() override
    {
        messenger::clear_calls();
        messenger::clear_ui_calls();
        messenger::clear_answers();
    }
};

// The one record a script sent.
HostCall sent(const std::string &script)
{
    messenger::clear_calls();
    messenger::EvalResult result = messenger::eval(script);
    EXPECT_EQ(0, result.code) << script << ": " << result.result;
    const std::vector<HostCall> &calls = messenger::calls();
    EXPECT_EQ(1u, calls.size()) << script;
    return calls.empty() ? HostCall() : calls.back();
}

// --- The chat line ---------------------------------------------------------

// Sends a chat line as the host does and returns the answer's bytes.
std::string chat(const std::string &line)
{
    const HostCall &alias = g_alias;
    EditAliasRequest request;
    std::memset(&request, 0, sizeof request);
    request.alias = "/tobrisk";
    request.line = const_cast<char *>(line.c_str());
    EXPECT_EQ(0, alias.callback(0, 0, "edit_aliasRequest", &request, alias.userData));
    if (request.line == line.c_str()) return "(not answered)";
    EXPECT_TRUE(messenger::is_live_copy(request.line));
    std::string answer = request.line;
    alias.callback(0, 0, "edit_aliasFree", request.line, alias.userData);
    return answer;
}

TEST_F(Text, ChatLineAnswersInStandardUtf8)
{
    struct Case {
        std::string line;
        std::string answer;
    } cases[] = {
        {"/tobrisk string toupper \"alert " + emoji() + "\"", "ALERT " + emoji()},
        {"/tobrisk string tolower \"\xD0\x98\xD0\x92\xD0\x90\xD0\x9D " + std::string(Japanese) + "\"",
         "\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD " + std::string(Japanese)},
        {"/tobrisk string totitle \"\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD\"", Cyrillic},
        {"/tobrisk string length \"a" + emoji() + "b\"", "4"},
        {"/tobrisk string reverse \"a" + emoji() + "\"", emoji() + "a"},
        {"/tobrisk string range \"a" + emoji() + "b\" 0 1", "a" + std::string(Replacement)},
        {"/tobrisk string range \"" + emoji() + "x\" 1 end", std::string(Replacement) + "x"},
        {"/tobrisk string toupper \"\xFF\xC0\x80\xF0\x9F\x98\"", "\xC5\xB8"},   // stray bytes as Latin-1, C0 80 ends
        {"/tobrisk string length \"\xED\xA0\xBD\xED\xB8\x80\"", "2"},
        {"/tobrisk error \"" + std::string(Cyrillic) + " " + emoji() + "\"", std::string(Cyrillic) + " " + emoji()},
    };
    for (const Case &c : cases) EXPECT_EQ(c.answer, chat(c.line)) << c.line;
}

// --- Texts that the plugin puts into records ----------------------------------

TEST_F(Text, RecordsCarryStandardUtf8)
{
    std::string e = emoji();
    struct Case {
        std::string script;
        std::map<size_t, std::string> texts;
    } cases[] = {
        {"vellumar messageSend \"" + e + "\" 1 \"" + Cyrillic + "\" [string toupper \"hi " + e + "\"]",
         {{offsetof(MessageSendRecord, medium), e},
          {offsetof(MessageSendRecord, target), Cyrillic},
          {offsetof(MessageSendRecord, kind), "outgoing"},
          {offsetof(MessageSendRecord, text), "HI " + e}}},
        {"vellumar messageSend ICQ 1 x [string range \"" + e + "\" 0 0]",
         {{offsetof(MessageSendRecord, text), Replacement}}},
        {"vellumar listAddEntry section 1 text \"" + std::string(Japanese) + " " + e + "\" tooltip " + e +
             " edit_string [string range " + e + " 1 1] real_name " + Cyrillic,
         {{LIST(tooltip), e},
          {LIST(text), std::string(Japanese) + " " + e},
          {LIST(edit_string), Replacement},
          {LIST(real_name), Cyrillic}}},
        {"vellumar listUpdateText 5 " + e + " " + Japanese, {{LIST(text), e}, {LIST(edit_string), Japanese}}},
        {"vellumar systraySetAlert " + e + " \"text " + e + "\"",
         {{offsetof(AlertRecord, text), "text " + e}, {offsetof(AlertRecord, type), e}}},
        {"vellumar eventsConnect " + e + " {}", {{offsetof(EventsRecord, type), e}}},
        {"vellumar connectionEnumerate " + e, {{offsetof(ConnectionEnumRecord, medium), e}}},
        {"vellumar contactlistEnumerate " + e + " 1 " + Cyrillic,
         {{offsetof(ContactEnumRecord, medium), e}, {offsetof(ContactEnumRecord, section), Cyrillic}}},
        {"vellumar httpFileRequest http://x/" + e, {{offsetof(HttpRequestRecord, url), "http://x/" + e}}},
    };
    for (const Case &c : cases) {
        HostCall call = sent(c.script);
        for (const auto &text : c.texts) EXPECT_EQ(text.second, call.text_at(text.first)) << c.script;
    }
}

// The link is the host's to keep: a heap copy in UTF-8, which a click opens
// through the wide call.
TEST_F(Text, AlertLinkIsUtf8AndOpensWide)
{
    std::string link = "C:\\" + std::string(Cyrillic) + "\\" + emoji() + ".txt";
    HostCall alert = sent("vellumar systraySetAlert info hi {" + link + "}");
    const char *copy = (const char *)alert.userData;
    ASSERT_TRUE(messenger::is_live_copy(copy));
    EXPECT_EQ(link, copy);
    alert.callback(0, 0, "alert_linkClick", nullptr, alert.userData);
    ASSERT_EQ(1u, messenger::ui_calls().size());
    EXPECT_EQ("ShellExecuteW", messenger::ui_calls()[0].function);
    EXPECT_EQ(link, messenger::ui_calls()[0].text);
    alert.callback(0, 0, "alert_destroy", nullptr, alert.userData);
}

// --- Texts that the host hands over -------------------------------------------

TEST_F(Text, HostTextsArriveAsCharacters)
{
    std::string e = emoji();
    std::string name = std::string(Cyrillic) + " " + e;
    int32_t cid = 3;
    HostCall subscription = sent("vellumar eventsConnect connection "
                                 "{set ::seen [list [string length $event(name)] [string toupper $event(name)] "
                                 "[string length $event(status)]]}");
    EventField fields[3] = {};
    fields[0].name = "cid";
    fields[0].value = &cid;
    fields[0].next = &fields[1];
    fields[1].name = "name";
    fields[1].value = name.c_str();
    fields[1].next = &fields[2];
    fields[2].name = "status";
    fields[2].value = "\xFF\xF0\x9F";   // no UTF-8: three characters, no crash
    subscription.callback(1, 0, "Connection: Change", fields, subscription.userData);
    EXPECT_TRUE(messenger::message_boxes().empty());
    EXPECT_EQ("7 {\xD0\x98\xD0\x92\xD0\x90\xD0\x9D " + e + "} 3", messenger::eval_ok("set ::seen"));

    messenger::set_answer("connectionEnumerate", [&](HostCall &call) {
        EnumEntry entry = {};
        entry.first = name.c_str();
        entry.number = 5;
        entry.texts[0] = Japanese;
        entry.texts[1] = e.c_str();
        entry.texts[2] = "\xC0";
        auto record = (ConnectionEnumRecord *)call.record;
        record->callback(0, 0, "enum_add", &entry, record->userData);
        return 0;
    });
    EXPECT_EQ("{{" + name + "} 5 " + Japanese + " " + e + " \xC3\x80}",
              messenger::eval_ok("vellumar connectionEnumerate ICQ"));
    EXPECT_EQ("2", messenger::eval_ok("string length [lindex [vellumar connectionEnumerate ICQ] 0 3]"));

    static const std::string version = "Vellumar " + e;
    messenger::set_answer("versionRequest", [](HostCall &) { return (int32_t)(intptr_t)version.c_str(); });
    EXPECT_EQ("VELLUMAR " + e, messenger::eval_ok("string toupper [vellumar versionRequest]"));
}

// --- HTTP bodies ---------------------------------------------------------------

HostCall request(const std::string &words)
{
    return sent("vellumar httpFileRequest " + words);
}

void complete(const HostCall &call, const std::string &bytes)
{
    HttpCompletion data = {};
    data.bytes = bytes.data();
    data.count = (int32_t)bytes.size();
    call.callback(0, 0, "http", &data, call.userData);
}

TEST_F(Text, HttpTextBodiesAreTextAndBinaryBodiesExactBytes)
{
    std::string e = emoji();
    std::string text("caf\xC3\xA9 " + e + std::string("\0x", 2));
    complete(request("http://x/page ::page"), text);
    EXPECT_EQ("9", messenger::eval_ok("string length $::page"));
    EXPECT_EQ(std::string("CAF\xC3\x89 " + e + std::string("\0X", 2)), messenger::eval_ok("string toupper $::page"));

    complete(request("http://x/latin ::latin"), "\xFF\xE9");
    EXPECT_EQ("255 233", messenger::eval_ok("scan $::latin %c%c"));

    // A picture written back in binary is the file received, byte for byte.
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\xc0\x80\xed\xa0\xbd", 23);
    png += e;
    HostCall binary = request("-binary http://x/picture.png ::picture");
    EXPECT_EQ("http://x/picture.png", binary.text_at(offsetof(HttpRequestRecord, url)));
    complete(binary, png);
    std::string path = fixture("plugin") + "\\picture " + e + ".png";
    messenger::EvalResult written = messenger::eval(
        "set f [open {" + path + "} wb]; puts -nonewline $f $::picture; close $f; string length $::picture");
    EXPECT_EQ(0, written.code) << written.result;
    EXPECT_EQ(std::to_string(png.size()), written.result);
    std::string read;
    ASSERT_TRUE(messenger::read_file(path, read));
    EXPECT_EQ(png, read);
    messenger::remove_file(path);

    EXPECT_EQ("wrong # args: should be \"httpFileRequest -binary url ?resultVar?\"",
              messenger::eval("vellumar httpFileRequest -binary").result);
    EXPECT_EQ("wrong # args: should be \"httpFileRequest -binary url ?resultVar?\"",
              messenger::eval("vellumar httpFileRequest -binary u v w").result);
}

// --- Message boxes and windows -----------------------------------------------------

TEST_F(Text, MessageBoxesShowEveryLetter)
{
    std::string e = emoji();
    std::string text = "caf\xC3\xA9 " + e + " " + Japanese;
    EXPECT_EQ("1", messenger::eval_ok("tobrisk messagebox {" + text + "} {" + Cyrillic + "}"));
    EXPECT_EQ("1", messenger::eval_ok("tobrisk messagebox [string range " + e + " 0 0]"));
    HostCall entry = sent("vellumar listAddEntry section 1 callback {error \"" + std::string(Cyrillic) + " " + e + "\"}");
    entry.callback(0, 0, "list_leftDoubleClick", nullptr, entry.userData);

    std::vector<messenger::UiCall> boxes = messenger::message_boxes();
    ASSERT_EQ(3u, boxes.size());
    for (const messenger::UiCall &box : boxes) EXPECT_EQ("MessageBoxW", box.function);
    EXPECT_EQ(text, boxes[0].text);
    EXPECT_EQ(Cyrillic, boxes[0].caption);
    EXPECT_EQ(Replacement, boxes[1].text);
    EXPECT_TRUE(boxes[1].null_caption);
    EXPECT_EQ(std::string(Cyrillic) + " " + e, boxes[2].text);
    EXPECT_EQ("Tobrisk Error (TobriskTclListCallback)", boxes[2].caption);
}

TEST_F(Text, WindowTitlesInEveryScriptCutAt1023Characters)
{
    std::wstring wide_emoji = messenger::wide_of(emoji());
    struct Case {
        std::wstring title;
        std::string listed;
    } cases[] = {
        {L"\u0418\u0432\u0430\u043d \u65e5\u672c " + wide_emoji, std::string(Cyrillic) + " " + Japanese + " " + emoji()},
        {std::wstring(1100, L'\u0416'), ""},
        {std::wstring(1022, L'a') + wide_emoji, std::string(1022, 'a')},
    };
    cases[1].listed = messenger::utf8_of(std::wstring(1023, L'\u0416').c_str());
    for (const Case &c : cases) {
        HWND window = CreateWindowExW(0, L"STATIC", c.title.c_str(), 0, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        // The title listed for the window, or a mark when it is not listed.
        std::string handle = std::to_string((long)(intptr_t)window);
        std::string script = "set found {(not listed)}; foreach w [tobrisk threadwindows] {"
                             "if {[lindex $w 0] == " + handle + "} {set found [lindex $w 2]}}; set found";
        EXPECT_EQ(c.listed, messenger::eval_ok(script));
        DestroyWindow(window);
    }
}

// --- Where the plugin runs: its folder, the host's directories, the encoding ----

TEST_F(Text, PluginFolderAndDirectoriesAsTheLettersTheyName)
{
    std::string folder = fixture("plugin");
    EXPECT_EQ(folder + "\\init.tcl", messenger::eval_ok("set ::init_script"));
    EXPECT_EQ("1", messenger::eval_ok("file exists $::init_script"));
    EXPECT_EQ(folder + "\\lib\\tcl8.4", messenger::eval_ok("set ::tcl_library"));
    EXPECT_EQ(ansi_directory().utf8, messenger::eval_ok("tobrisk config_directory"));

    UINT code_page = GetACP();
    std::string system = code_page == CP_UTF8 ? "utf-8" : "cp" + std::to_string(code_page);
    EXPECT_EQ(system, messenger::eval_ok("encoding system"));
}

} // namespace
