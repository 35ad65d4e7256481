// Long runs that show whether the plugin keeps memory or handles per
// operation: alias requests with their frees, connection changes to a
// subscribed script, enumerations, subscriptions cancelled and sections
// refreshed, and whole "load" to "unload" cycles.
//
//   test_soak.exe --fixture=plugin=FOLDER [--full]
//
// Without --full each run is a tenth as long (the ctest entry); --full
// runs the lengths that docs/RELIABILITY.md reports. Each run warms up,
// measures private bytes and handles, runs, measures again, and prints
// one line "SOAK name ops=... growth=... handles=... time=...".
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "measure.h"
#include "support.h"
#include "tobrisk_version.h"

using namespace messenger;

namespace {

// What "tobrisk version" answers.
const std::string ShortVersion = std::to_string(TOBRISK_VERSION_MAJOR) + "." + std::to_string(TOBRISK_VERSION_MINOR);

bool full_run()
{
    for (const std::string &word : testing::internal::GetArgvs()) {
        if (word == "--full") return true;
    }
    return false;
}

long scaled(long full) { return full_run() ? full : full / 10; }

struct Figures {
    long private_bytes;   // fits: a 32-bit process
    long handles;
};

// Open handles found by asking for each handle value in turn, for where
// GetProcessHandleCount answers 0 (Wine does).
long probe_handles()
{
    long count = 0;
    for (uintptr_t value = 4; value < 0x40000; value += 4) {
        DWORD flags;
        if (GetHandleInformation((HANDLE)value, &flags)) count++;
    }
    return count;
}

Figures measure()
{
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles) || handles == 0) handles = (DWORD)probe_handles();
    return {private_bytes(), (long)handles};
}

// What a run reports and what it is held to.
struct SoakRun {
    const char *name;
    long ops;
    Figures before;
    Figures after;
    long milliseconds;

    long growth() const { return after.private_bytes - before.private_bytes; }
    long handle_growth() const { return after.handles - before.handles; }
    void print() const
    {
        std::printf("SOAK %s ops=%ld private_start=%ld private_end=%ld growth=%ld bytes (%lld per op) "
                    "handles=%ld->%ld time=%ld ms\n",
                    name, ops, before.private_bytes, after.private_bytes, growth(),
                    (long long)growth() / ops, before.handles, after.handles, milliseconds);
        std::fflush(stdout);
    }
};

template <typename Operation> SoakRun soak(const char *name, long warmup, long ops, Operation operation)
{
    for (long index = 0; index < warmup; index++) operation(index);
    SoakRun run = {name, ops, measure(), {}, 0};
    ULONGLONG started = GetTickCount64();
    for (long index = 0; index < ops; index++) operation(index);
    run.milliseconds = (long)(GetTickCount64() - started);
    run.after = measure();
    run.print();
    return run;
}

// 64 KiB per 10,000 operations: one lost 8-byte binding or copy per
// operation would already be 80,000 bytes (more with the heap's overhead),
// while Tcl's and the heap's own caches settle during the warm-up.
long long bound_for(long ops) { return 65536LL * (ops + 9999) / 10000; }

HostCallback g_alias = nullptr;

void start_plugin()
{
    static bool loaded = false;
    if (!loaded) {
        ASSERT_TRUE(load_plugin_fixture());
        loaded = true;
    }
    clear_answers();
    set_answer(SERVICE_editAliasRegister, [](HostCall &call) {
        g_alias = call.callback;
        return 7;
    });
    load_and_start();
    clear_calls();
}

void stop_plugin()
{
    stop();
    unload();
    clear_calls();
    clear_ui_calls();
}

// A line typed with the alias, answered and handed back.
void alias_request(long index)
{
    std::string line = "/tobrisk set ::answer [expr {" + std::to_string(index) + " * 2}]";
    EditAliasRequest request = {};
    request.alias = "/tobrisk";
    request.line = &line[0];
    g_alias(0, 0, "edit_aliasRequest", &request, interp());
    g_alias(0, 0, "edit_aliasFree", request.line, nullptr);
}

} // namespace

