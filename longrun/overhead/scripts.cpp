// Calls from scripts, host events and chat lines, timed in the plugin's
// interpreter against the same work without the plugin.
#include <cstdlib>
#include <cstring>
#include <string>

#include "bare_tcl.h"
#include "fast_host.h"
#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

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

// A subscriber as a script would write it: the subscription calls a proc
// that reads the event.
}

const char *const Subscriber =
    "proc on_connection_change {} {\n"
    "    global event\n"
    "    incr ::changes\n"
    "    set ::last \"$event(connection_id) $event(name) $event(medium) $event(status)\"\n"
    "}\n"
    "set ::changes 0\n";
const char *const SubscribedScript = "on_connection_change";

namespace {

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

    fast_host::ConnectionChangeFields fields;
    fast_host::connection_change_fields(fields);
    ConnectionChange change = {fields.cid, (const char *)fields.name.value, (const char *)fields.medium.value,
                               (const char *)fields.status.value};

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
            host.events(1, 0, "Connection: Change", &fields.first, host.events_userData);
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

// Messages of the host's loop to Tcl's notifier window, each of which runs
// an idle callback armed just before it (a callback that armed the next
// itself would never let Tk's own loops over idle callbacks end). The
// baseline calls Tcl's own procedure (the window's class keeps it) on this
// thread's stack, as the loop reached it before the plugin put its own in
// front; the plugin's row calls the window's procedure, which runs Tcl's on
// the deep stack.
void measure_message_loop(const Counts &counts, Table &table)
{
    HWND notifier = messenger::notifier_window();
    if (notifier == nullptr) return failure("no notifier window");
    WNDPROC tcl_procedure = (WNDPROC)GetClassLongPtrW(notifier, GCLP_WNDPROC);
    WNDPROC window_procedure = (WNDPROC)GetWindowLongPtrW(notifier, GWLP_WNDPROC);
    check(window_procedure != tcl_procedure, "the notifier's messages go through the plugin");
    check(eval_result("set ::ticks 0; proc tick {} {incr ::ticks}") == "", "defining the idle callback");

    table.section("A timer message of the host's loop that runs an idle callback (us per message)");
    Row &bare = table.baseline("Tcl's notifier procedure on the host's stack", "us");
    Row &plugin = table.row("the same through the plugin's, on the deep stack", "us");
    Row &added = table.figure("added by the deep stack per message", "us");
    for (int round = 0; round < counts.rounds; round++) {
        double direct = microseconds_each(counts.events, [&] {
            stubs_eval("after idle tick");
            CallWindowProcW(tcl_procedure, notifier, WM_TIMER, 1, 0);
        });
        double deep = microseconds_each(counts.events, [&] {
            stubs_eval("after idle tick");
            CallWindowProcW(window_procedure, notifier, WM_TIMER, 1, 0);
        });
        bare.add(direct);
        plugin.add(deep);
        added.add(deep - direct);
    }
    long expected = 2L * counts.events * counts.rounds;
    check(eval_result("set ::ticks") == std::to_string(expected), "every message ran the callback");
}

} // namespace

void measure_scripts(const Options &options, const Counts &counts, Table &table)
{
    use_init(options, MinimalInit);
    timed_load();
    if (!start_and_attach()) return;
    measure_calls(counts, table);
    measure_events(counts, table);
    measure_alias(counts, table);
    measure_message_loop(counts, table);
    timed_stop();
}
