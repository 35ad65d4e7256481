// Shared main of the test programs: reads the plugin folders, and runs a
// child mode instead of the tests when asked to.
#include <gtest/gtest.h>

#include "support.h"

#include <shellapi.h>

// The words of the command line in UTF-8: plugin folders may be named in
// letters that the ANSI code page lacks.
static std::vector<std::string> utf8_arguments()
{
    std::vector<std::string> words;
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int index = 0; index < count; index++) words.push_back(messenger::utf8_of(wide[index]));
    LocalFree(wide);
    return words;
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string child;
    std::vector<std::string> arguments = utf8_arguments();
    for (size_t index = 1; index < arguments.size(); index++) {
        const std::string &word = arguments[index];
        if (word.rfind("--fixture=", 0) == 0) {
            std::string rest = word.substr(10);
            size_t equals = rest.find('=');
            set_fixture(rest.substr(0, equals), rest.substr(equals + 1));
        } else if (word.rfind("--child=", 0) == 0) {
            child = word.substr(8);
        }
    }
    if (!child.empty()) {
        size_t colon = child.find(':');
        std::string argument = colon == std::string::npos ? "" : child.substr(colon + 1);
        return run_child_mode(child.substr(0, colon), argument);
    }
    return RUN_ALL_TESTS();
}