TEST(Soak, AliasRequestsWithTheirFrees)
{
    start_plugin();
    ASSERT_NE(nullptr, g_alias);
    size_t live = live_copies();
    SoakRun run = soak("alias_requests", 2000, scaled(100000), alias_request);
    EXPECT_EQ(live, live_copies()) << "every answer is freed once";
    EXPECT_EQ(std::to_string((scaled(100000) - 1) * 2), eval_ok("set ::answer"));
    EXPECT_LT(run.growth(), bound_for(run.ops));
    EXPECT_LE(run.handle_growth(), 4);
    stop_plugin();
}

TEST(Soak, ConnectionChangesToASubscribedScript)
{
    HostCallback events = nullptr;
    void *binding = nullptr;
    start_plugin();
    set_answer(SERVICE_eventsConnect, [&](HostCall &call) {
        events = call.callback;
        binding = call.userData;
        return 3;
    });
    ASSERT_EQ("3", eval_ok("set ::changes 0; vellumar eventsConnect {Connection: Change} "
                           "{incr ::changes; set ::last $event(connection_id)/$event(medium)}"));
    ASSERT_NE(nullptr, events);
    int32_t cid = 0;
    EventField status = {0, "status", 0, "online", 0, nullptr};
    EventField medium = {0, "medium", 0, "JABBER", 0, &status};
    EventField name = {0, "name", 0, "someone@example.org", 0, &medium};
    EventField id = {0, "cid", 0, &cid, 0, &name};
    auto change = [&](long index) {
        cid = (int32_t)index;
        events(1, 0, "Connection: Change", &id, binding);
    };
    SoakRun run = soak("connection_changes", 2000, scaled(100000), change);
    EXPECT_EQ(std::to_string(2000 + scaled(100000)), eval_ok("set ::changes"));
    EXPECT_EQ(std::to_string(scaled(100000) - 1) + "/JABBER", eval_ok("set ::last"));
    EXPECT_TRUE(message_boxes().empty());
    EXPECT_LT(run.growth(), bound_for(run.ops));
    EXPECT_LE(run.handle_growth(), 4);
    stop_plugin();
}

TEST(Soak, EnumerationsOfAHundredEntries)
{
    start_plugin();
    set_answer(SERVICE_connectionEnumerate, [](HostCall &call) {
        EnumEntry entry = {};
        entry.first = "JABBER";
        entry.texts[0] = "someone@example.org";
        entry.texts[1] = "online";
        entry.texts[2] = "Someone";
        call.callback(0, 0, "enum_start", nullptr, call.userData);
        for (int index = 0; index < 100; index++) {
            entry.number = index;
            call.callback(0, 0, "enum_add", &entry, call.userData);
        }
        call.callback(0, 0, "enum_finish", nullptr, call.userData);
        return 0;
    });
    std::string result;
    auto enumerate = [&](long) {
        result = eval_ok("llength [vellumar connectionEnumerate JABBER]");
        clear_calls();   // the host library keeps every call it is sent
    };
    SoakRun run = soak("enumerations_of_100", 200, scaled(10000), enumerate);
    EXPECT_EQ("100", result);
    EXPECT_LT(run.growth(), bound_for(run.ops));
    EXPECT_LE(run.handle_growth(), 4);
    stop_plugin();
}

