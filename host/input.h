// One line of input as a command's handler gets it, and the checks of its
// words that answer a mistake with the command's usage.
#ifndef TOBRISK_HOST_INPUT_H
#define TOBRISK_HOST_INPUT_H

#include <string>
#include <vector>

#include "session.h"

// One line of input: its text, its words and its number in the scenario.
struct Input {
    std::string text;
    std::vector<std::string> words;
    int number;
    std::string usage;   // "name usage" of its command, as a usage error shows it
    // The words from `count` on, as typed.
    std::string rest(size_t count) const;
};

enum class Next { Go, Quit };

// A command's handler.
using Run = Next (*)(Session &, const Input &);

// Reports the usage of the input's command as an error; false.
bool usage_error(Session &session, const Input &input);
// Reads word `index` as an integer; reports the usage when it is not one.
bool int_word(Session &session, const Input &input, size_t index, long &value);
// The number of words lies between `least` and `most`; else the usage.
bool count_between(Session &session, const Input &input, size_t least, size_t most);

#endif
