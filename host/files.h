// The few file-system questions tobrisk-host asks of paths.
#ifndef TOBRISK_HOST_FILES_H
#define TOBRISK_HOST_FILES_H

#include <string>

bool is_directory(const std::string &path);
bool is_file(const std::string &path);
// The absolute form of a path; the path itself when Windows cannot say.
std::string full_path(const std::string &path);
bool is_absolute(const std::string &path);
// The folder part of a path, "" when it has none.
std::string folder_of(const std::string &path);

#endif