TEST(Soak, HttpRequestsCompletedIntoAVariable)
{
    start_plugin();
    HostCallback completion = nullptr;
    void *binding = nullptr;
    set_answer(SERVICE_httpFileRequest, [&](HostCall &call) {
        completion = call.callback;
        binding = call.userData;
        return 1;
    });
    static const char reply[] = "HTTP/1.0 200 OK\r\n\r\nbody";
    HttpCompletion data = {};
    data.bytes = reply;
    data.count = (int32_t)sizeof reply - 1;
    std::string requested;
    auto request = [&](long) {
        requested = eval_ok("vellumar httpFileRequest http://example.org/ ::page");
        clear_calls();   // the host library keeps every call it is sent
        completion(0, 0, "http_done", &data, binding);
    };
    size_t live = live_copies();
    SoakRun run = soak("http_requests", 2000, scaled(100000), request);
    EXPECT_EQ("1", requested);
    EXPECT_EQ(std::string(reply), eval_ok("set ::page"));
    EXPECT_EQ(live, live_copies()) << "every variable name copy is freed";
    EXPECT_LT(run.growth(), bound_for(run.ops));
    stop_plugin();
}

// The supervisor started on a scripts folder of its own under the plugin
// folder, holding SCRIPTS (name, text), each loaded.
bool supervise(const char *subfolder, const std::vector<std::pair<std::string, std::string>> &scripts)
{
    std::string folder = fixture("plugin") + "\\" + subfolder;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const auto &script : scripts) {
        if (!write_file(folder + "\\" + script.first + ".tcl", script.second)) return false;
    }
    std::string tcl_folder = folder;
    for (char &c : tcl_folder) c = c == '\\' ? '/' : c;
    eval_ok("source [file join [file dirname $tcl_library] tobrisk supervisor.tcl]; "
            "::tobrisk::sv::configure {" + tcl_folder + "}; ::tobrisk::sv::load_all; ::tobrisk::sv::startup");
    return true;
}

// One script of the scripts folder reloaded again and again under the
// supervisor: it subscribes, adds a section and an entry, starts a timer
// and asks for a page each time; every reload must give all of it back.
TEST(Soak, ReloadsOfASupervisedScript)
{
    start_plugin();
    int32_t next = 0;
    set_default_answer([&](HostCall &) { return ++next; });
    // Removals confirmed, as the messenger confirms them: the plugin then
    // releases what it handed over with them.
    set_answer(SERVICE_eventsDisconnect, 1);
    set_answer(SERVICE_listRemoveEntry, 1);
    ASSERT_TRUE(supervise("soak-scripts",
                          {{"holder", "::tobrisk::on_start {\n"
                                      "    vellumar eventsConnect {Connection: Change} {incr ::changes}\n"
                                      "    vellumar listAddEntry section 1 section_id 300 text Holder\n"
                                      "    vellumar listAddEntry section_id 300 parent_id 300 text Entry callback {incr ::n}\n"
                                      "    after 60000 {set ::late 1}\n"
                                      "    vellumar httpFileRequest http://example.org/page ::page\n"
                                      "}\n"},
                           {"keeper", "set ::kept 42\n"}}));
    ASSERT_EQ("{holder loaded} {keeper loaded}", eval_ok("::tobrisk::list"));
    // What the messenger is given and given back, counted as it goes so
    // that the record of calls does not grow.
    // The page that one version asked for arrives after the next reload,
    // for an interpreter that is gone.
    long taken = 0, released = 0;
    HostCallback answer = nullptr;
    void *request = nullptr;
    static const char page[] = "late page";
    HttpCompletion data = {};
    data.bytes = page;
    data.count = (int32_t)sizeof page - 1;
    clear_calls();
    auto reload = [&](long) {
        eval_ok("::tobrisk::reload holder");
        if (answer != nullptr) answer(0, 0, "http_done", &data, request);
        for (const HostCall &call : calls()) {
            int service = host_service_index(call.service.c_str());
            if (HostServices[service].hands == HANDS_SCRIPT) taken++;
            if (service == SERVICE_eventsDisconnect || service == SERVICE_listRemoveEntry) released++;
            if (service == SERVICE_httpFileRequest) {
                answer = call.callback;
                request = call.userData;
            }
        }
        clear_calls();
    };
    SoakRun run = soak("supervised_reloads", 20, scaled(2000), reload);
    EXPECT_EQ(taken, released) << "each reload gives back what the one before took";
    EXPECT_EQ("1 1 1 1 1", eval_ok("set h [::tobrisk::holdings holder]; lmap kind {subscriptions entries sections "
                                   "requests timers} {llength [dict get $h $kind]}"));
    EXPECT_EQ("0", eval_ok("[::tobrisk::interp holder] eval {info exists ::page}"));
    EXPECT_EQ("42", eval_ok("[::tobrisk::interp keeper] eval {set ::kept}"));
    EXPECT_EQ("2", eval_ok("llength [lsearch -all [interp children] ::tobrisk::child::*]"));
    EXPECT_TRUE(message_boxes().empty());
    // A leaked interpreter would be tens of kilobytes a reload.
    EXPECT_LT(run.growth(), 4096LL * run.ops + 262144);
    EXPECT_LE(run.handle_growth(), 4);
    clear_answers();
    stop_plugin();
}

