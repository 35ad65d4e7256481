// The checks of a line's words, each answering a mistake with the usage.
#include "input.h"

#include "words.h"

std::string Input::rest(size_t count) const { return rest_after_words(text, count); }

bool usage_error(Session &session, const Input &input)
{
    session.error("usage: " + input.usage);
    return false;
}

bool int_word(Session &session, const Input &input, size_t index, long &value)
{
    if (index < input.words.size() && parse_int(input.words[index], value)) return true;
    return usage_error(session, input);
}

bool count_between(Session &session, const Input &input, size_t least, size_t most)
{
    if (input.words.size() >= least && input.words.size() <= most) return true;
    return usage_error(session, input);
}
