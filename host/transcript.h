// What tobrisk-host prints: one line per host call, callback, answer and
// note, indented by how deeply the calls nest. A call's line is written
// lazily, so that a call with nothing nested inside it reads as one line,
// "call versionRequest -> ...", and one with nested lines is followed by
// its result on a line of its own.
#ifndef TOBRISK_HOST_TRANSCRIPT_H
#define TOBRISK_HOST_TRANSCRIPT_H

#include <string>
#include <vector>

class Transcript {
public:
    // Opens a nested call; its line is printed with end(), or earlier when
    // something is printed inside it.
    void begin(const std::string &header);
    // Closes the innermost call; a non-empty result is shown after "-> ".
    void end(const std::string &result);
    // Closes the innermost call, printing nothing if nothing was printed
    // inside it.
    void end_quietly();
    // A line at the current depth.
    void line(const std::string &text);
    // A line at the outermost level, for the scenario's own lines.
    void top(const std::string &text);
    int depth() const { return (int)frames_.size(); }
    // Prints the lines of the calls still open, as when the process is
    // about to end inside one of them.
    void flush_headers();

private:
    struct Frame {
        std::string header;
        bool printed;
    };
    void write(int depth, const std::string &text);
    std::vector<Frame> frames_;
};

// A text as a double-quoted word: quotes, backslashes and control
// characters are escaped, so every text stays on its line.
std::string quoted(const std::string &text);
std::string quoted_or_none(const char *text);
// A file name in double quotes, backslashes as they are.
std::string quoted_path(const std::string &path);

// Splits a line into words: blanks separate them, and a word in double
// quotes may hold blanks and the escapes \" \\ \n \t. At most `limit`
// words are taken; the rest of the line is not looked at. False, with a
// message, when a quote is not closed.
bool split_words(const std::string &line, std::vector<std::string> &words, std::string &error,
                 size_t limit = (size_t)-1);

// The rest of a line after its first `count` words, as typed.
std::string rest_after_words(const std::string &line, size_t count);

// Whole-text comparison without regard to ASCII letter case.
bool same_text_nocase(const std::string &a, const std::string &b);

// A decimal 32-bit integer with an optional sign and nothing else.
bool parse_int(const std::string &text, long &value);

#endif
