// The two front ends of tobrisk-host: a scenario (a file, or standard
// input) whose lines run one after the other, and an interactive prompt.
// Both run the same commands.
#ifndef TOBRISK_HOST_RUNNER_H
#define TOBRISK_HOST_RUNNER_H

#include <string>
#include <vector>

#include "session.h"

// Runs the lines; "option" lines at the head set options before the plugin
// is loaded. Returns when the lines are done or a "quit" ends them.
void run_scenario(Session &session, const std::vector<std::string> &lines);
void run_interactive(Session &session);

#endif
