#include "transcript.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02X", c);
                out += escape;
            } else {
                out += (char)c;
            }
        }
    }
    return out + "\"";
}

std::string quoted_path(const std::string &path)
{
    return "\"" + path + "\"";
}

std::string quoted_or_none(const char *text)
{
    return text == nullptr ? "none" : quoted(text);
}

bool split_words(const std::string &line, std::vector<std::string> &words, std::string &error, size_t limit)
{
    words.clear();
    size_t at = 0;
    while (words.size() < limit) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
        if (at >= line.size()) return true;
        std::string word;
        if (line[at] == '"') {
            at++;
            bool closed = false;
            while (at < line.size()) {
                char c = line[at++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && at < line.size()) {
                    char next = line[at++];
                    word += next == 'n' ? '\n' : next == 't' ? '\t' : next;
                } else {
                    word += c;
                }
            }
            if (!closed) {
                error = "a double quote is not closed";
                return false;
            }
        } else {
            while (at < line.size() && line[at] != ' ' && line[at] != '\t') word += line[at++];
        }
        words.push_back(word);
    }
    return true;
}

std::string rest_after_words(const std::string &line, size_t count)
{
    size_t at = 0;
    for (size_t word = 0; word < count; word++) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
        if (at < line.size() && line[at] == '"') {
            for (at++; at < line.size() && line[at] != '"'; at++) {
                if (line[at] == '\\') at++;
            }
            at++;
        } else {
            while (at < line.size() && line[at] != ' ' && line[at] != '\t') at++;
        }
    }
    // One separating blank belongs to the words; the rest is the text's.
    if (at < line.size()) at++;
    return at < line.size() ? line.substr(at) : "";
}

bool same_text_nocase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size()) return false;
    for (size_t index = 0; index < a.size(); index++) {
        char x = a[index], y = b[index];
        if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool parse_int(const std::string &text, long &value)
{
    if (text.empty() || text[0] == ' ') return false;
    char *end = nullptr;
    errno = 0;
    long long wide = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') return false;
    if (wide < INT32_MIN || wide > INT32_MAX) return false;
    value = (long)wide;
    return true;
}
