// Measures what the plugin adds on top of Tcl itself, side by side in one
// run: its start-up and stop against a bare Tcl and Tk start-up done here,
// host calls against a plain object command in the same `time` loop, event
// dispatch and the chat alias against this program evaluating the same
// script itself, and the plugin's size and memory. Prints a table of the
// median, minimum and maximum over repeated rounds and each row's ratio to
// its baseline.
//
//   tobrisk-bench.exe --plugin=FOLDER [--init=FILE] [--quick] [--rounds=N]
//
// FOLDER is a plugin folder with its runtime whose init.tcl the benchmark
// may overwrite; FILE is the shipped init.tcl, whose start-up is measured
// as well when it is given. --quick runs one round with small counts.
// The exit code is 0 when every measured path did its work, whatever the
// times: no goal decides it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bare_tcl.h"
#include "fast_host.h"
#include "measure.h"
#include "report.h"
#include "testhost/testhost.h"

namespace {

struct Options {
    std::string folder;
    std::string shipped_init;   // the shipped init.tcl's file, or empty
    bool quick = false;
    int rounds = 0;        // 0: the default of the run's kind
    std::string child;     // a fresh-process measurement: "bare" or "plugin"
};

// How much each part does per round.
struct Counts {
    int rounds;
    int fresh_processes;   // of each kind
    long plain_calls;      // per `time` loop of a cheap command
    long list_calls;
    long enumerations;
    long events;
    long alias_lines;
};

Counts counts_for(const Options &options)
{
    Counts counts = options.quick ? Counts{1, 1, 200, 100, 20, 200, 200}
                                  : Counts{11, 5, 100000, 20000, 2000, 20000, 20000};
    if (options.rounds > 0) counts.rounds = options.rounds;
    return counts;
}

int g_failures = 0;

void failure(const std::string &what)
{
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    g_failures++;
}

void check(bool ok, const std::string &what)
{
    if (!ok) failure(what);
}

// --- The plugin's init.tcl ----------------------------------------------------

const char *const MinimalInit =
    "namespace eval ::tobrisk {}\n"
    "proc ::tobrisk::startup {} { set ::bench_started 1 }\n"
    "proc ::tobrisk::shutdown {} {}\n";

std::string g_shipped_init;

std::string read_file(const std::string &path)
{
    std::string text;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

std::string init_path(const Options &options) { return options.folder + "\\init.tcl"; }

void use_init(const Options &options, const std::string &text)
{
    check(testhost::write_file(init_path(options), text), "writing " + init_path(options));
}

// --- The plugin's lifecycle -----------------------------------------------------

LoadRecord g_load_record;

double timed_load()
{
    fast_host::forget_registrations();
    g_load_record = fast_host::load_record();
    double started = microseconds_now();
    testhost::plugin_main("load", &g_load_record);
    return microseconds_now() - started;
}

// "start" hands the interpreter over as the alias's userData; the stubs
// of the library loaded this time are taken from it.
bool start_and_attach()
{
    testhost::plugin_main("start", nullptr);
    auto interp = (Tcl_Interp *)fast_host::registered().alias_userData;
    if (!stubs_attach(interp)) {
        failure("no interpreter after \"start\"");
        return false;
    }
    return true;
}

double timed_stop()
{
    double started = microseconds_now();
    testhost::plugin_main("stop", nullptr);
    double elapsed = microseconds_now() - started;
    testhost::plugin_main("unload", nullptr);
    return elapsed;
}

std::string eval_result(const char *script)
{
    int code = stubs_eval(script);
    std::string result = stubs_result();
    return code == 0 ? result : "error: " + result;
}

// --- Start-up and stop --------------------------------------------------------

double ms(double microseconds) { return microseconds / 1000.0; }

// Tk leaves work for the event loop after start-up (it makes the withdrawn
// main window's frame then). The messenger's message loop does it soon
// after "load"; here it is done before either teardown is timed, so that
// neither of them does it.
void run_deferred_work() { stubs_eval("update"); }

struct StartupRows {
    Row *bare_start, *minimal_load, *shipped_load;
    Row *bare_stop, *plugin_stop;
};

void bare_round(const Options &options, StartupRows &rows, bool measured)
{
    BareTcl bare;
    std::string error;
    double started = microseconds_now();
    bool ok = bare_start(options.folder, bare, error);
    double start_time = microseconds_now() - started;
    check(ok, "bare start-up: " + error);
    if (ok) run_deferred_work();
    started = microseconds_now();
    bare_stop(bare);
    double stop_time = microseconds_now() - started;
    if (!measured) return;
    rows.bare_start->add(ms(start_time));
    rows.bare_stop->add(ms(stop_time));
}

// `started_check` is a script whose result is 1 once ::tobrisk::startup
// has run.
void plugin_round(const Options &options, const std::string &init, const char *started_check, Row *load_row,
                  Row *stop_row)
{
    use_init(options, init);
    double load_time = timed_load();
    if (start_and_attach()) {
        check(eval_result(started_check) == "1", "::tobrisk::startup did not run");
        run_deferred_work();
    }
    double stop_time = timed_stop();
    if (load_row == nullptr) return;
    load_row->add(ms(load_time));
    if (stop_row != nullptr) stop_row->add(ms(stop_time));
}

// Bare and plugin start-ups take turns, each round in another order, so
// that neither always comes first after the other's teardown.
void measure_startup(const Options &options, const Counts &counts, Table &table)
{
    table.section("Start-up in this process, repeated (ms)");
    StartupRows rows;
    rows.bare_start = &table.baseline("bare: Tcl_Init, package require Tk, wm withdraw", "ms");
    rows.minimal_load = &table.row("\"load\" to ::tobrisk::startup, minimal init.tcl", "ms");
    rows.minimal_load->goal_ratio(1.05);
    rows.shipped_load =
        g_shipped_init.empty() ? nullptr : &table.row("\"load\" to ::tobrisk::startup, shipped init.tcl", "ms");
    table.section("Stop in this process (ms)");
    rows.bare_stop = &table.baseline("bare: Tcl_DeleteInterp, Tcl_Finalize, FreeLibrary", "ms");
    rows.plugin_stop = &table.row("\"stop\", minimal init.tcl", "ms");

    const char *minimal_check = "set ::bench_started";
    const char *shipped_check = "set ::tobrisk::started";
    bare_round(options, rows, false);
    plugin_round(options, MinimalInit, minimal_check, nullptr, nullptr);
    for (int round = 0; round < counts.rounds; round++) {
        for (int turn = 0; turn < 3; turn++) {
            switch ((round + turn) % 3) {
            case 0: bare_round(options, rows, true); break;
            case 1: plugin_round(options, MinimalInit, minimal_check, rows.minimal_load, rows.plugin_stop); break;
            case 2:
                if (rows.shipped_load) plugin_round(options, g_shipped_init, shipped_check, rows.shipped_load, nullptr);
                break;
            }
        }
    }
}

// --- Fresh processes: the first start-up and the memory it takes ---------------

struct FreshFigures {
    double start_ms;
    long private_bytes;
    long working_set;
};

void print_fresh(double start_us, long private_before, long working_before)
{
    std::printf("FRESH %.3f %ld %ld\n", ms(start_us), private_bytes() - private_before,
                working_set_bytes() - working_before);
    std::fflush(stdout);
}

// The memory of "load" counts from before the plugin's own library was
// loaded.
int fresh_child(const Options &options)
{
    testhost::drop_standard_handles();
    long private_before = private_bytes();
    long working_before = working_set_bytes();
    if (options.child == "bare") {
        BareTcl bare;
        std::string error;
        double started = microseconds_now();
        bool ok = bare_start(options.folder, bare, error);
        print_fresh(microseconds_now() - started, private_before, working_before);
        bare_stop(bare);
        return ok ? 0 : 1;
    }
    if (!testhost::load_plugin(options.folder, true, false)) return 1;
    double load_time = timed_load();
    print_fresh(load_time, private_before, working_before);
    bool ok = start_and_attach() && eval_result("set ::bench_started") == "1";
    timed_stop();
    return ok ? 0 : 1;
}

bool run_fresh(const Options &options, const char *kind, FreshFigures &figures)
{
    std::string arguments = "--child=" + std::string(kind) + " \"--plugin=" + options.folder + "\"";
    testhost::ChildResult child = testhost::run_self(arguments, 120000);
    const char *line = std::strstr(child.output.c_str(), "FRESH ");
    if (child.exit_code != 0 || line == nullptr ||
        std::sscanf(line, "FRESH %lf %ld %ld", &figures.start_ms, &figures.private_bytes, &figures.working_set) != 3) {
        failure(std::string("fresh-process start-up, ") + kind + ": exit code " + std::to_string(child.exit_code) +
                ", output: " + child.output);
        return false;
    }
    return true;
}

void measure_fresh_processes(const Options &options, const Counts &counts, Table &table)
{
    use_init(options, MinimalInit);
    table.section("First start-up in a fresh process, minimal init.tcl (ms)");
    Row &bare_time = table.baseline("bare Tcl and Tk", "ms");
    Row &load_time = table.row("\"load\"", "ms");
    table.section("Private memory that the first start-up takes (KiB)");
    Row &bare_memory = table.baseline("bare Tcl and Tk", "KiB");
    Row &load_memory = table.row("\"load\", counted from before Tobrisk.dll is loaded", "KiB");
    Row &added = table.figure("what \"load\" adds on top of bare Tcl and Tk", "KiB");
    added.goal_below(1024);
    Row &added_working = table.figure("the same in working set", "KiB");
    for (int index = 0; index < counts.fresh_processes; index++) {
        FreshFigures bare, plugin;
        if (!run_fresh(options, "bare", bare) || !run_fresh(options, "plugin", plugin)) return;
        bare_time.add(bare.start_ms);
        load_time.add(plugin.start_ms);
        bare_memory.add(bare.private_bytes / 1024.0);
        load_memory.add(plugin.private_bytes / 1024.0);
        added.add((plugin.private_bytes - bare.private_bytes) / 1024.0);
        added_working.add((plugin.working_set - bare.working_set) / 1024.0);
    }
}

// --- Calls from scripts ------------------------------------------------------------

// Microseconds per iteration of `time {SCRIPT} COUNT` in the plugin's
// interpreter.
double time_loop(const std::string &script, long count)
{
    std::string loop = "lindex [time {" + script + "} " + std::to_string(count) + "] 0";
    std::string result = eval_result(loop.c_str());
    char *end = nullptr;
    double value = std::strtod(result.c_str(), &end);
    if (end == result.c_str()) failure(script + ": " + result);
    return value;
}

const char *const TenKeyEntry =
    "vellumar listAddEntry {section_id 1 parent_id 2 previous_id 3 group 0 selectable 1 expanded 0 "
    "text {A bookmark} tooltip {Opens the page} real_name bookmark callback {open_bookmark 7}}";
const char *const Enumeration = "vellumar connectionEnumerate all";

void check_call_results()
{
    check(eval_result("vellumar messageSend m 1 t hi") == "0", "messageSend answers 0");
    check(eval_result("vellumar versionRequest") == fast_host::VersionText, "versionRequest answers the version");
    check(std::atoi(eval_result(TenKeyEntry).c_str()) > 0, "listAddEntry answers an entry id");
    check(eval_result((std::string("llength [") + Enumeration + "]").c_str()) ==
              std::to_string(fast_host::ConnectionCount),
          "connectionEnumerate lists every connection");
}

void measure_calls(const Counts &counts, Table &table)
{
    check_call_results();
    table.section("Calls from a script, one `time {...} N` loop (us per call)");
    Row &build = table.baseline("tobrisk build", "us");
    Row &message = table.row("vellumar messageSend m 1 t hi", "us");
    Row &version = table.row("vellumar versionRequest", "us");
    Row &entry = table.row("vellumar listAddEntry, 10 keys", "us");
    Row &enumeration = table.row("vellumar connectionEnumerate, 100 entries", "us");
    for (int round = 0; round < counts.rounds; round++) {
        build.add(time_loop("tobrisk build", counts.plain_calls));
        message.add(time_loop("vellumar messageSend m 1 t hi", counts.plain_calls));
        version.add(time_loop("vellumar versionRequest", counts.plain_calls));
        entry.add(time_loop(TenKeyEntry, counts.list_calls));
        enumeration.add(time_loop(Enumeration, counts.enumerations));
    }
}

// --- Events and the chat alias -----------------------------------------------

// A subscriber as a script would write it: the subscription calls a proc
// that reads the event.
const char *const Subscriber =
    "proc on_connection_change {} {\n"
    "    global event\n"
    "    incr ::changes\n"
    "    set ::last \"$event(connection_id) $event(name) $event(medium) $event(status)\"\n"
    "}\n"
    "set ::changes 0\n";
const char *const SubscribedScript = "on_connection_change";

template <typename Operation> double microseconds_each(long count, Operation operation)
{
    double started = microseconds_now();
    for (long index = 0; index < count; index++) operation();
    return (microseconds_now() - started) / (double)count;
}

// The baseline evaluates the subscribed script with the array filled in
// once beforehand; the plugin fills it in and removes it for every event,
// and so does the third row, here with Tcl's calls and nothing else: the
// least that an event published the plugin's way can cost.
void measure_events(const Counts &counts, Table &table)
{
    check(eval_result(Subscriber) == "0", "defining the subscriber");
    std::string subscribe = std::string("vellumar eventsConnect {Connection: Change} ") + SubscribedScript;
    check(eval_result(subscribe.c_str()) == "1", "subscribing");
    fast_host::Registered host = fast_host::registered();
    if (host.events == nullptr) return failure("no event callback");

    ConnectionChange change = {3, "someone@example.org", "JABBER", "online"};
    EventField status = {sizeof(EventField), "status", 0, change.status, 0, nullptr};
    EventField medium = {sizeof(EventField), "medium", 0, change.medium, 0, &status};
    EventField name = {sizeof(EventField), "name", 0, change.name, 0, &medium};
    EventField first = {sizeof(EventField), "cid", 0, &change.cid, 0, &name};

    table.section("Event dispatch, \"Connection: Change\" with four fields (us per event)");
    Row &bare = table.baseline("Tcl_Eval of the subscribed script", "us");
    Row &plugin = table.row("the host's event through the plugin", "us");
    plugin.goal_ratio(1.5);
    Row &least = table.row("the least an embedding does: set 4, Tcl_Eval, unset", "us");
    Row &plugin_added = table.figure("added by the plugin per event", "us");
    Row &least_added = table.figure("added by setting and removing the array alone", "us");
    for (int round = 0; round < counts.rounds; round++) {
        stubs_set_element("event", "connection_id", "3");
        stubs_set_element("event", "name", "someone@example.org");
        stubs_set_element("event", "medium", "JABBER");
        stubs_set_element("event", "status", "online");
        double script = microseconds_each(counts.events, [] { stubs_eval(SubscribedScript); });
        stubs_unset("event");
        double dispatched = microseconds_each(counts.events, [&] {
            host.events(1, 0, "Connection: Change", &first, host.events_userData);
        });
        double published = stubs_time_published_eval(SubscribedScript, change, counts.events);
        bare.add(script);
        plugin.add(dispatched);
        least.add(published);
        plugin_added.add(dispatched - script);
        least_added.add(published - script);
    }
    long expected = 3L * counts.events * counts.rounds;
    check(eval_result("set ::changes") == std::to_string(expected), "every event ran the script");
    check(eval_result("set ::last") == "3 someone@example.org JABBER online", "the script saw the event");
    check(eval_result("info exists ::event") == "0", "the plugin removed the event array");
}

void measure_alias(const Counts &counts, Table &table)
{
    fast_host::Registered host = fast_host::registered();
    if (host.alias == nullptr) return failure("no alias callback");
    std::string line = "/tobrisk expr 6*7";
    bool answered = true;
    auto request = [&] {
        EditAliasRequest request = {};
        request.alias = "/tobrisk";
        request.line = &line[0];
        host.alias(0, 0, "edit_aliasRequest", &request, host.alias_userData);
        answered = answered && std::strcmp(request.line, "42") == 0;
        host.alias(0, 0, "edit_aliasFree", request.line, host.alias_userData);
    };
    bool evaluated = true;
    auto bare_eval = [&] {
        stubs_eval(" expr 6*7");
        evaluated = evaluated && stubs_result() == "42";
    };

    table.section("Chat alias, \"/tobrisk expr 6*7\" (us per line)");
    Row &bare = table.baseline("Tcl_Eval of \"expr 6*7\" and its result", "us");
    Row &plugin = table.row("the request and the free of its answer", "us");
    for (int round = 0; round < counts.rounds; round++) {
        bare.add(microseconds_each(counts.alias_lines, bare_eval));
        plugin.add(microseconds_each(counts.alias_lines, request));
    }
    check(answered, "every line was answered 42");
    check(evaluated, "every evaluation gave 42");
}

void measure_scripts(const Options &options, const Counts &counts, Table &table)
{
    use_init(options, MinimalInit);
    timed_load();
    if (!start_and_attach()) return;
    measure_calls(counts, table);
    measure_events(counts, table);
    measure_alias(counts, table);
    timed_stop();
}

// --- Footprint --------------------------------------------------------------

void measure_library(const Options &options, Table &table)
{
    table.section("The plugin's library");
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    std::string path = options.folder + "\\Tobrisk.dll";
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) return failure("no " + path);
    Row &size = table.figure("size of Tobrisk.dll", "KiB");
    size.goal_below(100);
    size.add(attributes.nFileSizeLow / 1024.0);
}

void run_benchmarks(const Options &options)
{
    Counts counts = counts_for(options);
    if (!options.shipped_init.empty()) {
        g_shipped_init = read_file(options.shipped_init);
        check(!g_shipped_init.empty(), "cannot read " + options.shipped_init);
    }
    if (!testhost::load_plugin(options.folder, true, false)) return failure("cannot load the plugin");

    Table table;
    print_machine(counts.rounds);
    measure_library(options, table);
    measure_fresh_processes(options, counts, table);
    measure_startup(options, counts, table);
    measure_scripts(options, counts, table);
    table.print();
    print_imports(testhost::plugin_module());

    for (const testhost::UiCall &call : testhost::ui_calls()) {
        failure(call.function + " \"" + call.caption + "\": " + call.text);
    }
}

bool parse_options(int argc, char **argv, Options &options)
{
    for (int index = 1; index < argc; index++) {
        std::string word = argv[index];
        if (word.rfind("--plugin=", 0) == 0) {
            options.folder = word.substr(9);
        } else if (word.rfind("--init=", 0) == 0) {
            options.shipped_init = word.substr(7);
        } else if (word == "--quick") {
            options.quick = true;
        } else if (word.rfind("--rounds=", 0) == 0) {
            options.rounds = std::atoi(word.c_str() + 9);
        } else if (word.rfind("--child=", 0) == 0) {
            options.child = word.substr(8);
        } else {
            return false;
        }
    }
    return !options.folder.empty() && options.rounds >= 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fprintf(stderr, "usage: tobrisk-bench --plugin=FOLDER [--init=FILE] [--quick] [--rounds=N]\n");
        return 2;
    }
    if (!options.child.empty()) return fresh_child(options);
    run_benchmarks(options);
    if (g_failures > 0) std::printf("%d failures\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
