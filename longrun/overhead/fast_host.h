// A messenger that answers at once: it keeps the callbacks that the
// plugin hands over and records nothing, so that timings see the plugin
// and Tcl only.
#ifndef TOBRISK_BENCH_FAST_HOST_H
#define TOBRISK_BENCH_FAST_HOST_H

#include <string>

#include "../src/host.h"

namespace fast_host {

// A "load" record whose service function is this host's.
LoadRecord load_record();

// What the plugin registered: the alias callback with its userData (the
// interpreter), the last event subscription with its binding and the last
// contact-list entry that has a double-click script.
struct Registered {
    HostCallback alias;
    void *alias_userData;
    HostCallback events;
    void *events_userData;
    HostCallback list;
    void *list_userData;
};
const Registered &registered();
void forget_registrations();

// The last "httpFileRequest" is kept until answer_http() answers it with
// BYTES, as a completion of 200, at once; false when none waits.
bool answer_http(const std::string &bytes);

// Entries that "connectionEnumerate" reports, each before it returns.
const int ConnectionCount = 100;
// The version text that "versionRequest" answers.
extern const char VersionText[];

// The fields of the "Connection: Change" event that the event rows send,
// linked as the host links them (cid first). The links point into the
// record itself: fill it in place with connection_change_fields().
struct ConnectionChangeFields {
    int cid;
    EventField status, medium, name, first;
};
void connection_change_fields(ConnectionChangeFields &fields);

} // namespace fast_host

#endif
