// The commands of scenarios and the prompt: one table gives each command's
// name, usage, help and handler, and serves both the dispatch and the help.
#ifndef TOBRISK_HOST_COMMANDS_H
#define TOBRISK_HOST_COMMANDS_H

#include <string>
#include <vector>

#include "input.h"
#include "session.h"

// Runs one line: a command, or a line typed into a message window.
Next execute(Session &session, const std::string &line, int number);

// The help text of every command, as `help` prints it.
std::vector<std::string> command_help();

// "name usage" of a command of the table, as help and usage errors show it.
std::string command_usage(const std::string &name);

#endif
