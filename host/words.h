// Words of tobrisk-host's lines: texts quoted for the transcript, lines
// split into words, and decimal numbers.
#ifndef TOBRISK_HOST_WORDS_H
#define TOBRISK_HOST_WORDS_H

#include <string>
#include <vector>

// A text as a double-quoted word: quotes, backslashes and control
// characters are escaped, so every text stays on its line.
std::string quoted(const std::string &text);
std::string quoted_or_none(const char *text);
// A file name in double quotes, backslashes as they are.
std::string quoted_path(const std::string &path);

// The reverse of quoted() without the quotes: \n \r \t \" \\ and \xHH
// become the characters they stand for; any other backslash stays as typed.
std::string unescaped(const std::string &text);

// A text as one word of a Tcl script: every character that Tcl treats
// specially is preceded by a backslash.
std::string tcl_word(const std::string &text);

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
bool starts_with_nocase(const std::string &text, const std::string &prefix);

// A decimal 32-bit integer with an optional sign and nothing else.
bool parse_int(const std::string &text, long &value);

// The line without the blanks and carriage return around it.
std::string trimmed(const std::string &line);

#endif