// Messages between three scripts: each round a message from the main
// interpreter reaches two of them, one of which publishes to the third,
// which calls a command that the first exported; every hundredth round
// reloads the one in the middle, whose subscription must go with it.
TEST(Soak, MessagesBetweenScripts)
{
    start_plugin();
    ASSERT_TRUE(supervise("soak-bus",
                          {{"listener", "::tobrisk::subscribe tick {apply {n { incr ::ticks }}}\n"
                                        "proc ::ticks {} { return $::ticks }\n"
                                        "::tobrisk::export ::ticks\n"},
                           {"relay", "::tobrisk::subscribe tick {apply {n {\n"
                                     "    ::tobrisk::publish echo $n [string repeat x 100]\n"
                                     "}}}\n"},
                           {"echo", "::tobrisk::subscribe echo {apply {{n text} {\n"
                                    "    set ::heard [list $n [::tobrisk::call listener ticks]]\n"
                                    "}}}\n"}}));
    ASSERT_EQ("{echo loaded} {listener loaded} {relay loaded}", eval_ok("::tobrisk::list"));
    bool reached = true;
    auto round = [&](long index) {
        reached = eval_ok("::tobrisk::publish tick " + std::to_string(index)) == "2" && reached;
        if (index % 100 == 99) eval_ok("::tobrisk::reload relay");
    };
    long rounds = full_run() ? 100000 : machine_slower() > 1 ? 2000 : 10000;
    SoakRun run = soak("messages", 100, rounds, round);
    EXPECT_TRUE(reached) << "every message reached both subscribers";
    EXPECT_EQ(std::to_string(rounds - 1) + " " + std::to_string(rounds + 100),
              eval_ok("[::tobrisk::interp echo] eval {set ::heard}"));
    EXPECT_EQ("3 1", eval_ok("list [array size ::tobrisk::bus::subscribers] "
                             "[llength [dict get [::tobrisk::holdings relay] topics]]"));
    EXPECT_TRUE(message_boxes().empty());
    // The reloads and the allocator's first growth take a fixed amount (40
    // KiB here, 80 KiB in the virtual machine), which the fewer rounds of a
    // slow machine do not spread out.
    EXPECT_LT(run.growth(), bound_for(run.ops) + 65536);
    EXPECT_LE(run.handle_growth(), 4);
    stop_plugin();
}

// A subscription with a long script, cancelled and confirmed each time:
// its binding and script copy are released, so nothing accumulates.
TEST(Soak, SubscriptionsCancelledAndConfirmed)
{
    start_plugin();
    // Ids the host has not given before: a confirmation of an id also
    // releases the bindings of earlier runtimes that hold it.
    int32_t next_id = 1000000;
    set_answer(SERVICE_eventsConnect, [&](HostCall &) { return next_id++; });
    set_answer(SERVICE_eventsDisconnect, 1);
    size_t live = live_copies();
    const std::string script = "vellumar eventsDisconnect [vellumar eventsConnect {Connection: Change} {" +
                               std::string(1000, 'x') + "}]";
    std::string answer;
    auto pair = [&](long) {
        answer = eval_ok(script);
        clear_calls();   // the host library keeps every call it is sent
    };
    SoakRun run = soak("subscriptions_cancelled", 2000, scaled(30000), pair);
    EXPECT_EQ("1", answer);
    EXPECT_EQ(live, live_copies()) << "every script copy is freed";
    EXPECT_LT(run.growth(), bound_for(run.ops));
    stop_plugin();
}

