// Scripts under the supervisor, each in an interpreter of its own, timed
// side by side with the same work done by a script of the main
// interpreter: calls, events, double-clicks and chat lines, and the load,
// unload and reload of one script.
#include <cstdlib>
#include <string>

#include "bare_tcl.h"
#include "fast_host.h"
#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

const char *const ScriptName = "bench";
// The same script restricted to what the rows use, beside it.
const char *const RestrictedName = "benchr";
const char RestrictedHead[] = "# tobrisk: script\n# needs: send events list\n";

// The subscriber of the message rows: the event subscriber's work with the
// four words as arguments, subscribed once to bench/one and ten times, as
// ten procedures, to bench/ten.
const char *const MessageSubscriber =
    "proc on_message {cid name medium status} {\n"
    "    incr ::messages\n"
    "    set ::last_message \"$cid $name $medium $status\"\n"
    "}\n"
    "set ::messages 0\n"
    "::tobrisk::subscribe bench/one on_message\n"
    "for {set i 0} {$i < 10} {incr i} {\n"
    "    proc on_message$i {cid name medium status} [info body on_message]\n"
    "    ::tobrisk::subscribe bench/ten on_message$i\n"
    "}\n";

// The script of the rows: the event subscriber, a double-click target, a
// chat command, and enough procedures to make 100 lines.
std::string bench_script(bool exporting = true)
{
    std::string text = std::string(Subscriber) +
                       "proc clicked {} { incr ::clicks }\n"
                       "proc ::chat_line {} { return 42 }\n";
    if (exporting) text += std::string("::tobrisk::export ::chat_line\n") + MessageSubscriber;
    return text + filler_procs(23);
}

} // namespace

bool start_supervisor(const Options &options)
{
    std::string folder = options.folder + "\\bench-scripts";
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!messenger::write_file(folder + "\\" + ScriptName + ".tcl", bench_script()) ||
        !messenger::write_file(folder + "\\" + RestrictedName + ".tcl", RestrictedHead + bench_script(false))) {
        failure("writing the benchmark's script");
        return false;
    }
    std::string setup = supervisor_setup(folder) + "::tobrisk::load " + RestrictedName + "\n::tobrisk::load " + ScriptName;
    std::string state = eval_result(setup.c_str());
    check(state == "loaded", "loading the benchmark's script: " + state);
    return state == "loaded";
}

std::string supervisor_setup(std::string folder)
{
    for (char &c : folder) c = c == '\\' ? '/' : c;
    return "source [file join [file dirname $tcl_library] tobrisk supervisor.tcl]\n"
           "::tobrisk::sv::configure {" + folder + "}\n"
           "::tobrisk::sv::startup\n";
}

