// The supervisor: runs this program again as the session, with a scratch
// profile folder it removes afterwards, and tells what became of it.
#include "supervisor.h"

#include <cstdio>
#include <string>

const wchar_t ScratchProfileVariable[] = L"TOBRISK_HOST_PROFILE";

namespace {

const wchar_t SessionVariable[] = L"TOBRISK_HOST_SESSION";

// A scratch profile folder under the temp directory, which may be named
// in any letters; "" when none could be made.
std::wstring make_scratch_folder()
{
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) return L"";
    std::wstring folder = std::wstring(temp) + L"tobrisk-host-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount());
    return CreateDirectoryW(folder.c_str(), nullptr) ? folder : L"";
}

void remove_folder_tree(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_folder_tree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

const char *exception_name(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "access violation";
    case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "division by zero";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case EXCEPTION_BREAKPOINT: return "breakpoint";
    case 0xC0000409: return "stack buffer overrun";
    case 0xC0000374: return "heap corruption";
    default: return "exception";
    }
}

// Transcripts are UTF-8 and so are the lines typed at the prompt; a console
// shows and reads them as such while the session runs, and gets its own
// code pages back afterwards.
struct ConsoleInUtf8 {
    UINT input = GetConsoleCP(), output = GetConsoleOutputCP();
    ConsoleInUtf8()
    {
        if (input != 0) SetConsoleCP(CP_UTF8);
        if (output != 0) SetConsoleOutputCP(CP_UTF8);
    }
    ~ConsoleInUtf8()
    {
        if (input != 0) SetConsoleCP(input);
        if (output != 0) SetConsoleOutputCP(output);
    }
};

} // namespace

bool is_session_process()
{
    wchar_t marker[4];
    return GetEnvironmentVariableW(SessionVariable, marker, 4) != 0;
}

int supervise(bool scratch_profile)
{
    SetEnvironmentVariableW(SessionVariable, L"1");
    std::wstring scratch = scratch_profile ? make_scratch_folder() : L"";
    SetEnvironmentVariableW(ScratchProfileVariable, scratch.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    ConsoleInUtf8 console;
    // The wide command line: the ANSI one loses the letters that the code
    // page lacks, in paths the session needs.
    std::wstring command = GetCommandLineW();
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "tobrisk-host: cannot start the session (Windows error %lu)\n",
                     (unsigned long)GetLastError());
        if (!scratch.empty()) remove_folder_tree(scratch);
        return EXIT_CRASHED;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!scratch.empty()) remove_folder_tree(scratch);
    if (code >= SessionExitBase && code <= SessionExitBase + EXIT_CRASHED) return (int)(code - SessionExitBase);
    if (code >= 0x80000000) {
        std::printf("error: the plugin crashed: exception 0x%08lX (%s)\n", (unsigned long)code, exception_name(code));
    } else {
        std::printf("error: the plugin ended the process with exit code %lu\n", (unsigned long)code);
    }
    std::fflush(stdout);
    return EXIT_CRASHED;
}
