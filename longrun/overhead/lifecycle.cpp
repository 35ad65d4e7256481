// Failures, the plugin's init.tcl and its lifecycle as the benchmark
// drives it.
#include <cstdio>

#include "bare_tcl.h"
#include "fast_host.h"
#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

int g_failures = 0;
LoadRecord g_load_record;

std::string init_path(const Options &options) { return options.folder + "\\init.tcl"; }

} // namespace

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

int failures() { return g_failures; }

const char *const MinimalInit =
    "namespace eval ::tobrisk {}\n"
    "proc ::tobrisk::startup {} { set ::bench_started 1 }\n"
    "proc ::tobrisk::shutdown {} {}\n";

void use_init(const Options &options, const std::string &text)
{
    check(messenger::write_file(init_path(options), text), "writing " + init_path(options));
}

double timed_load()
{
    fast_host::forget_registrations();
    g_load_record = fast_host::load_record();
    double started = microseconds_now();
    messenger::plugin_main("load", &g_load_record);
    return microseconds_now() - started;
}

// "start" hands the interpreter over as the alias's userData; the stubs
// of the library loaded this time are taken from it.
bool start_and_attach()
{
    messenger::plugin_main("start", nullptr);
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
    messenger::plugin_main("stop", nullptr);
    double elapsed = microseconds_now() - started;
    messenger::plugin_main("unload", nullptr);
    return elapsed;
}

std::string eval_result(const char *script)
{
    int code = stubs_eval(script);
    std::string result = stubs_result();
    return code == 0 ? result : "error: " + result;
}

double time_loop(const std::string &script, long count)
{
    std::string loop = "lindex [time {" + script + "} " + std::to_string(count) + "] 0";
    std::string result = eval_result(loop.c_str());
    char *end = nullptr;
    double value = std::strtod(result.c_str(), &end);
    if (end == result.c_str()) failure(script + ": " + result);
    return value;
}
