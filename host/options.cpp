// The table of tobrisk-host's options and what reads it: setting an option
// from its value, and the usage texts.
#include "options.h"

#include "files.h"
#include "words.h"

namespace {

struct OptionRow {
    OptionInfo info;
    PathOption Options::*path;   // where a path option keeps its value; else nullptr
    const char *needs;           // what the command line says a missing value should be
    const char *help;            // the usage's lines for it, "\n" between them
};

constexpr OptionRow Table[] = {
    {{OPTION_PLUGIN, "plugin", "DIR", OnCommandLine}, &Options::plugin, "a value",
     "the plugin folder (default " DEFAULT_PLUGIN_FOLDER ", or else\n"
     "the folder Tobrisk beside tobrisk-host.exe)"},
    {{OPTION_SCRIPTS, "scripts", "DIR", OnCommandLine | InScenario}, &Options::scripts, "a value",
     "the folder of scripts that the default init.tcl sources"},
    {{OPTION_FIXTURE, "fixture", "FILE", OnCommandLine | InScenario}, &Options::fixture, "a value",
     "connections and contacts the messenger starts with"},
    {{OPTION_WWW, "www", "DIR", OnCommandLine | InScenario}, &Options::www, "a value",
     "the folder that answers http:// requests"},
    {{OPTION_PROFILE, "profile", "DIR", OnCommandLine | InScenario}, &Options::profile, "a value",
     "the profile folder of the six directories (default: a\n"
     "scratch folder that is removed at the end)"},
    {{OPTION_TIMEOUT, "timeout", "S", OnCommandLine}, nullptr, "a number of seconds",
     "a plugin call running longer than S seconds is a hang\n"
     "(default 30 for scenarios, none at the prompt or with\n"
     "--gui; 0: none)"},
    {{OPTION_GUI, "gui", "", OnCommandLine}, nullptr, "",
     "real message boxes, links open, the preferences window shows"},
    {{OPTION_TEST, "test", "DIR", OnCommandLine}, nullptr, "a folder",
     "runs every scenario of DIR (*.scenario, */scenario.txt),\n"
     "one line each and \"N passed, M failed\"; 0 if all passed"},
    {{OPTION_BOXES, "boxes", "allowed", InScenario}, nullptr, "", ""},
};

constexpr bool rows_in_order()
{
    for (int index = 0; index < OPTION_COUNT; index++) {
        if (Table[index].info.index != index) return false;
    }
    return sizeof Table / sizeof Table[0] == OPTION_COUNT;
}
static_assert(rows_in_order(), "one row per option, in the order of OptionIndex");

const OptionRow &row_of(const OptionInfo &option) { return Table[option.index]; }

// The options a place takes, as "NAME VALUE" or "NAME", joined by ", ".
std::string listed(OptionPlace place, bool with_values)
{
    std::string list;
    for (const OptionRow &row : Table) {
        if (!(row.info.places & place)) continue;
        list += (list.empty() ? "" : ", ") + std::string(row.info.name);
        if (with_values && row.info.value[0] != '\0') list += std::string(" ") + row.info.value;
    }
    return list;
}

} // namespace

bool Options::was_given(const std::string &name) const
{
    for (const std::string &option : given) {
        if (option == name) return true;
    }
    return false;
}

PathOption Options::resolve(const std::string &path) const
{
    if (is_absolute(path) || base_dir.empty()) return {path, path};
    return {base_dir + "\\" + path, path};
}

const OptionInfo *find_option(const std::string &name, OptionPlace place)
{
    for (const OptionRow &row : Table) {
        if ((row.info.places & place) && name == row.info.name) return &row.info;
    }
    return nullptr;
}

const OptionInfo *command_line_option(const std::string &word)
{
    return word.rfind("--", 0) == 0 ? find_option(word.substr(2), OnCommandLine) : nullptr;
}

std::string missing_value(const OptionInfo &option)
{
    return std::string("--") + option.name + " needs " + row_of(option).needs;
}

bool set_option(Options &options, const OptionInfo &option, const std::string &value, std::string &problem)
{
    if (row_of(option).path != nullptr) {
        options.*row_of(option).path = options.resolve(value);
        return true;
    }
    switch (option.index) {
    case OPTION_TIMEOUT: {
        long seconds;
        if (!parse_int(value, seconds) || seconds < 0) {
            problem = missing_value(option);
            return false;
        }
        options.timeout_seconds = (int)seconds;
        return true;
    }
    case OPTION_GUI:
        options.gui = true;
        return true;
    case OPTION_TEST:
        options.test_folder = value;
        return true;
    case OPTION_BOXES:
        if (value != "allowed" && value != "expected") {
            problem = "option boxes takes allowed or expected";
            return false;
        }
        options.boxes_allowed = value == "allowed";
        return true;
    default:
        break;
    }
    return false;
}

std::string command_line_usage()
{
    const size_t HelpColumn = 18;
    std::string usage;
    for (const OptionRow &row : Table) {
        if (!(row.info.places & OnCommandLine)) continue;
        std::string head = std::string("  --") + row.info.name;
        if (row.info.value[0] != '\0') head += std::string(" ") + row.info.value;
        head += std::string(head.size() < HelpColumn ? HelpColumn - head.size() : 1, ' ');
        std::string help = row.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
            help.insert(at + 1, HelpColumn, ' ');
        }
        usage += head + help + "\n";
    }
    return usage;
}

std::string scenario_option_usage() { return listed(InScenario, true); }
std::string scenario_option_names() { return listed(InScenario, false); }
