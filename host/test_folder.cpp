// `tobrisk-host --test DIR`: every scenario of a folder, each in a run of
// its own, with one line per scenario and a summary for an author's CI.
#include "test_folder.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "files.h"
#include "messenger/messenger.h"
#include "supervisor.h"
#include "words.h"

namespace {

bool ends_with(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && same_text_nocase(text.substr(text.size() - end.size()), end);
}

// The folder's *.scenario files and the scenario.txt of each of its
// subfolders (the examples' layout), as paths below the folder, in name
// order.
std::vector<std::string> scenarios_of(const std::string &folder)
{
    std::vector<std::string> found;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(messenger::wide_of(folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        std::string name = messenger::utf8_of(entry.cFileName);
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (is_file(folder + "\\" + name + "\\scenario.txt")) found.push_back(name + "\\scenario.txt");
        } else if (ends_with(name, ".scenario")) {
            found.push_back(name);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
        return _stricmp(a.c_str(), b.c_str()) < 0;
    });
    return found;
}

// One argument of a Windows command line, as the C runtime reads it back.
std::string command_word(const std::string &word)
{
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

// Runs this program on one scenario and collects what it prints; the
// exit status, or -1 when it could not be started.
int run_one(const std::string &command, std::string &printed)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE reading = nullptr, writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherit, 0)) return -1;
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writing;
    startup.hStdError = writing;
    PROCESS_INFORMATION process = {};
    std::wstring line = messenger::wide_of(command);
    BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writing);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (!started) {
        CloseHandle(reading);
        return -1;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reading, buffer, sizeof buffer, &got, nullptr) && got > 0) printed.append(buffer, got);
    CloseHandle(reading);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return (int)code;
}

// The lines of a run's transcript that say why it failed.
void show_reasons(const std::string &printed)
{
    size_t at = 0;
    while (at < printed.size()) {
        size_t end = printed.find('\n', at);
        if (end == std::string::npos) end = printed.size();
        std::string line = trimmed(printed.substr(at, end - at));
        if (line.compare(0, 6, "FAILED") == 0 || line.compare(0, 6, "error:") == 0) {
            std::printf("    %s\n", line.c_str());
        }
        at = end + 1;
    }
}

} // namespace

int run_test_folder(const std::string &folder, const std::vector<std::string> &arguments)
{
    if (!is_directory(folder)) {
        std::printf("error: no folder %s\n", quoted_path(folder).c_str());
        return EXIT_USAGE;
    }
    std::vector<std::string> scenarios = scenarios_of(folder);
    if (scenarios.empty()) {
        std::printf("error: no scenarios (*.scenario, or */scenario.txt) in %s\n", quoted_path(folder).c_str());
        return EXIT_USAGE;
    }
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return EXIT_CRASHED;
    std::string command = command_word(messenger::utf8_of(program, (int)length));
    for (const std::string &argument : arguments) command += " " + command_word(argument);
    int passed = 0, failed = 0;
    for (const std::string &scenario : scenarios) {
        std::string printed;
        int code = run_one(command + " " + command_word(folder + "\\" + scenario), printed);
        if (code == EXIT_OK) {
            passed++;
            std::printf("passed %s\n", scenario.c_str());
        } else {
            failed++;
            std::printf("FAILED %s (exit code %d)\n", scenario.c_str(), code);
            show_reasons(printed);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? EXIT_OK : EXIT_FAILED;
}
