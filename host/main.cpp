// tobrisk-host: a stand-in for the messenger that loads a Tobrisk plugin
// folder and plays the host, from a scenario or at a prompt. main reads the
// command line; the supervisor runs the session in a child process.
#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "files.h"
#include "lifecycle.h"
#include "runner.h"
#include "session.h"
#include "supervisor.h"
#include "test_folder.h"
#include "words.h"

namespace {

// The usage, around the table's options.
std::string usage()
{
    return "usage: tobrisk-host [options] [SCENARIO | - | --test DIR]\n"
           "Plays the messenger for a Tobrisk plugin folder. With a SCENARIO file (or -\n"
           "for standard input) it runs the scenario's lines and prints a transcript;\n"
           "without one it prompts for commands.\n" +
           command_line_usage() +
           "Exit codes: 0 all went well, 1 an error or a failed expectation, 2 bad usage,\n"
           "3 the plugin hung, 4 the plugin crashed or ended the process.\n";
}

// The words of the command line in UTF-8, from the wide command line: the
// ANSI one loses the letters of paths that the code page lacks.
std::vector<std::string> utf8_arguments()
{
    std::vector<std::string> words;
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return words;
    for (int index = 0; index < count; index++) words.push_back(messenger::utf8_of(wide[index]));
    LocalFree(wide);
    return words;
}

// Fills the options from the arguments; false with a message on stderr.
bool parse_options(const std::vector<std::string> &argv, Options &options, bool &help)
{
    help = false;
    int argc = (int)argv.size();
    for (int index = 1; index < argc; index++) {
        std::string word = argv[index];
        const OptionInfo *option = command_line_option(word);
        if (word == "--help" || word == "-h") {
            help = true;
        } else if (option != nullptr) {
            bool takes_value = option->value[0] != '\0';
            std::string value, problem;
            if (takes_value && index + 1 >= argc) {
                std::fprintf(stderr, "tobrisk-host: %s\n", missing_value(*option).c_str());
                return false;
            }
            if (takes_value) value = argv[++index];
            if (!set_option(options, *option, value, problem)) {
                std::fprintf(stderr, "tobrisk-host: %s\n", problem.c_str());
                return false;
            }
            if (takes_value) options.given.push_back(option->name);
        } else if (word.size() > 1 && word[0] == '-' && word != "-") {
            std::fprintf(stderr, "tobrisk-host: unknown option %s\n", word.c_str());
            return false;
        } else if (!options.scenario.empty()) {
            std::fprintf(stderr, "tobrisk-host: one scenario at a time\n");
            return false;
        } else {
            options.scenario = word;
            options.interactive = false;
        }
    }
    if (!options.test_folder.empty() && !options.scenario.empty()) {
        std::fprintf(stderr, "tobrisk-host: --test runs a folder, not a scenario\n");
        return false;
    }
    return true;
}

// The arguments without --test and its folder: what each scenario of the
// folder runs with.
std::vector<std::string> arguments_for_each_test(const std::vector<std::string> &words)
{
    std::vector<std::string> arguments;
    for (size_t index = 1; index < words.size(); index++) {
        const OptionInfo *option = command_line_option(words[index]);
        if (option != nullptr && option->index == OPTION_TEST) {
            index++;
            continue;
        }
        arguments.push_back(words[index]);
    }
    return arguments;
}

bool read_lines(std::istream &stream, std::vector<std::string> &lines)
{
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return true;
}

Session *g_session = nullptr;

// An unhandled exception ends the session's process with the exception's
// code and without a debugger; the parent reports it. The calls it ended
// inside are printed first.
LONG WINAPI end_on_exception(EXCEPTION_POINTERS *)
{
    if (g_session != nullptr) g_session->out.flush_headers();
    std::fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

int run_session(const Options &given)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_on_exception);
    Options options = given;
    std::vector<std::string> lines;
    if (!options.interactive) {
        if (options.scenario == "-") {
            read_lines(std::cin, lines);
        } else {
            std::string content;
            if (!messenger::read_file(options.scenario, content)) {
                std::printf("error: cannot read the scenario \"%s\"\n", options.scenario.c_str());
                return EXIT_USAGE;
            }
            std::istringstream file(content);
            read_lines(file, lines);
            options.base_dir = folder_of(options.scenario);
        }
    }
    Session session(options);
    Answering answering(session);
    g_session = &session;
    if (options.interactive) {
        run_interactive(session);
    } else {
        run_scenario(session, lines);
    }
    int status = session.errors() + session.failures() > 0 ? EXIT_FAILED : EXIT_OK;
    if (status == EXIT_FAILED && !options.interactive) {
        session.out.top(std::to_string(session.errors()) + " errors, " + std::to_string(session.failures()) +
                        " failed expectations");
    }
    g_session = nullptr;
    return status;
}

// The build's plugin folder when there is one here; else the folder
// Tobrisk beside this program, as the release package lays them out.
PathOption default_plugin_folder()
{
    Options defaults;
    if (is_directory(defaults.plugin.path)) return defaults.plugin;
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return defaults.plugin;
    std::string beside = folder_of(messenger::utf8_of(program, (int)length)) + "\\Tobrisk";
    if (is_directory(beside)) return {beside, beside};
    return defaults.plugin;
}

} // namespace

int main()
{
    // Transcripts end their lines with a line feed alone, on every system.
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    bool help = false;
    std::vector<std::string> words = utf8_arguments();
    if (!parse_options(words, options, help)) {
        std::fputs(usage().c_str(), stderr);
        return EXIT_USAGE;
    }
    if (help) {
        std::fputs(usage().c_str(), stdout);
        std::fputs("\nCommands:\n", stdout);
        for (const std::string &line : command_help()) std::printf("  %s\n", line.c_str());
        return EXIT_OK;
    }
    if (!options.test_folder.empty()) return run_test_folder(options.test_folder, arguments_for_each_test(words));
    if (!options.was_given("plugin")) options.plugin = default_plugin_folder();
    if (!is_session_process()) return supervise(options.profile.empty());
    int status = run_session(options);
    std::fflush(stdout);
    ExitProcess(SessionExitBase + (DWORD)status);
}