// A section of 100 entries with callbacks, cleared and filled again; the
// host confirms each clearing, which releases the entries' bindings.
TEST(Soak, SectionRefreshedWithItsEntries)
{
    start_plugin();
    int32_t next_id = 100;
    set_answer(SERVICE_listAddEntry, [&](HostCall &) { return next_id++; });
    set_answer(SERVICE_listClearEntry, 1);
    ASSERT_EQ("1", eval_ok("vellumar listAddEntry section 1 section_id 1"));
    ASSERT_EQ(0, eval("proc refresh {} {\n"
                      "    vellumar listClearEntry -section 1\n"
                      "    for {set i 0} {$i < 100} {incr i} {\n"
                      "        vellumar listAddEntry section_id 1 parent_id 1 text \"entry $i\" callback {open $i}\n"
                      "    }\n"
                      "}").code);
    // Counted after the first refresh. What earlier tests left with the
    // host may only go: a confirmed clearing of section 1 releases their
    // entries in it too.
    EvalResult refreshed = eval("refresh");
    clear_calls();
    size_t live = live_copies();
    auto refresh = [&](long) {
        refreshed = eval("refresh");
        clear_calls();
    };
    SoakRun run = soak("section_refreshes", 20, scaled(300), refresh);
    EXPECT_EQ(0, refreshed.code) << refreshed.result;
    EXPECT_LE(live_copies(), live) << "only the last refresh's scripts are kept";
    EXPECT_GE(live_copies(), 100u) << "the last refresh's scripts are kept";
    EXPECT_LT(run.growth(), bound_for(run.ops * 100));
    stop_plugin();
}

TEST(Soak, VersionQueries)
{
    start_plugin();
    std::string version;
    SoakRun run = soak("tobrisk_version", 2000, scaled(100000), [&](long) { version = eval_ok("tobrisk version"); });
    EXPECT_EQ("0.6", version);
    EXPECT_LT(run.growth(), bound_for(run.ops));
    stop_plugin();
}

// --- Whole lifecycles, each in a process of its own --------------------------