namespace {

std::string in_child(const std::string &script, const char *name = ScriptName)
{
    return "[::tobrisk::interp " + std::string(name) + "] eval {" + script + "}";
}

void measure_calls(const Counts &counts, Table &table)
{
    table.section("A script's call of the messenger, `time {...} N` (us per call)");
    Row &direct = table.baseline("vellumar messageSend, main interpreter", "us");
    Row &supervised = table.row("vellumar messageSend, the script's own interpreter", "us");
    Row &added = table.figure("added by the supervisor per call (goal 0.5)", "us");
    std::string loop = "lindex [time {vellumar messageSend m 1 t hi} " + std::to_string(counts.plain_calls) + "] 0";
    for (int round = 0; round < counts.rounds; round++) {
        double main = time_loop("vellumar messageSend m 1 t hi", counts.plain_calls);
        double child = std::atof(eval_result(in_child(loop).c_str()).c_str());
        direct.add(main);
        supervised.add(child);
        added.add(child - main);
    }
}

void measure_events(const Counts &counts, Table &table)
{
    std::string subscribe = std::string("vellumar eventsConnect {Connection: Change} ") + SubscribedScript;
    check(eval_result(Subscriber) == "0", "defining the main interpreter's subscriber");
    eval_result(subscribe.c_str());
    fast_host::Registered main = fast_host::registered();
    eval_result(in_child(subscribe).c_str());
    fast_host::Registered child = fast_host::registered();
    if (main.events == nullptr || child.events == nullptr) return failure("no event callback");

    fast_host::ConnectionChangeFields fields;
    fast_host::connection_change_fields(fields);

    table.section("An event to a script, \"Connection: Change\" with four fields (us per event)");
    Row &direct = table.baseline("to a script of the main interpreter", "us");
    Row &supervised = table.row("to a script in its own interpreter", "us");
    Row &added = table.figure("added by the supervisor per event (goal 2)", "us");
    for (int round = 0; round < counts.rounds; round++) {
        double plain = microseconds_each(counts.events, [&] { main.events(1, 0, "Connection: Change", &fields.first, main.events_userData); });
        double own = microseconds_each(counts.events, [&] { child.events(1, 0, "Connection: Change", &fields.first, child.events_userData); });
        direct.add(plain);
        supervised.add(own);
        added.add(own - plain);
    }
    check(eval_result(in_child("set ::last").c_str()) == "3 someone@example.org JABBER online",
          "the script in its own interpreter saw the event");
}

// Microseconds per iteration of `time {SCRIPT} COUNT` typed on the chat
// line: Tcl runs on the plugin's own stack there, as it does for every
// call from the messenger and so for every message a script sends.
double chat_time_loop(const fast_host::Registered &host, const std::string &script, long count)
{
    std::string line = "/tobrisk lindex [time {" + script + "} " + std::to_string(count) + "] 0";
    EditAliasRequest request = {};
    request.alias = "/tobrisk";
    request.line = &line[0];
    host.alias(0, 0, "edit_aliasRequest", &request, host.alias_userData);
    std::string result = request.line;
    host.alias(0, 0, "edit_aliasFree", request.line, host.alias_userData);
    char *end = nullptr;
    double value = std::strtod(result.c_str(), &end);
    if (end == result.c_str()) failure(script + ": " + result);
    return value;
}

// A message from the main interpreter, in a `time` loop on the chat line,
// beside the event of measure_events (which made the subscription) through
// the plugin's callback: the same four words, the same work in the
// subscriber.
void measure_messages(const Counts &counts, Table &table)
{
    fast_host::Registered child = fast_host::registered();
    if (child.events == nullptr || child.alias == nullptr) return failure("no event or alias callback for the messages");
    fast_host::ConnectionChangeFields fields;
    fast_host::connection_change_fields(fields);
    const std::string words = " 3 someone@example.org JABBER online";

    table.section("A message to a script, four words, beside an event (us per message)");
    Row &event = table.baseline("an event to a script in its own interpreter", "us");
    Row &one = table.row("::tobrisk::publish, one subscriber (goal 1.5)", "us");
    Row &ten = table.row("::tobrisk::publish, ten subscribers", "us");
    Row &each = table.figure("per subscriber of the ten", "us");
    one.goal_ratio(1.5);
    for (int round = 0; round < counts.rounds; round++) {
        event.add(microseconds_each(counts.events, [&] { child.events(1, 0, "Connection: Change", &fields.first, child.events_userData); }));
        one.add(chat_time_loop(child, "::tobrisk::publish bench/one" + words, counts.events));
        double all = chat_time_loop(child, "::tobrisk::publish bench/ten" + words, counts.events / 10);
        ten.add(all);
        each.add(all / 10);
    }
    long expected = (long)counts.rounds * (counts.events + counts.events / 10 * 10);
    std::string heard = eval_result(in_child("concat $::messages $::last_message").c_str());
    check(heard == std::to_string(expected) + words, "every message reached its subscribers: " + heard);
}

void measure_clicks(const Counts &counts, Table &table)
{
    eval_result("proc clicked {} { incr ::clicks }; vellumar listAddEntry section_id 1 parent_id 1 callback clicked");
    fast_host::Registered main = fast_host::registered();
    eval_result(in_child("vellumar listAddEntry section_id 1 parent_id 1 callback clicked").c_str());
    fast_host::Registered child = fast_host::registered();
    if (main.list == nullptr || child.list == nullptr) return failure("no double-click callback");

    table.section("A double-click on a script's entry (us per click)");
    Row &direct = table.baseline("a script of the main interpreter", "us");
    Row &supervised = table.row("a script in its own interpreter", "us");
    Row &added = table.figure("added by the supervisor per double-click", "us");
    for (int round = 0; round < counts.rounds; round++) {
        double plain = microseconds_each(counts.events, [&] { main.list(0, 0, "list_leftDoubleClick", nullptr, main.list_userData); });
        double own = microseconds_each(counts.events, [&] { child.list(0, 0, "list_leftDoubleClick", nullptr, child.list_userData); });
        direct.add(plain);
        supervised.add(own);
        added.add(own - plain);
    }
    check(eval_result(in_child("set ::clicks").c_str()) == std::to_string((long)counts.events * counts.rounds),
          "every double-click ran the script");
}

} // namespace

