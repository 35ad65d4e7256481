// The libraries that the plugin folder brings for scripts (tcllib and
// SQLite), side by side with a folder without them: what they add to the
// look for a package that every fresh interpreter does once, the plugin's
// own at start-up included, and what a script's first `package require`
// of them takes, in a fresh interpreter and in a script's own under the
// supervisor.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

// In the plugin's interpreter: ::bench_without, a copy of the package
// indexes of lib/ without the bundled libraries' (an index only declares
// its packages, so the copy is read as the folder itself would be), and
// ::bench_fresh, which times SCRIPT in a fresh interpreter that looks for
// packages in Tcl's library and DIR, as a script's interpreter looks in
// Tcl's library and lib/.
const char *const Setup = R"tcl(
set ::bench_lib [file dirname $tcl_library]
set ::bench_without [file join [file dirname $::bench_lib] bench-lib-without]
file delete -force $::bench_without
foreach index [glob -directory $::bench_lib */pkgIndex.tcl] {
    set folder [file tail [file dirname $index]]
    if {[string match tcllib* $folder] || [string match sqlite* $folder]} continue
    file mkdir [file join $::bench_without $folder]
    file copy $index [file join $::bench_without $folder]
}
proc ::bench_fresh {dir script} {
    set child [interp create]
    $child eval [list set ::auto_path [list $::tcl_library $dir]]
    set took [lindex [time {set ::bench_result [$child eval $script]}] 0]
    interp delete $child
    return $took
}
llength [glob -directory $::bench_without *]
)tcl";

double fresh(const std::string &folder, const std::string &script)
{
    std::string command = "::bench_fresh " + folder + " {" + script + "}";
    return ms(std::atof(eval_result(command.c_str()).c_str()));
}

// Three scripts alike but for what they require, loaded in turns: the
// difference is what a script's `package require` costs in its own
// interpreter, the first look for packages included.
void measure_in_scripts(const Options &options, const Counts &counts, Table &table)
{
    std::string folder = options.folder + "\\bench-libraries";
    CreateDirectoryA(folder.c_str(), nullptr);
    const char *const names[] = {"plain", "json", "sqlite3"};
    for (const char *name : names) {
        std::string body = std::string(name) == "plain" ? "" : std::string("package require ") + name + "\n";
        if (!messenger::write_file(folder + "\\" + name + ".tcl", body + filler_procs(24))) {
            return failure("writing the script " + std::string(name));
        }
    }
    check(eval_result(supervisor_setup(folder).c_str()) == "", "starting the supervisor on " + folder);
    table.section("A script's load in its own interpreter, by what it requires (ms)");
    Row *rows[] = {&table.baseline("nothing", "ms"), &table.row("package require json", "ms"),
                   &table.row("package require sqlite3", "ms")};
    int loads = counts.rounds > 1 ? 3 : 1;
    for (int round = 0; round < counts.rounds; round++) {
        for (int load = 0; load < loads; load++) {
            for (int index = 0; index < 3; index++) {
                std::string name = names[index];
                eval_result(("catch {::tobrisk::unload " + name + "}").c_str());
                double started = microseconds_now();
                std::string state = eval_result(("::tobrisk::load " + name).c_str());
                rows[index]->add(ms(microseconds_now() - started));
                check(state == "loaded", "loading " + name + ": " + state);
            }
        }
    }
    eval_result("::tobrisk::sv::shutdown");
}

} // namespace

void measure_libraries(const Options &options, const Counts &counts, Table &table)
{
    use_init(options, MinimalInit);
    timed_load();
    if (!start_and_attach()) return;
    if (std::atoi(eval_result(Setup).c_str()) < 3) {
        failure("copying the package indexes of lib/");
        timed_stop();
        return;
    }
    const char *const look = "catch {package require no_such_package}";
    table.section("A fresh interpreter's first look for a package (ms)");
    Row &without = table.baseline("lib/ without tcllib and SQLite", "ms");
    Row &shipped = table.row("lib/ as shipped, with them", "ms");
    Row &added = table.figure("added by the bundled libraries", "ms");
    table.section("A fresh interpreter's first `package require` (ms)");
    Row &json = table.figure("package require json", "ms");
    Row &sqlite = table.figure("package require sqlite3", "ms");
    Row &sha256 = table.figure("package require sha256", "ms");
    int interpreters = counts.rounds > 1 ? 5 : 1;
    for (int round = 0; round < counts.rounds; round++) {
        for (int index = 0; index < interpreters; index++) {
            double bare = fresh("$::bench_without", look);
            double full = fresh("$::bench_lib", look);
            without.add(bare);
            shipped.add(full);
            added.add(full - bare);
            json.add(fresh("$::bench_lib", "package require json"));
            sqlite.add(fresh("$::bench_lib", "package require sqlite3"));
            sha256.add(fresh("$::bench_lib", "package require sha256"));
        }
    }
    check(eval_result("set ::bench_result") == "1.0.4", "package require sha256 in a fresh interpreter");
    fresh("$::bench_lib", "package require sqlite3; sqlite3 db :memory:; db eval {SELECT 6*7}");
    check(eval_result("set ::bench_result") == "42", "SQLite answered in a fresh interpreter");
    measure_in_scripts(options, counts, table);
    timed_stop();
}
