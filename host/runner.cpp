// The two front ends of tobrisk-host: a scenario's lines one after the
// other, and the prompt, whose standard input a thread of its own reads.
#include "runner.h"

#include <cstdio>

#include "commands.h"
#include "expect.h"
#include "lifecycle.h"
#include "message_loop.h"
#include "watchdog.h"
#include "words.h"

namespace {

bool is_blank_or_comment(const std::string &line)
{
    return line.empty() || line[0] == '#';
}

// Applies an "option" line; paths are relative to the scenario's folder.
// What the command line gave wins.
void apply_option(Session &session, const std::vector<std::string> &words)
{
    if (words.size() != 3) {
        session.error("usage: " + command_usage("option"));
        return;
    }
    if (session.options.was_given(words[1])) return;
    const OptionInfo *option = find_option(words[1], InScenario);
    if (option == nullptr) {
        session.error("unknown option " + quoted(words[1]) + " (" + scenario_option_names() + ")");
        return;
    }
    std::string problem;
    if (!set_option(session.options, *option, words[2], problem)) session.error(problem);
}

} // namespace

void run_scenario(Session &session, const std::vector<std::string> &lines)
{
    size_t index = 0;
    for (; index < lines.size(); index++) {
        std::string line = trimmed(lines[index]);
        if (is_blank_or_comment(line)) continue;
        std::vector<std::string> words;
        std::string problem;
        if (!split_words(line, words, problem) || words[0] != "option") break;
        session.out.top("> " + line);
        apply_option(session, words);
    }
    // Real message boxes wait for the user, so --gui times nothing out.
    int fallback = session.options.gui ? 0 : 30;
    watchdog_start(session.options.timeout_seconds < 0 ? fallback : session.options.timeout_seconds);
    session.begin();
    pump(session, false);
    for (; index < lines.size(); index++) {
        std::string line = trimmed(lines[index]);
        if (is_blank_or_comment(line)) continue;
        session.out.top("> " + line);
        if (execute(session, line, (int)index + 1) == Next::Quit) break;
        pump(session, false);
    }
    finish_plugin(session);
    check_run_end(session);
}

namespace {

// Standard input is read on a thread of its own, so that the main thread
// can run the message loop while the user types.
struct LineReader {
    CRITICAL_SECTION lock;
    HANDLE ready;
    std::vector<std::string> lines;
    bool ended = false;
};

DWORD WINAPI read_lines(void *parameter)
{
    LineReader *reader = (LineReader *)parameter;
    char buffer[4096];
    std::string line;
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        line += buffer;
        if (line.back() != '\n') continue;
        line.pop_back();
        EnterCriticalSection(&reader->lock);
        reader->lines.push_back(line);
        LeaveCriticalSection(&reader->lock);
        SetEvent(reader->ready);
        line.clear();
    }
    EnterCriticalSection(&reader->lock);
    if (!line.empty()) reader->lines.push_back(line);
    reader->ended = true;
    LeaveCriticalSection(&reader->lock);
    SetEvent(reader->ready);
    return 0;
}

} // namespace

void run_interactive(Session &session)
{
    watchdog_start(session.options.timeout_seconds < 0 ? 0 : session.options.timeout_seconds);
    std::printf("tobrisk-host: a stand-in messenger for Tobrisk scripts. help lists the commands.\n");
    session.begin();
    pump(session, true);
    static LineReader reader;
    InitializeCriticalSection(&reader.lock);
    reader.ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, read_lines, &reader, 0, nullptr);
    int number = 0;
    bool quit = false;
    while (!quit) {
        std::printf("tobrisk> ");
        std::fflush(stdout);
        std::string line;
        bool have_line = false;
        while (!have_line) {
            EnterCriticalSection(&reader.lock);
            if (!reader.lines.empty()) {
                line = reader.lines.front();
                reader.lines.erase(reader.lines.begin());
                have_line = true;
            }
            bool ended = reader.ended && reader.lines.empty() && !have_line;
            LeaveCriticalSection(&reader.lock);
            if (ended) {
                std::printf("\n");
                quit = true;
                break;
            }
            if (have_line) break;
            MsgWaitForMultipleObjects(1, &reader.ready, FALSE, 50, QS_ALLINPUT);
            pump(session, true);
        }
        if (quit) break;
        number++;
        line = trimmed(line);
        if (is_blank_or_comment(line)) continue;
        if (execute(session, line, number) == Next::Quit) quit = true;
        pump(session, true);
    }
    finish_plugin(session);
    if (thread != nullptr) CloseHandle(thread);
}
