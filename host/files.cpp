// The few file-system questions tobrisk-host asks of paths.
#include "files.h"

#include <windows.h>

#include "messenger/messenger.h"

using messenger::utf8_of;
using messenger::wide_of;

static DWORD attributes_of(const std::string &path)
{
    return GetFileAttributesW(wide_of(path).c_str());
}

bool is_directory(const std::string &path)
{
    DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_file(const std::string &path)
{
    DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool make_directory(const std::string &path)
{
    CreateDirectoryW(wide_of(path).c_str(), nullptr);
    return is_directory(path);
}

std::string full_path(const std::string &path)
{
    wchar_t buffer[MAX_PATH];
    DWORD length = GetFullPathNameW(wide_of(path).c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return path;
    return utf8_of(buffer, (int)length);
}

bool is_absolute(const std::string &path)
{
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) || (path.size() > 1 && path[1] == ':');
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// The path in the ANSI code page; false when the code page lacks a letter.
static bool to_ansi(const std::wstring &wide, std::string &ansi)
{
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    ansi.assign(bytes, '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(bytes - 1);
    return true;
}

// The short name of the last part of `path`, "" when Windows has none.
static std::wstring short_name(const std::wstring &path)
{
    wchar_t brief[MAX_PATH];
    DWORD length = GetShortPathNameW(path.c_str(), brief, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"";
    std::wstring name(brief, length);
    size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

// The parts that the code page holds are kept as they are, so the path
// names as many of its letters as an ANSI program can see.
std::string ansi_path(const std::string &path)
{
    std::wstring wide = wide_of(path);
    std::string ansi;
    if (to_ansi(wide, ansi)) return ansi;
    std::wstring mended;
    size_t start = 0;
    while (start <= wide.size()) {
        size_t end = wide.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = wide.size();
        std::wstring part = wide.substr(start, end - start);
        std::string unused;
        if (!to_ansi(part, unused)) {
            std::wstring brief = short_name(wide.substr(0, end));
            if (!brief.empty()) part = brief;
        }
        mended += part;
        if (end < wide.size()) mended += wide[end];
        start = end + 1;
    }
    // A part without a short name stays as the code page's best guess,
    // which names no folder: the messenger itself would fare no better.
    if (to_ansi(mended, ansi)) return ansi;
    int bytes = WideCharToMultiByte(CP_ACP, 0, mended.c_str(), -1, nullptr, 0, nullptr, nullptr);
    ansi.assign(bytes > 0 ? bytes : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, mended.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(ansi.size() - 1);
    return ansi;
}
