// What the test programs share: their plugin folders, child processes, the
// plugin's start-up and its GUID.
#ifndef TOBRISK_TESTS_SUPPORT_H
#define TOBRISK_TESTS_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "messenger/messenger.h"

// The plugin folder a test program was given as --fixture=NAME=FOLDER.
std::string fixture(const std::string &name);

// How many times slower than usual this machine runs the tests: 15 in the
// virtual machine of scripts/vm (CMake sets TOBRISK_TEST_SLOWER there), 1
// elsewhere. Long runs count less there where a count only adds confidence.
int machine_slower();
void set_fixture(const std::string &name, const std::string &folder);

// A child mode: runs in a process of its own when the program is started
// with --child=NAME[:ARGUMENT] and returns the process's exit code.
using ChildMain = int (*)(const std::string &argument);
struct ChildRegistration {
    ChildRegistration(const char *name, ChildMain main);
};
int run_child_mode(const std::string &name, const std::string &argument);

// Checks inside a child mode: a failure is printed for the parent to show
// and counted; the child returns child_failures() as its exit code.
void child_check(bool ok, const char *what, int line);
int child_failures();
#define CHECK(condition) child_check((condition), #condition, __LINE__)

// Runs a child mode of this program and returns its exit code and output.
messenger::ChildResult run_child(const std::string &name, const std::string &argument = "",
                                 DWORD timeout_ms = 60000);

// Writes the plugin folder's init.tcl; an empty text removes the file.
void write_init(const std::string &folder, const std::string &text);

// The init.tcl that defines both procedures and nothing else.
extern const char *const MinimalInit;

// The GUID the plugin gives itself and sends with every service call.
extern const char *const PluginGuid;

// Loads the library of the fixture "plugin" with MinimalInit as its
// init.tcl and sends nothing; false when the library cannot be loaded. With
// StandardHandles::Kept the process keeps the standard handles that the
// host library drops, as a host started with redirected output does, so
// that Tcl runs threads for its standard channels too.
enum class StandardHandles { Dropped, Kept };
bool load_plugin_fixture(StandardHandles handles = StandardHandles::Dropped);

// load_plugin_fixture, then "load" and "start"; false, with nothing sent,
// when the library cannot be loaded.
bool load_and_start_plugin();

// Where a field of a list entry's record lies, by name.
#define LIST(field) offsetof(ListEntryRecord, field)

// The bytes of a record as the host would receive them.
template <typename Record> std::vector<uint8_t> bytes_of(const Record &record)
{
    const uint8_t *bytes = (const uint8_t *)&record;
    return std::vector<uint8_t>(bytes, bytes + sizeof record);
}

#endif