double chat_line(const fast_host::Registered &host, const char *text, long count, bool &answered)
{
    std::string line = text;
    return microseconds_each(count, [&] {
        EditAliasRequest request = {};
        request.alias = "/tobrisk";
        request.line = &line[0];
        host.alias(0, 0, "edit_aliasRequest", &request, host.alias_userData);
        answered = answered && std::string(request.line) == "42";
        host.alias(0, 0, "edit_aliasFree", request.line, host.alias_userData);
    });
}

namespace {

void measure_chat(const Counts &counts, Table &table)
{
    fast_host::Registered host = fast_host::registered();
    if (host.alias == nullptr) return failure("no alias callback");
    eval_result("proc ::main_line {} { return 42 }");
    table.section("A chat line that calls a script's command (us per line)");
    Row &direct = table.baseline("\"/tobrisk ::main_line\", a proc of the main interpreter", "us");
    Row &supervised = table.row("\"/tobrisk ::chat_line\", exported by a script", "us");
    Row &added = table.figure("added by the supervisor per line", "us");
    bool answered = true;
    for (int round = 0; round < counts.rounds; round++) {
        double plain = chat_line(host, "/tobrisk ::main_line", counts.alias_lines, answered);
        double own = chat_line(host, "/tobrisk ::chat_line", counts.alias_lines, answered);
        direct.add(plain);
        supervised.add(own);
        added.add(own - plain);
    }
    check(answered, "every chat line was answered 42");
}

// Milliseconds of one unload, one load and one reload of the script.
void measure_reload(const Counts &counts, Table &table)
{
    // A round's figure is the mean of its cycles; the goal holds every
    // round's, not only the median round's.
    table.section("One script of 100 lines, the mean of a round's cycles (ms)");
    Row &load = table.row("::tobrisk::load", "ms");
    Row &unload = table.row("::tobrisk::unload", "ms");
    Row &reload = table.row("::tobrisk::reload", "ms");
    load.goal_max_below(5);
    unload.goal_max_below(5);
    reload.goal_max_below(5);
    int cycles = counts.rounds > 1 ? 20 : 2;
    for (int round = 0; round < counts.rounds; round++) {
        double unloading = 0, loading = 0, reloading = 0;
        for (int cycle = 0; cycle < cycles; cycle++) {
            double started = microseconds_now();
            eval_result("::tobrisk::unload bench");
            double unloaded = microseconds_now();
            eval_result("::tobrisk::load bench");
            double loaded = microseconds_now();
            eval_result("::tobrisk::reload bench");
            double reloaded = microseconds_now();
            unloading += unloaded - started;
            loading += loaded - unloaded;
            reloading += reloaded - loaded;
        }
        unload.add(ms(unloading / cycles));
        load.add(ms(loading / cycles));
        reload.add(ms(reloading / cycles));
    }
    check(eval_result("::tobrisk::state bench") == "loaded", "the script is loaded after its reloads");
}

// How often a burst of quick double-clicks arms the script's time limit:
// once, then again only when a quarter of the budget has passed, so the
// figure falls as the machine gets faster. (The tests check only that it
// arms, and far less often than it is called.)
void measure_arming(const Counts &counts, Table &table)
{
    eval_result(in_child("vellumar listAddEntry section_id 1 parent_id 1 callback {incr ::quick}").c_str());
    fast_host::Registered child = fast_host::registered();
    if (child.list == nullptr) return failure("no double-click callback for the arming");
    eval_result("set ::bench_arms 0; rename ::tobrisk::sv::arm ::tobrisk::sv::bench_arm\n"
                "proc ::tobrisk::sv::arm args { incr ::bench_arms; tailcall ::tobrisk::sv::bench_arm {*}$args }");
    table.section("A burst of quick double-clicks on a script's entry");
    Row &arms = table.figure("time limit armed, per 1,000 calls", "arms");
    for (int round = 0; round < counts.rounds; round++) {
        eval_result("set ::bench_arms 0");
        microseconds_each(counts.events, [&] { child.list(0, 0, "list_leftDoubleClick", nullptr, child.list_userData); });
        arms.add(std::atof(eval_result("set ::bench_arms").c_str()) * 1000.0 / (double)counts.events);
    }
    eval_result("rename ::tobrisk::sv::arm {}; rename ::tobrisk::sv::bench_arm ::tobrisk::sv::arm");
}

// A restricted script's calls, events and double-clicks beside the same
// script's unrestricted, and the load of each.
void measure_restricted(const Counts &counts, Table &table)
{
    std::string subscribe = std::string("vellumar eventsConnect {Connection: Change} ") + SubscribedScript;
    std::string click = "vellumar listAddEntry section_id 1 parent_id 1 callback clicked";
    fast_host::Registered full[2], restricted[2];
    const std::string *setups[2] = { &subscribe, &click };
    for (int which = 0; which < 2; which++) {
        eval_result(in_child(*setups[which]).c_str());
        full[which] = fast_host::registered();
        eval_result(in_child(*setups[which], RestrictedName).c_str());
        restricted[which] = fast_host::registered();
    }
    if (full[0].events == nullptr || restricted[0].events == nullptr || full[1].list == nullptr ||
        restricted[1].list == nullptr) {
        return failure("no callbacks for the restricted script");
    }
    fast_host::ConnectionChangeFields fields;
    fast_host::connection_change_fields(fields);
    std::string loop = "lindex [time {vellumar messageSend m 1 t hi} " + std::to_string(counts.plain_calls) + "] 0";

    table.section("A restricted script (needs: send events list) beside the same script with full power (us)");
    Row &call_full = table.baseline("vellumar messageSend, full power", "us");
    Row &call_restricted = table.row("vellumar messageSend, restricted", "us");
    call_restricted.goal_ratio(1.2);
    Row &event_full = table.baseline("an event, full power", "us");
    Row &event_restricted = table.row("an event, restricted", "us");
    event_restricted.goal_ratio(1.2);
    Row &click_full = table.baseline("a double-click, full power", "us");
    Row &click_restricted = table.row("a double-click, restricted", "us");
    click_restricted.goal_ratio(1.2);
    for (int round = 0; round < counts.rounds; round++) {
        call_full.add(std::atof(eval_result(in_child(loop).c_str()).c_str()));
        call_restricted.add(std::atof(eval_result(in_child(loop, RestrictedName).c_str()).c_str()));
        event_full.add(microseconds_each(counts.events, [&] { full[0].events(1, 0, "Connection: Change", &fields.first, full[0].events_userData); }));
        event_restricted.add(microseconds_each(counts.events, [&] { restricted[0].events(1, 0, "Connection: Change", &fields.first, restricted[0].events_userData); }));
        click_full.add(microseconds_each(counts.events, [&] { full[1].list(0, 0, "list_leftDoubleClick", nullptr, full[1].list_userData); }));
        click_restricted.add(microseconds_each(counts.events, [&] { restricted[1].list(0, 0, "list_leftDoubleClick", nullptr, restricted[1].list_userData); }));
    }
    check(eval_result(in_child("set ::last", RestrictedName).c_str()) == "3 someone@example.org JABBER online",
          "the restricted script saw the event");

    table.section("Loading the script of 100 lines, the mean of a round's cycles (ms)");
    Row &load_full = table.baseline("::tobrisk::load, full power", "ms");
    Row &load_restricted = table.row("::tobrisk::load, restricted", "ms");
    int cycles = counts.rounds > 1 ? 10 : 2;
    for (int round = 0; round < counts.rounds; round++) {
        double full_ms = 0, restricted_ms = 0;
        for (int cycle = 0; cycle < cycles; cycle++) {
            eval_result("::tobrisk::unload bench; ::tobrisk::unload benchr");
            double started = microseconds_now();
            eval_result("::tobrisk::load bench");
            double loaded = microseconds_now();
            eval_result("::tobrisk::load benchr");
            double restricted_loaded = microseconds_now();
            full_ms += loaded - started;
            restricted_ms += restricted_loaded - loaded;
        }
        load_full.add(ms(full_ms / cycles));
        load_restricted.add(ms(restricted_ms / cycles));
    }
    check(eval_result("::tobrisk::state benchr") == "loaded", "the restricted script is loaded after its reloads");
}

} // namespace

std::string filler_procs(int count)
{
    std::string text;
    for (int index = 0; index < count; index++) {
        text += "proc filler" + std::to_string(index) + " {a b} {\n"
                "    set sum [expr {$a + $b}]\n"
                "    return $sum\n"
                "}\n";
    }
    return text;
}

void measure_supervised(const Options &options, const Counts &counts, Table &table)
{
    use_init(options, MinimalInit);
    timed_load();
    if (!start_and_attach()) return;
    if (start_supervisor(options)) {
        measure_calls(counts, table);
        measure_events(counts, table);
        measure_messages(counts, table);
        measure_clicks(counts, table);
        measure_arming(counts, table);
        measure_chat(counts, table);
        measure_reload(counts, table);
        measure_restricted(counts, table);
        measure_settings(options, counts, table);
        measure_install(options, counts, table);
    }
    timed_stop();
}
