// Scripts' manifests and settings: reading a setting, writing one to its
// file, and the start-up of 20 scripts with manifests and stored settings
// beside the same 20 without them, taking turns.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

const int ScriptCount = 20;

const char *const Manifest =
    "# tobrisk: script\n"
    "# name: Benchmark script\n"
    "# version: 1.0.0\n"
    "# description: One of twenty alike.\n"
    "# setting: on boolean yes -- Whether it runs\n"
    "# setting: count integer 1..100 5 -- How many\n"
    "# setting: word text {I am away} -- What it says\n"
    "# setting: mode choice {short long} short -- How long\n"
    "# setting: place folder {} -- Where\n";

// A script of 100 lines; with the manifest above, in its place the first
// lines.
std::string script_text(bool with_manifest)
{
    return std::string(with_manifest ? Manifest : "") + filler_procs(23);
}

std::string tcl_path(std::string path)
{
    for (char &c : path) c = c == '\\' ? '/' : c;
    return path;
}

// A scripts folder of the benchmark's own; its Tcl path.
std::string write_folder(const Options &options, const char *name, bool with_manifest)
{
    std::string folder = options.folder + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int index = 0; index < ScriptCount; index++) {
        std::string file = folder + "\\s" + std::to_string(100 + index) + ".tcl";
        if (!messenger::write_file(file, script_text(with_manifest))) failure("writing " + file);
    }
    return tcl_path(folder);
}

// Starts the supervisor afresh on FOLDER with its settings under STATE;
// microseconds from the scan to the last script loaded.
const char *const Restart =
    "proc ::bench_restart {folder state} {\n"
    "    ::tobrisk::sv::shutdown\n"
    "    set ::tobrisk::sv::order {}\n"
    "    array unset ::tobrisk::sv::scripts\n"
    "    array unset ::tobrisk::sv::values\n"
    "    array unset ::tobrisk::sv::stored\n"
    "    set ::tobrisk::sv::scripts_dir $folder\n"
    "    set ::tobrisk::sv::state_dir $state\n"
    "    set started [clock microseconds]\n"
    "    ::tobrisk::sv::load_all\n"
    "    return [expr {[clock microseconds] - $started}]\n"
    "}\n";

} // namespace

void measure_settings(const Options &options, const Counts &counts, Table &table)
{
    std::string plain = write_folder(options, "bench-plain", false);
    std::string declared = write_folder(options, "bench-manifests", true);
    std::string state = tcl_path(options.folder + "\\bench-state");
    check(eval_result(Restart) == "", "defining the restart");
    std::string with_settings = "::bench_restart {" + declared + "} {" + state + "}";
    std::string without = "::bench_restart {" + plain + "} {" + state + "}";
    // Every script gets a settings file, as a user's would have.
    eval_result(with_settings.c_str());
    std::string store = "foreach name $::tobrisk::sv::order { ::tobrisk::settings $name word {Out for lunch} }; "
                        "llength [glob -directory {" + state + "/settings} *.txt]";
    check(eval_result(store.c_str()) == "20",
          "each script stored its settings");

    table.section("Start-up of 20 scripts of 100 lines under the supervisor (ms)");
    Row &bare = table.baseline("without manifests", "ms");
    Row &full = table.row("with manifests of 5 settings and a settings file each", "ms");
    full.goal_ratio(1.2);
    for (int round = 0; round < counts.rounds; round++) {
        for (int turn = 0; turn < 2; turn++) {
            bool first = (round + turn) % 2 == 0;
            double took = std::atof(eval_result((first ? without : with_settings).c_str()).c_str());
            (first ? bare : full).add(ms(took));
        }
    }

    eval_result(with_settings.c_str());
    // The loops below run in the script's interpreter directly, not as a
    // supervised call, so its time limit is lifted: the writes take seconds.
    eval_result("interp limit [::tobrisk::interp s100] time -seconds {}");
    std::string child = "[::tobrisk::interp s100] eval ";
    long reads = counts.plain_calls;
    long writes = counts.rounds > 1 ? 20 : 5;
    table.section("A script's settings");
    Row &read = table.figure("::tobrisk::setting word, in the script (goal 1)", "us");
    read.goal_below(1);
    Row &write = table.figure("::tobrisk::setting word VALUE, to its file and in place", "ms");
    for (int round = 0; round < counts.rounds; round++) {
        read.add(std::atof(eval_result((child + "{lindex [time {::tobrisk::setting word} " + std::to_string(reads) +
                                        "] 0}").c_str()).c_str()));
        double written = std::atof(eval_result((child + "{lindex [time {::tobrisk::setting word [incr ::n]} " +
                                                 std::to_string(writes) + "] 0}").c_str()).c_str());
        check(written > 0, "the settings were written");
        write.add(ms(written));
    }
    check(eval_result("::tobrisk::state s100") == "loaded", "the scripts with settings loaded");
}
