// What tobrisk-host prints, written line by line as it happens.
#include "transcript.h"

#include <cstdio>

void Transcript::begin(const std::string &header)
{
    frames_.push_back({header, false});
}

void Transcript::end(const std::string &result)
{
    if (frames_.empty()) return;
    Frame frame = frames_.back();
    frames_.pop_back();
    std::string arrow = result.empty() ? "" : " -> " + result;
    if (!frame.printed) {
        flush_headers();
        write(depth(), frame.header + arrow);
    } else if (!arrow.empty()) {
        write(depth() + 1, arrow.substr(1));
    }
}

void Transcript::end_quietly()
{
    if (!frames_.empty()) frames_.pop_back();
}

void Transcript::line(const std::string &text)
{
    flush_headers();
    write(depth(), text);
}

void Transcript::top(const std::string &text)
{
    write(0, text);
}

void Transcript::flush_headers()
{
    for (size_t index = 0; index < frames_.size(); index++) {
        if (frames_[index].printed) continue;
        write((int)index, frames_[index].header);
        frames_[index].printed = true;
    }
}

// Every line is flushed at once: when the plugin takes the process down,
// everything before it has been written.
void Transcript::write(int depth, const std::string &text)
{
    std::string indented(2 * (size_t)depth, ' ');
    indented += text;
    indented += '\n';
    std::fwrite(indented.data(), 1, indented.size(), stdout);
    std::fflush(stdout);
}
