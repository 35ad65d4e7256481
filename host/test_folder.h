// `tobrisk-host --test DIR`: runs each scenario of a folder in a run of its
// own and prints one line per scenario and "N passed, M failed".
#ifndef TOBRISK_HOST_TEST_FOLDER_H
#define TOBRISK_HOST_TEST_FOLDER_H

#include <string>
#include <vector>

// `arguments` are the options every run gets. Returns the exit status: 0
// when every scenario passed, 1 when one failed, 2 when there were none.
int run_test_folder(const std::string &folder, const std::vector<std::string> &arguments);

#endif
