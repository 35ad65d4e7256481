// Start-up and stop, in this process and in fresh ones, and the library's
// size: the plugin against Tcl and Tk started bare by the benchmark.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bare_tcl.h"
#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

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


bool run_fresh(const Options &options, const char *kind, FreshFigures &figures)
{
    std::string arguments = "--child=" + std::string(kind) + " \"--plugin=" + options.folder + "\"";
    messenger::ChildResult child = messenger::run_self(arguments, 120000);
    const char *line = std::strstr(child.output.c_str(), "FRESH ");
    if (child.exit_code != 0 || line == nullptr ||
        std::sscanf(line, "FRESH %lf %ld %ld", &figures.start_ms, &figures.private_bytes, &figures.working_set) != 3) {
        failure(std::string("fresh-process start-up, ") + kind + ": exit code " + std::to_string(child.exit_code) +
                ", output: " + child.output);
        return false;
    }
    return true;
}

} // namespace

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
        options.shipped_text.empty() ? nullptr : &table.row("\"load\" to ::tobrisk::startup, shipped init.tcl", "ms");
    table.section("Stop in this process (ms)");
    rows.bare_stop = &table.baseline("bare: Tcl_DeleteInterp", "ms");
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
                if (rows.shipped_load) plugin_round(options, options.shipped_text, shipped_check, rows.shipped_load, nullptr);
                break;
            }
        }
    }
}

// The memory of "load" counts from before the plugin's own library was
// loaded.
int fresh_child(const Options &options)
{
    messenger::drop_standard_handles();
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
    if (!messenger::load_plugin(options.folder, true, false)) return 1;
    double load_time = timed_load();
    print_fresh(load_time, private_before, working_before);
    bool ok = start_and_attach() && eval_result("set ::bench_started") == "1";
    timed_stop();
    return ok ? 0 : 1;
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
