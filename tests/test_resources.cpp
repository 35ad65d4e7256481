// The resources of the built library, read back with the Windows API:
// version information, the page's dialog template and its bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support.h"
#include "tobrisk_version.h"

namespace {

const WORD English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string library_path() { return fixture("plugin") + "\\Tobrisk.dll"; }

HMODULE library()
{
    static HMODULE module = LoadLibraryW(messenger::wide_of(library_path()).c_str());
    return module;
}

std::vector<char> version_info()
{
    std::string path = library_path();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data())) data.clear();
    return data;
}

TEST(Resources, VersionStrings)
{
    std::vector<char> info = version_info();
    ASSERT_FALSE(info.empty());

    WORD *translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04b0, translation[1]);

    const char *const strings[][2] = {
        {"CompanyName", "Oxbrindle"},
        {"FileDescription", "Tobrisk, a Tcl plugin for Vellumar Pro."},
        {"Comments", "Tobrisk, a Tcl plugin for Vellumar Pro."},
        {"FileVersion", TOBRISK_VERSION},
        {"InternalName", "Tobrisk"},
        {"OriginalFilename", "tobrisk-" TOBRISK_VERSION "-" TOBRISK_BUILD ".dll"},
        {"ProductName", "Tobrisk " TOBRISK_VERSION},
        {"ProductVersion", TOBRISK_VERSION},
    };
    for (const auto &entry : strings) {
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + entry[0];
        char *value = nullptr;
        ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), (void **)&value, &length)) << entry[0];
        EXPECT_STREQ(entry[1], value) << entry[0];
    }
}

TEST(Resources, FixedVersionInfo)
{
    std::vector<char> info = version_info();
    ASSERT_FALSE(info.empty());
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &length));
    ASSERT_EQ(sizeof *fixed, length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    const WORD numbers[] = {TOBRISK_VERSION_NUMBERS};
    EXPECT_EQ(MAKELONG(numbers[1], numbers[0]), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(numbers[3], numbers[2]), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(numbers[1], numbers[0]), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(numbers[3], numbers[2]), fixed->dwProductVersionLS);
    EXPECT_EQ((DWORD)VFT_DLL, fixed->dwFileType);
    EXPECT_EQ((DWORD)VOS__WINDOWS32, fixed->dwFileOS);
}

// Reads a dialog template item by item.
struct Reader {
    const BYTE *at;
    WORD word() { WORD value; std::memcpy(&value, at, 2); at += 2; return value; }
    DWORD dword() { DWORD value; std::memcpy(&value, at, 4); at += 4; return value; }
    std::string text()
    {
        std::string value;
        for (WORD unit = word(); unit != 0; unit = word()) value += (char)unit;
        return value;
    }
    // A class, menu or title: none, an ordinal (returned as "#n") or a text.
    std::string name_or_ordinal()
    {
        WORD first;
        std::memcpy(&first, at, 2);
        if (first == 0) { at += 2; return ""; }
        if (first == 0xFFFF) { at += 2; return "#" + std::to_string(word()); }
        return text();
    }
    void align(const BYTE *base) { while ((at - base) % 4 != 0) at++; }
};

TEST(Resources, DialogTemplate)
{
    HRSRC found = FindResourceExA(library(), (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(101), English);
    ASSERT_NE(nullptr, found);
    const BYTE *base = (const BYTE *)LockResource(LoadResource(library(), found));
    ASSERT_NE(nullptr, base);
    Reader reader = {base};

    DWORD style = reader.dword();
    ASSERT_NE(0xFFFF0001u, style) << "an extended template";
    EXPECT_EQ((DWORD)(WS_CHILD | DS_CONTROL | DS_SETFONT), style);
    EXPECT_EQ(0u, reader.dword());       // extended style
    ASSERT_EQ(2, reader.word());         // controls
    EXPECT_EQ(0, (short)reader.word());
    EXPECT_EQ(0, (short)reader.word());
    EXPECT_EQ(256, (short)reader.word());
    EXPECT_EQ(251, (short)reader.word());
    EXPECT_EQ("", reader.name_or_ordinal());   // menu
    EXPECT_EQ("", reader.name_or_ordinal());   // class
    EXPECT_EQ("", reader.name_or_ordinal());   // caption
    EXPECT_EQ(8, reader.word());
    EXPECT_EQ("MS Sans Serif", reader.text());

    struct Control {
        DWORD style;
        DWORD style_mask;
        short x, y, cx, cy;
        const char *window_class;
        const char *text;
    };
    const Control controls[] = {
        {BS_GROUPBOX | WS_CHILD | WS_VISIBLE, 0x0F | WS_CHILD | WS_VISIBLE | WS_POPUP, 7, 7, 242, 237,
         "#128", "Tobrisk"},
        {SS_LEFT | WS_CHILD | WS_VISIBLE | WS_GROUP, SS_TYPEMASK | WS_CHILD | WS_VISIBLE | WS_GROUP | WS_POPUP,
         96, 121, 62, 8, "#130", "Tobrisk, a Tcl plugin for Vellumar Pro."},
    };
    for (const Control &control : controls) {
        SCOPED_TRACE(control.text);
        reader.align(base);
        DWORD item_style = reader.dword();
        EXPECT_EQ(control.style, item_style & control.style_mask);
        EXPECT_EQ(0u, reader.dword());
        EXPECT_EQ(control.x, (short)reader.word());
        EXPECT_EQ(control.y, (short)reader.word());
        EXPECT_EQ(control.cx, (short)reader.word());
        EXPECT_EQ(control.cy, (short)reader.word());
        EXPECT_EQ(0xFFFF, reader.word());     // id -1
        EXPECT_EQ(control.window_class, reader.name_or_ordinal());
        EXPECT_EQ(control.text, reader.name_or_ordinal());
        EXPECT_EQ(0, reader.word());          // no creation data
    }
}

TEST(Resources, Bitmap)
{
    HRSRC found = FindResourceExA(library(), (LPCSTR)RT_BITMAP, MAKEINTRESOURCEA(127), English);
    ASSERT_NE(nullptr, found);
    const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)LockResource(LoadResource(library(), found));
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(16, header->biWidth);
    EXPECT_EQ(16, std::abs(header->biHeight));
    EXPECT_EQ(8, header->biBitCount);
    EXPECT_EQ((DWORD)BI_RGB, header->biCompression);
    EXPECT_TRUE(header->biClrUsed == 256 || header->biClrUsed == 0);
    EXPECT_EQ(sizeof *header + 256 * 4 + 16 * 16, SizeofResource(library(), found));

    HBITMAP bitmap = LoadBitmapA(library(), MAKEINTRESOURCEA(127));
    ASSERT_NE(nullptr, bitmap);
    BITMAP loaded = {};
    ASSERT_NE(0, GetObjectA(bitmap, sizeof loaded, &loaded));
    EXPECT_EQ(16, loaded.bmWidth);
    EXPECT_EQ(16, loaded.bmHeight);
    DeleteObject(bitmap);
}

} // namespace
