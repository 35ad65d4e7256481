// The overhead benchmark's parts and what they share: how much to run,
// how failures are counted, and the plugin's lifecycle as the benchmark
// drives it.
#ifndef TOBRISK_BENCH_OVERHEAD_H
#define TOBRISK_BENCH_OVERHEAD_H

#include <string>

#include "report.h"
#include "measure.h"

struct Options {
    std::string folder;
    std::string shipped_init;   // the shipped init.tcl's file, or empty
    std::string shipped_text;   // its text
    bool quick = false;
    int rounds = 0;             // 0: the default of the run's kind
    std::string child;          // a fresh-process measurement: "bare" or "plugin"
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

// A path that did not do its work: printed and counted.
void failure(const std::string &what);
void check(bool ok, const std::string &what);
int failures();

// An init.tcl that only defines the two procedures; its startup sets
// ::bench_started.
extern const char *const MinimalInit;
void use_init(const Options &options, const std::string &text);

// "load" with the fast host's record; microseconds.
double timed_load();
// "start", then takes the stubs of the interpreter it hands over.
bool start_and_attach();
// "stop", timed in microseconds, then "unload".
double timed_stop();
// The result of a script in the plugin's interpreter, "error: ..." on failure.
std::string eval_result(const char *script);

inline double ms(double microseconds) { return microseconds / 1000.0; }

// Microseconds per iteration of `time {SCRIPT} COUNT` in the plugin's
// interpreter.
double time_loop(const std::string &script, long count);

// Microseconds per call of OPERATION, called COUNT times.
template <typename Operation> double microseconds_each(long count, Operation operation)
{
    double started = microseconds_now();
    for (long index = 0; index < count; index++) operation();
    return (microseconds_now() - started) / (double)count;
}

// The subscriber of the event rows: a proc that reads the event, and the
// script subscribed to it.
extern const char *const Subscriber;
extern const char *const SubscribedScript;

// Tcl that starts the supervisor on the scripts folder FOLDER (a Windows
// path), loading none of its scripts.
std::string supervisor_setup(std::string folder);

// COUNT procedures of four lines each, to give a script its length.
std::string filler_procs(int count);

// The parts, each adding its sections to the table.
void measure_library(const Options &options, Table &table);
void measure_fresh_processes(const Options &options, const Counts &counts, Table &table);
void measure_startup(const Options &options, const Counts &counts, Table &table);
void measure_scripts(const Options &options, const Counts &counts, Table &table);
void measure_supervised(const Options &options, const Counts &counts, Table &table);
// After the supervised calls, in the same supervisor: it restarts it.
void measure_settings(const Options &options, const Counts &counts, Table &table);
// After the settings, with the user's scripts folder that they set up.
void measure_install(const Options &options, const Counts &counts, Table &table);
void measure_libraries(const Options &options, const Counts &counts, Table &table);
// A child's one start-up in a fresh process; its exit code.
int fresh_child(const Options &options);

#endif
