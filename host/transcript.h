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

#endif
