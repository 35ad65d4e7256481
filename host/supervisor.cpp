// The supervisor: runs this program again as the session, with a scratch
// profile folder it removes afterwards, and tells what became of it.
#include "supervisor.h"

#include <cstdio>
#include <string>

const char ScratchProfileVariable[] = "TOBRISK_HOST_PROFILE";

namespace {

const char SessionVariable[] = "TOBRISK_HOST_SESSION";

// A scratch profile folder under the temp directory; "" when none could
// be made.
std::string make_scratch_folder()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return "";
    std::string folder = std::string(temp) + "tobrisk-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(GetTickCount());
    return CreateDirectoryA(folder.c_str(), nullptr) ? folder : "";
}

void remove_folder_tree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_folder_tree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
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

} // namespace

bool is_session_process()
{
    char marker[4];
    return GetEnvironmentVariableA(SessionVariable, marker, sizeof marker) != 0;
}

int supervise(bool scratch_profile)
{
    SetEnvironmentVariableA(SessionVariable, "1");
    std::string scratch = scratch_profile ? make_scratch_folder() : "";
    SetEnvironmentVariableA(ScratchProfileVariable, scratch.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string command = GetCommandLineA();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
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
