// Measures what the plugin adds on top of Tcl itself, side by side in one
// run: its start-up and stop against a bare Tcl and Tk start-up done here,
// host calls against a plain object command in the same `time` loop, event
// dispatch and the chat alias against this program evaluating the same
// script itself, the plugin's size and memory, and what the bundled
// libraries add to a fresh interpreter's look for packages. Prints a table
// of the median, minimum and maximum over repeated rounds and each row's
// ratio to its baseline.
//
//   tobrisk-bench.exe --plugin=FOLDER [--init=FILE] [--unaccounted=OTHER] [--quick] [--rounds=N]
//
// FOLDER is a plugin folder with its runtime whose init.tcl the benchmark
// may overwrite; FILE is the shipped init.tcl, whose start-up is measured
// as well when it is given; OTHER is such a folder whose library was built
// without the time accounting, measured beside FOLDER's when given. --quick runs one round with small counts.
// The exit code is 0 when every measured path did its work, whatever the
// times: no goal decides it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "overhead.h"
#include "report.h"
#include "messenger/messenger.h"

namespace {

Counts counts_for(const Options &options)
{
    Counts counts = options.quick ? Counts{1, 1, 200, 100, 20, 200, 200}
                                  : Counts{11, 5, 100000, 20000, 2000, 20000, 20000};
    if (options.rounds > 0) counts.rounds = options.rounds;
    return counts;
}

void run_benchmarks(const Options &options)
{
    Counts counts = counts_for(options);
    if (!messenger::load_plugin(options.folder, true, false)) return failure("cannot load the plugin");

    Table table;
    print_machine(counts.rounds);
    measure_library(options, table);
    measure_fresh_processes(options, counts, table);
    measure_startup(options, counts, table);
    measure_scripts(options, counts, table);
    measure_supervised(options, counts, table);
    measure_accounting(options, counts, table);
    measure_libraries(options, counts, table);
    table.print();
    print_imports(messenger::plugin_module());

    for (const messenger::UiCall &call : messenger::ui_calls()) {
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
            messenger::read_file(options.shipped_init, options.shipped_text);
        } else if (word == "--quick") {
            options.quick = true;
        } else if (word.rfind("--rounds=", 0) == 0) {
            options.rounds = std::atoi(word.c_str() + 9);
        } else if (word.rfind("--unaccounted=", 0) == 0) {
            options.unaccounted = word.substr(14);
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
        std::fprintf(stderr, "usage: tobrisk-bench --plugin=FOLDER [--init=FILE] [--unaccounted=OTHER] [--quick] "
                             "[--rounds=N]\n");
        return 2;
    }
    if (!options.shipped_init.empty() && options.shipped_text.empty()) {
        std::fprintf(stderr, "tobrisk-bench: cannot read %s\n", options.shipped_init.c_str());
        return 2;
    }
    if (options.child == "accounting") return accounting_child(options, counts_for(options));
    if (!options.child.empty()) return fresh_child(options);
    run_benchmarks(options);
    if (failures() > 0) std::printf("%d failures\n", failures());
    return failures() == 0 ? 0 : 1;
}
