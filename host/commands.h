// The commands of scenarios and the prompt: one table gives each command's
// name, usage, help and handler, and serves both the dispatch and the help.
#ifndef TOBRISK_HOST_COMMANDS_H
#define TOBRISK_HOST_COMMANDS_H

#include <string>
#include <vector>

#include "session.h"

// One line of input: its text, its words and its number in the scenario.
struct Input {
    std::string text;
    std::vector<std::string> words;
    int number;
    // The words from `count` on, as typed.
    std::string rest(size_t count) const;
};

enum class Next { Go, Quit };

// Runs one line: a command, or a line typed into a message window.
Next execute(Session &session, const std::string &line, int number);

// The help text of every command, as `help` prints it.
std::vector<std::string> command_help();

// "name usage" of a command of the table, as help and usage errors show it.
std::string command_usage(const std::string &name);
// Reports the usage of the input's command as an error; false.
bool usage_error(Session &session, const Input &input);
// Reads word `index` as an integer; reports the usage when it is not one.
bool int_word(Session &session, const Input &input, size_t index, long &value);
// The number of words lies between `least` and `most`; else the usage.
bool count_between(Session &session, const Input &input, size_t least, size_t most);

// The handlers of the table (handlers.cpp, expect.cpp).
using Run = Next (*)(Session &, const Input &);
Next run_help(Session &, const Input &);
Next run_quit(Session &, const Input &);
Next run_plugin(Session &, const Input &);
Next run_load(Session &, const Input &);
Next run_start(Session &, const Input &);
Next run_stop(Session &, const Input &);
Next run_unload(Session &, const Input &);
Next run_reload(Session &, const Input &);
Next run_tcl(Session &, const Input &);
Next run_say(Session &, const Input &);
Next run_wait(Session &, const Input &);
Next run_timeout(Session &, const Input &);
Next run_button(Session &, const Input &);
Next run_list(Session &, const Input &);
Next run_click(Session &, const Input &);
Next run_model_line(Session &, const Input &);
Next run_fixture(Session &, const Input &);
Next run_connections(Session &, const Input &);
Next run_contacts(Session &, const Input &);
Next run_connect(Session &, const Input &);
Next run_disconnect(Session &, const Input &);
Next run_alerts(Session &, const Input &);
Next run_alert(Session &, const Input &);
Next run_http(Session &, const Input &);
Next run_prefs(Session &, const Input &);
Next run_expect(Session &, const Input &);
Next run_option(Session &, const Input &);

#endif
