// The few file-system questions tobrisk-host asks of paths. Paths are
// UTF-8 throughout the program and reach Windows through its wide calls,
// so that folders named in any script work whatever the ANSI code page.
#ifndef TOBRISK_HOST_FILES_H
#define TOBRISK_HOST_FILES_H

#include <string>

bool is_directory(const std::string &path);
bool is_file(const std::string &path);
// Makes a folder; true when it is there afterwards.
bool make_directory(const std::string &path);
// The absolute form of a path; the path itself when Windows cannot say.
std::string full_path(const std::string &path);
bool is_absolute(const std::string &path);
// The folder part of a path, "" when it has none.
std::string folder_of(const std::string &path);
// A path of an existing file or folder in the ANSI code page, as the
// messenger, an ANSI program, hands its directories over: where the code
// page lacks a letter of it, its short form, which Windows names in ASCII.
std::string ansi_path(const std::string &path);

#endif
