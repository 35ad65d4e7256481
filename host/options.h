// The options of a run. One table names each option once, with its value,
// where it may be given (the command line's --NAME VALUE, a scenario's
// `option NAME VALUE` at its head) and its help; the command line's
// parser, the scenario's option lines and both usage texts read it.
#ifndef TOBRISK_HOST_OPTIONS_H
#define TOBRISK_HOST_OPTIONS_H

#include <string>
#include <vector>

// The build's plugin folder, the default.
#define DEFAULT_PLUGIN_FOLDER "build\\dist\\Tobrisk"

// A path as the program uses it, and as the user wrote it for messages.
struct PathOption {
    std::string path, shown;
    bool empty() const { return path.empty(); }
};

struct Options {
    PathOption plugin = {DEFAULT_PLUGIN_FOLDER, DEFAULT_PLUGIN_FOLDER};
    PathOption scripts, fixture, www, profile;
    std::string base_dir;            // what paths in scenario lines are relative to
    int timeout_seconds = -1;        // -1: the front end's default
    bool gui = false;
    bool boxes_allowed = false;      // message boxes need no `expect box`
    bool interactive = true;
    std::string scenario;            // a file, or "-" for standard input
    std::string test_folder;         // --test: a folder of scenarios
    // Which of the above the command line gave; scenario options do not
    // override those.
    std::vector<std::string> given;
    bool was_given(const std::string &name) const;
    // A path from a scenario line: relative ones start at base_dir.
    PathOption resolve(const std::string &path) const;
};

// The options, in the order of the table in options.cpp.
enum OptionIndex {
    OPTION_PLUGIN,
    OPTION_SCRIPTS,
    OPTION_FIXTURE,
    OPTION_WWW,
    OPTION_PROFILE,
    OPTION_TIMEOUT,
    OPTION_GUI,
    OPTION_TEST,
    OPTION_BOXES,
    OPTION_COUNT
};

// Where an option may be given.
enum OptionPlace { OnCommandLine = 1, InScenario = 2 };

struct OptionInfo {
    OptionIndex index;
    const char *name;
    const char *value;   // what the usage calls its value; "" for a flag
    int places;          // OptionPlace bits
};

// The option of that name that may be given there; nullptr when none.
const OptionInfo *find_option(const std::string &name, OptionPlace place);
// The option a command line's word "--NAME" names; nullptr when none.
const OptionInfo *command_line_option(const std::string &word);
// Sets an option from its value; false with the message in `problem`.
bool set_option(Options &options, const OptionInfo &option, const std::string &value, std::string &problem);
// What a command line that ends where the option's value should follow says.
std::string missing_value(const OptionInfo &option);

// The command line's options, as its usage lists them.
std::string command_line_usage();
// "scripts DIR, fixture FILE, ...": the options a scenario may set.
std::string scenario_option_usage();
// "scripts, fixture, ...": their names.
std::string scenario_option_names();

#endif
