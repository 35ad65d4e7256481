// Shared main of the test programs: reads the plugin folders, and runs a
// child mode instead of the tests when asked to.
#include <gtest/gtest.h>

#include "support.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::string child;
    for (int index = 1; index < argc; index++) {
        std::string word = argv[index];
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
