// What the test programs share: plugin folders, child modes and checks,
// the plugin's start-up.
#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {
std::map<std::string, std::string> &folders()
{
    static std::map<std::string, std::string> table;
    return table;
}

std::map<std::string, ChildMain> &children()
{
    static std::map<std::string, ChildMain> table;
    return table;
}

int g_child_failures = 0;
} // namespace

void child_check(bool ok, const char *what, int line)
{
    if (ok) return;
    std::printf("line %d: %s\n", line, what);
    g_child_failures++;
}

int child_failures() { return g_child_failures; }

const char *const MinimalInit =
    "namespace eval ::tobrisk {}\n"
    "proc ::tobrisk::startup {} {}\n"
    "proc ::tobrisk::shutdown {} {}\n";

int machine_slower()
{
    char value[16] = "";
    DWORD length = GetEnvironmentVariableA("TOBRISK_TEST_SLOWER", value, sizeof value);
    int slower = length > 0 && length < sizeof value ? std::atoi(value) : 1;
    return slower > 1 ? slower : 1;
}

std::string fixture(const std::string &name) { return folders()[name]; }
void set_fixture(const std::string &name, const std::string &folder) { folders()[name] = folder; }

ChildRegistration::ChildRegistration(const char *name, ChildMain main) { children()[name] = main; }

int run_child_mode(const std::string &name, const std::string &argument)
{
    auto found = children().find(name);
    if (found == children().end()) return 98;
    return found->second(argument);
}

messenger::ChildResult run_child(const std::string &name, const std::string &argument, DWORD timeout_ms)
{
    std::string arguments = "--child=" + name + (argument.empty() ? "" : ":" + argument);
    for (const auto &entry : folders()) arguments += " \"--fixture=" + entry.first + "=" + entry.second + "\"";
    return messenger::run_self(arguments, timeout_ms);
}

void write_init(const std::string &folder, const std::string &text)
{
    std::string path = folder + "\\init.tcl";
    if (text.empty()) {
        messenger::remove_file(path);
        return;
    }
    messenger::write_file(path, text);
}

const char *const PluginGuid = "7C3A2F90-4D1B-11d7-9E55-00A0C94B6D21";

bool load_plugin_fixture(StandardHandles handles)
{
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE kept[3];
    for (int index = 0; index < 3; index++) kept[index] = GetStdHandle(kinds[index]);
    if (!messenger::load_plugin(fixture("plugin"))) return false;
    if (handles == StandardHandles::Kept) {
        for (int index = 0; index < 3; index++) SetStdHandle(kinds[index], kept[index]);
    }
    write_init(fixture("plugin"), MinimalInit);
    return true;
}

bool load_and_start_plugin()
{
    if (!load_plugin_fixture()) return false;
    messenger::load_and_start();
    return true;
}