namespace {

void print_figures(const char *label, const Figures &figures)
{
    std::printf("%s %ld %ld\n", label, figures.private_bytes, figures.handles);
    std::fflush(stdout);
}

// "load" to "unload" with the plugin; two cycles of warm-up.
int plugin_cycles(const std::string &argument)
{
    long cycles = std::stol(argument);
    if (!load_plugin_fixture()) return 2;
    for (long cycle = 0; cycle < cycles + 2; cycle++) {
        if (cycle == 2) print_figures("FIGURES_START", measure());
        load_and_start();
        if (eval_ok("vellumar versionRequest; tobrisk version") != ShortVersion) return 3;
        clear_calls();
        stop();
        unload();
    }
    print_figures("FIGURES_END", measure());
    return 0;
}
ChildRegistration plugin_cycles_mode("plugin_cycles", plugin_cycles);

// The same runtime without the plugin: what Tcl and Tk themselves keep
// per cycle when loaded, initialised, finalised and unloaded.
int tcl_cycles(const std::string &argument)
{
    long cycles = std::stol(argument);
    // Without standard handles, as the host library leaves the plugin's runs.
    drop_standard_handles();
    std::string path = fixture("plugin") + "\\bin\\tcl84t.dll";
    std::string library = fixture("plugin") + "\\lib\\tcl8.4";
    for (long cycle = 0; cycle < cycles + 2; cycle++) {
        if (cycle == 2) print_figures("FIGURES_START", measure());
        HMODULE tcl = LoadLibraryW(messenger::wide_of(path).c_str());
        if (tcl == nullptr) return 2;
        auto find_executable = (void (*)(const char *))(void *)GetProcAddress(tcl, "Tcl_FindExecutable");
        auto create = (Tcl_Interp * (*)())(void *)GetProcAddress(tcl, "Tcl_CreateInterp");
        auto set_var = (const char *(*)(Tcl_Interp *, const char *, const char *, int))(void *)GetProcAddress(
            tcl, "Tcl_SetVar");
        auto init = (int (*)(Tcl_Interp *))(void *)GetProcAddress(tcl, "Tcl_Init");
        auto eval = (int (*)(Tcl_Interp *, const char *))(void *)GetProcAddress(tcl, "Tcl_Eval");
        auto remove = (void (*)(Tcl_Interp *))(void *)GetProcAddress(tcl, "Tcl_DeleteInterp");
        auto finalize = (void (*)())(void *)GetProcAddress(tcl, "Tcl_Finalize");
        auto result_of = (const char *(*)(Tcl_Interp *))(void *)GetProcAddress(tcl, "Tcl_GetStringResult");
        wchar_t file[MAX_PATH];
        GetModuleFileNameW(tcl, file, MAX_PATH);
        find_executable(messenger::utf8_of(file).c_str());
        Tcl_Interp *interp = create();
        set_var(interp, "tcl_library", library.c_str(), 1);
        if (init(interp) != 0) return 3;
        if (eval(interp, "package require Tk; wm withdraw .") != 0) return 4;
        // What the plugin's runtime does besides: the exit guard, init.tcl,
        // the scripts' procedures and a command.
        std::string script = "rename ::exit ::tcl::exit; proc ::exit {args} {error \"exit is disabled\"}; "
                             "source {" + fixture("plugin") + "\\init.tcl}; ::tobrisk::startup; "
                             "catch {vellumar versionRequest}; catch {tobrisk version}; ::tobrisk::shutdown";
        for (char &c : script) {
            if (c == '\\') c = '/';
        }
        if (eval(interp, script.c_str()) != 0) {
            std::printf("the plugin's init.tcl failed in Tcl alone: %s\n", result_of(interp));
            return 5;
        }
        remove(interp);
        finalize();
        FreeLibrary(tcl);
    }
    print_figures("FIGURES_END", measure());
    return 0;
}
ChildRegistration tcl_cycles_mode("tcl_cycles", tcl_cycles);

void pump_messages(DWORD milliseconds)
{
    ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

// The figures once the process has settled: its private memory the same
// for a second of the messenger's message loop in a row. A busy pipe's
// program and Tcl's writer thread take their time, far more on a slow
// machine; a minute at most. (Counting handles is too slow to repeat.)
Figures settled_figures()
{
    long last = private_bytes();
    int same = 0;
    ULONGLONG deadline = GetTickCount64() + 60 * 1000;
    while (same < 10 && GetTickCount64() < deadline) {
        pump_messages(100);
        long now = private_bytes();
        same = now == last ? same + 1 : 0;
        last = now;
    }
    return measure();
}

// "stop" and "load" again and again in one process; now and then a script
// leaves a pipe to a program that reads nothing busy with Tcl's writer
// thread. The first ten cycles warm up (two in the ctest length).
// QUIET leaves no pipe busy: the same restarts, for a side-by-side baseline.
int restarts(long cycles, bool quiet)
{
    bool full = cycles >= 1000;
    long busy_every = full ? 100 : 3;
    long warmup = full ? 10 : 2;
    if (!load_plugin(fixture("plugin"))) return 2;
    write_init(fixture("plugin"), MinimalInit);
    for (long cycle = 0; cycle < cycles + warmup; cycle++) {
        if (cycle == warmup) print_figures("FIGURES_START", settled_figures());
        load_and_start();
        if (eval_ok("tobrisk version") != ShortVersion) return 3;
        if (!quiet && cycle % busy_every == 0 &&
            eval("set p [open {|ping -n 2 127.0.0.1 >NUL} w]; fconfigure $p -blocking 0; "
                 "puts $p [string repeat x 100000]").code != 0) {
            return 4;
        }
        clear_calls();
        stop();
        unload();
    }
    print_figures("FIGURES_END", settled_figures());
    for (const UiCall &call : ui_calls()) {
        if (call.function == "TerminateProcess") return 5;
    }
    return 0;
}
int restart_cycles(const std::string &argument) { return restarts(std::stol(argument), false); }
int quiet_restart_cycles(const std::string &argument) { return restarts(std::stol(argument), true); }
ChildRegistration restart_cycles_mode("restart_cycles", restart_cycles);
ChildRegistration quiet_restart_cycles_mode("quiet_restart_cycles", quiet_restart_cycles);

SoakRun run_cycles(const char *name, const char *mode, long cycles)
{
    ULONGLONG started = GetTickCount64();
    // A full run of restarts takes minutes.
    ChildResult child = run_child(mode, std::to_string(cycles), 3600 * 1000);
    SoakRun run = {name, cycles, {0, 0}, {0, 0}, 0};
    run.milliseconds = (long)(GetTickCount64() - started);
    EXPECT_EQ(0u, child.exit_code) << child.output;
    size_t start = child.output.find("FIGURES_START");
    size_t end = child.output.find("FIGURES_END");
    if (start == std::string::npos || end == std::string::npos) {
        ADD_FAILURE() << "no figures from " << mode << ": " << child.output;
        return run;
    }
    std::sscanf(child.output.c_str() + start, "FIGURES_START %ld %ld", &run.before.private_bytes,
                &run.before.handles);
    std::sscanf(child.output.c_str() + end, "FIGURES_END %ld %ld", &run.after.private_bytes, &run.after.handles);
    run.print();
    return run;
}

} // namespace

// The plugin may keep no more per cycle than Tcl and Tk keep on their own,
// give or take 64 KiB per cycle.
TEST(Soak, LoadToUnloadCycles)
{
    long cycles = machine_slower() > 1 && !full_run() ? 3 : scaled(100);
    SoakRun baseline = run_cycles("tcl_alone_cycles", "tcl_cycles", cycles);
    SoakRun plugin = run_cycles("plugin_cycles", "plugin_cycles", cycles);
    long long allowance = 65536LL * cycles;
    EXPECT_LT(plugin.growth(), baseline.growth() + allowance);
    EXPECT_LE(plugin.handle_growth(), baseline.handle_growth() + 4);
}

// 2,000 restarts may keep no more than 20 MB in all, far below the 2 MB
// per cycle that finalising Tcl cost. The ctest length, after a short
// warm-up, is measured beside the same restarts with no busy pipe: the
// pipes may add 256 KiB each (the unwritten bytes Tcl holds) and 64 KiB a
// cycle besides. A restart's own cost differs from machine to machine (a
// slow one keeps more of it at the end), so no fixed figure holds it. A
// pipe still busy at "stop" keeps its channel and its writer thread's
// handles for the rest of the process (see docs/RELIABILITY.md): at most
// eight handles each.
TEST(Soak, RestartsWithBusyPipes)
{
    long cycles = full_run() ? 2000 : 6;
    long busy_pipes = full_run() ? 20 : 2;
    SoakRun run = run_cycles("restarts_with_busy_pipes", "restart_cycles", cycles);
    if (full_run()) {
        EXPECT_LT(run.growth(), 20LL * 1024 * 1024);
    } else {
        SoakRun quiet = run_cycles("restarts_without", "quiet_restart_cycles", cycles);
        EXPECT_LT(run.growth(), quiet.growth() + 262144LL * busy_pipes + 65536LL * cycles);
        EXPECT_LE(quiet.handle_growth(), 0);
    }
    EXPECT_LE(run.handle_growth(), 8 * busy_pipes);
}
