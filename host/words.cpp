// Words of tobrisk-host's lines: texts quoted for the transcript, lines
// split into words, and decimal numbers.
#include "words.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::string unescaped(const std::string &text)
{
    std::string out;
    for (size_t at = 0; at < text.size(); at++) {
        char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (text[at] != '\\' || next == '\0') {
            out += text[at];
            continue;
        }
        switch (next) {
        case 'n': out += '\n'; at++; break;
        case 'r': out += '\r'; at++; break;
        case 't': out += '\t'; at++; break;
        case '"': out += '"'; at++; break;
        case '\\': out += '\\'; at++; break;
        case 'x': {
            int high = at + 2 < text.size() ? hex_digit(text[at + 2]) : -1;
            int low = at + 3 < text.size() ? hex_digit(text[at + 3]) : -1;
            if (high < 0 || low < 0) {
                out += text[at];
                break;
            }
            out += (char)(high * 16 + low);
            at += 3;
            break;
        }
        default: out += text[at];
        }
    }
    return out;
}

std::string tcl_word(const std::string &text)
{
    if (text.empty()) return "{}";
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c != '\0' && std::strchr("{}[]$\"\\; \t\r", c) != nullptr) out += '\\';
        out += c;
    }
    return out;
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

bool starts_with_nocase(const std::string &text, const std::string &prefix)
{
    return text.size() >= prefix.size() && same_text_nocase(text.substr(0, prefix.size()), prefix);
}

std::string trimmed(const std::string &line)
{
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}
