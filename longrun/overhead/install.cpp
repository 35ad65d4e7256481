// An install from a link: from the command to the script running in its
// interpreter, beside the fetch of the same file into a variable. The fast
// host answers the request at once with the file from the benchmark's
// www folder, read as the stand-in messenger reads it.
#include <string>

#include "fast_host.h"
#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

const char *const Link = "http://bench.example/bench_install.tcl";

// A script of 100 lines with a manifest, and a command to show it runs.
std::string install_text()
{
    return "# tobrisk: script\n"
           "# name: Installed by the benchmark\n"
           "# version: 1.0\n"
           "# setting: word text {I am away} -- What it says\n"
           "proc running {} { return yes }\n" +
           filler_procs(24) + "# end\n";
}

// Microseconds from COMMAND to the answer of the request it made.
double answered(const std::string &command, const std::string &file)
{
    double started = microseconds_now();
    eval_result(command.c_str());
    std::string bytes;
    bool read = messenger::read_file(file, bytes);
    bool delivered = read && fast_host::answer_http(bytes);
    double took = microseconds_now() - started;
    check(delivered, "answering " + command);
    return took;
}

} // namespace

void measure_install(const Options &options, const Counts &counts, Table &table)
{
    std::string www = options.folder + "\\bench-www";
    CreateDirectoryA(www.c_str(), nullptr);
    std::string file = www + "\\bench_install.tcl";
    if (!messenger::write_file(file, install_text())) return failure("writing " + file);
    std::string fetch = std::string("vellumar httpFileRequest -binary ") + Link + " ::bench_fetched";
    std::string install = std::string("::tobrisk::install ") + Link;
    std::string running = "[::tobrisk::interp bench_install] eval running";

    table.section("An install of a script of 100 lines from a link (ms)");
    Row &fetched = table.baseline("the fetch alone, into a variable", "ms");
    Row &installed = table.row("install: from the command to the script running", "ms");
    Row &updated = table.row("update of the running version", "ms");
    Row &added = table.figure("added to the fetch by the install (goal 100)", "ms");
    added.goal_below(100);
    int installs = counts.rounds > 1 ? 5 : 1;
    for (int round = 0; round < counts.rounds; round++) {
        for (int index = 0; index < installs; index++) {
            double alone = ms(answered(fetch, file));
            double first = ms(answered(install, file));
            check(eval_result(running.c_str()) == "yes", "the installed script runs");
            double again = ms(answered(install, file));
            check(eval_result(running.c_str()) == "yes", "the updated script runs");
            eval_result("::tobrisk::remove bench_install -purge");
            fetched.add(alone);
            installed.add(first);
            updated.add(again);
            added.add(first - alone);
        }
    }
    check(eval_result("string length $::bench_fetched") == std::to_string(install_text().size()),
          "the fetch got the whole file");
}
