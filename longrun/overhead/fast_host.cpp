#include "fast_host.h"

#include <cstring>

#include "messenger/messenger.h"

namespace fast_host {

const char VersionText[] = "10.0.0.1";

namespace {

Registered g_registered = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
int32_t g_next_entry_id = 0;
HttpRequestRecord g_request = {};
int32_t g_next_request_id = 0;

int32_t enumerate_connections(const ConnectionEnumRecord *record)
{
    EnumEntry entry = {};
    entry.first = "JABBER";
    entry.texts[0] = "someone@example.org";
    entry.texts[1] = "online";
    entry.texts[2] = "Someone";
    record->callback(0, 0, "enum_start", nullptr, record->userData);
    for (int index = 0; index < ConnectionCount; index++) {
        entry.number = index;
        record->callback(0, 0, "enum_add", &entry, record->userData);
    }
    record->callback(0, 0, "enum_finish", nullptr, record->userData);
    return 1;
}

int32_t __cdecl answer_at_once(const char *guid, const char *service, void *record)
{
    (void)guid;
    if (std::strcmp(service, HostServiceNames[SERVICE_messageSend]) == 0) return 0;
    if (std::strcmp(service, HostServiceNames[SERVICE_versionRequest]) == 0) return (int32_t)(intptr_t)VersionText;
    if (std::strcmp(service, HostServiceNames[SERVICE_listAddEntry]) == 0) {
        auto entry = (const ListEntryRecord *)record;
        if (entry->callback != nullptr) {
            g_registered.list = entry->callback;
            g_registered.list_userData = entry->userData;
        }
        return ++g_next_entry_id;
    }
    if (std::strcmp(service, HostServiceNames[SERVICE_httpFileRequest]) == 0) {
        g_request = *(const HttpRequestRecord *)record;
        return ++g_next_request_id;
    }
    if (std::strcmp(service, HostServiceNames[SERVICE_connectionEnumerate]) == 0) {
        return enumerate_connections((const ConnectionEnumRecord *)record);
    }
    if (std::strcmp(service, HostServiceNames[SERVICE_editAliasRegister]) == 0) {
        auto alias = (const AliasRegisterRecord *)record;
        g_registered.alias = alias->callback;
        g_registered.alias_userData = alias->userData;
        return 1;
    }
    if (std::strcmp(service, HostServiceNames[SERVICE_eventsConnect]) == 0) {
        auto events = (const EventsRecord *)record;
        g_registered.events = events->callback;
        g_registered.events_userData = events->userData;
        return 1;
    }
    return 0;
}

} // namespace

LoadRecord load_record()
{
    LoadRecord record = messenger::make_load_record(messenger::Directories());
    record.host_send = answer_at_once;
    return record;
}

const Registered &registered() { return g_registered; }

bool answer_http(const std::string &bytes)
{
    HttpRequestRecord request = g_request;
    g_request = HttpRequestRecord{};
    if (request.callback == nullptr) return false;
    HttpCompletion completion = {};
    completion.unused[0] = sizeof completion;
    completion.unused[1] = 200;
    completion.bytes = bytes.data();
    completion.count = (int32_t)bytes.size();
    request.callback(0, 0, "http_complete", &completion, request.userData);
    return true;
}

void forget_registrations() { g_registered = Registered{}; }

void connection_change_fields(ConnectionChangeFields &fields)
{
    fields.cid = 3;
    fields.status = {sizeof(EventField), "status", 0, "online", 0, nullptr};
    fields.medium = {sizeof(EventField), "medium", 0, "JABBER", 0, &fields.status};
    fields.name = {sizeof(EventField), "name", 0, "someone@example.org", 0, &fields.medium};
    fields.first = {sizeof(EventField), "cid", 0, &fields.cid, 0, &fields.name};
}

} // namespace fast_host
