// The table of tobrisk-host's commands, the dispatch of a line to its
// handler, and the help and usage texts, all built from the table.
#include "commands.h"

#include "actions.h"
#include "expect.h"
#include "handlers.h"
#include "words.h"

namespace {

Next run_help(Session &session, const Input &);

struct Command {
    const char *name;
    std::string usage;       // what follows the name
    std::string help;
    bool needs_plugin;
    Run run;
    size_t words = (size_t)-1;   // words split off; the rest is text as typed
};

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = {
        {"help", "", "lists the commands", false, run_help},
        {"quit", "", "ends the session (stop and unload are still sent)", false, run_quit},
        {"plugin", "DIR", "loads the plugin folder DIR when none is loaded", false, run_plugin},
        {"load", "", "sends \"load\"", true, run_load},
        {"start", "", "sends \"start\"", true, run_start},
        {"stop", "", "sends \"stop\"", true, run_stop},
        {"unload", "", "sends \"unload\"", true, run_unload},
        {"reload", "", "stops and unloads the plugin, then loads and starts it again", true, run_reload},
        {"tcl", "SCRIPT", "evaluates SCRIPT in the plugin's interpreter", true, run_tcl, 1},
        {"say", "TEXT", "types TEXT into a message window (so does a line that begins with /)", false, run_say, 1},
        {"wait", "MS", "runs the message loop for MS milliseconds: timers and windows", false, run_wait},
        {"timeout", "S", "from here on, a plugin call running longer than S seconds is a hang (0: never)", false,
         run_timeout},
        {"button", "N ...", "the next message boxes answer with these button codes (1 OK, 2 Cancel, 6 Yes, 7 No)",
         false, run_button},
        {"list", "", "prints the contact list's entries", false, run_list},
        {"click", "ID", "double-clicks the contact-list entry ID", true, run_click},
        {"connection", "MEDIUM NAME [STATUS [DISPLAY]]", "adds a connection, without telling anyone", false,
         run_model_line},
        {"contact", "MEDIUM CONNECTION NAME [DISPLAY [STATUS [SECTION [GROUP [NOTE]]]]]", "adds a contact", false,
         run_model_line},
        {"fixture", "FILE", "adds the connections and contacts of FILE", false, run_fixture},
        {"connections", "", "prints the connections", false, run_connections},
        {"contacts", "", "prints the contacts", false, run_contacts},
        {"connect", "MEDIUM NAME", "brings a connection online and tells every subscription", true, run_connect},
        {"disconnect", "MEDIUM NAME", "takes a connection offline and tells every subscription", true,
         run_disconnect},
        {"alerts", "", "prints the open tray alerts", false, run_alerts},
        {"alert", "click|close N", "clicks the link of alert N, or closes it", true, run_alert},
        {"http", "list|hold|auto|deliver N|deliver all",
         "shows waiting requests; holds them until delivered; delivers them", true, run_http},
        {"prefs", "show [PAGE]|hide [PAGE]|action N", "drives the preferences page", true, run_prefs},
        {"expect", expect_usage(), "checks what happened; a failed check is reported with its line number", false,
         run_expect, 3},
        {"option", "NAME VALUE", "at the head of a scenario: " + scenario_option_usage(), false, run_option},
    };
    return table;
}

const Command *find_command(const std::string &name)
{
    for (const Command &command : commands()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

std::string usage_of(const Command &command)
{
    return std::string(command.name) + (command.usage.empty() ? "" : " ") + command.usage;
}

Next run_help(Session &session, const Input &)
{
    for (const std::string &line : command_help()) session.out.line(line);
    return Next::Go;
}

} // namespace

std::string command_usage(const std::string &name) { return usage_of(*find_command(name)); }

std::vector<std::string> command_help()
{
    std::vector<std::string> lines;
    for (const Command &command : commands()) lines.push_back(usage_of(command) + "\n    " + command.help);
    return lines;
}

Next execute(Session &session, const std::string &line, int number)
{
    if (line[0] == '/') {
        type_line(session, line);
        return Next::Go;
    }
    std::string name = line.substr(0, line.find_first_of(" \t"));
    const Command *command = find_command(name);
    if (command == nullptr) {
        session.error("unknown command " + quoted(name) + " (help lists the commands)");
        return Next::Go;
    }
    Input input{line, {}, number, usage_of(*command)};
    std::string problem;
    if (!split_words(line, input.words, problem, command->words)) {
        session.error(problem);
        return Next::Go;
    }
    if (command->needs_plugin && !session.has_plugin()) {
        session.error("no plugin is loaded (plugin DIR loads one)");
        return Next::Go;
    }
    return command->run(session, input);
}
