// The host's answers to the plugin's service calls, one handler per
// service in a table of names; the size of each service's record comes
// from the host library's table of record layouts.
#include "services.h"

#include <cstring>
#include <map>

#include "prefs.h"
#include "service_call.h"
#include "tobrisk_version.h"
#include "words.h"

namespace {

const char HostVersion[] = "tobrisk-host " TOBRISK_VERSION;

// --- Preferences ---------------------------------------------------------------

Reply prefs_initialize(Session &, messenger::HostCall &call, CallLine &line)
{
    line.open(text_field("name", record_of<PrefsInitRecord>(call).name));
    return {};
}

Reply dialog_add(Session &, messenger::HostCall &call, CallLine &line)
{
    HWND window = (HWND)record_of<DialogRecord>(call).window;
    line.open(" window=" + describe_window(window));
    prefs_page_added(window);
    return {};
}

Reply dialog_remove(Session &, messenger::HostCall &call, CallLine &line)
{
    HWND window = (HWND)record_of<DialogRecord>(call).window;
    line.open(" window=" + describe_window(window));
    if (prefs_page_removed(window)) return {1, "", ""};
    return {0, "", "not added"};
}

// --- Chat alias -----------------------------------------------------------------

Reply edit_alias_register(Session &session, messenger::HostCall &call, CallLine &line)
{
    AliasRegisterRecord &record = record_of<AliasRegisterRecord>(call);
    line.open(text_field("alias", record.alias));
    if (record.alias == nullptr || record.alias[0] == '\0') return {0, "", "no alias text"};
    Alias alias;
    alias.id = session.model.next_alias++;
    alias.text = record.alias;
    alias.callback = record.callback;
    alias.userData = record.userData;
    session.model.aliases[alias.id] = alias;
    // The userData of the plugin's alias is its interpreter.
    if (record.userData != nullptr) session.set_tcl_ready();
    return {alias.id, "", ""};
}

Reply edit_alias_unregister(Session &session, messenger::HostCall &call, CallLine &line)
{
    int32_t id = record_of<AliasUnregisterRecord>(call).alias_id;
    line.open(int_field("id", id));
    if (session.model.aliases.erase(id) == 0) return {0, "", "no alias " + std::to_string(id)};
    return {1, "", ""};
}

// This host registers no keyboard aliases, so there is never one to end.
Reply keyboard_alias_unregister(Session &, messenger::HostCall &call, CallLine &line)
{
    int32_t id = record_of<KeyboardAliasUnregisterRecord>(call).alias_id;
    line.open(int_field("id", id));
    return {0, "", id == -1 ? "" : "no keyboard alias " + std::to_string(id)};
}

Reply version_request(Session &, messenger::HostCall &, CallLine &)
{
    return {(int32_t)(intptr_t)HostVersion, quoted(HostVersion), ""};
}

// --- Event subscriptions --------------------------------------------------------

Reply events_connect(Session &session, messenger::HostCall &call, CallLine &line)
{
    EventsRecord &record = record_of<EventsRecord>(call);
    line.open(text_field("type", record.type) + " script=" + quoted(call.binding_text.value_or("")));
    Subscription subscription;
    subscription.id = session.model.next_subscription++;
    subscription.type = record.type != nullptr ? record.type : "";
    subscription.script = call.binding_text.value_or("");
    subscription.callback = record.callback;
    subscription.userData = record.userData;
    session.model.subscriptions[subscription.id] = subscription;
    return {subscription.id, "", ""};
}

Reply events_disconnect(Session &session, messenger::HostCall &call, CallLine &line)
{
    int32_t id = record_of<EventsRecord>(call).event_id;
    line.open(int_field("id", id));
    if (session.model.subscriptions.erase(id) == 0) return {0, "", "no subscription " + std::to_string(id)};
    return {1, "", ""};
}

// --- Messages, alerts, HTTP -----------------------------------------------------

// A message goes out on a connection that exists and is not offline.
Reply message_send(Session &session, messenger::HostCall &call, CallLine &line)
{
    MessageSendRecord &record = record_of<MessageSendRecord>(call);
    line.open(text_field("medium", record.medium) + int_field("connection_id", record.connection_id) +
              text_field("target", record.target) + text_field("kind", record.kind) +
              text_field("text", record.text));
    std::string medium = record.medium ? record.medium : "";
    Connection *connection = session.model.connection_by_id(medium, record.connection_id);
    if (connection == nullptr) {
        return {0, "", "no " + medium + " connection " + std::to_string(record.connection_id)};
    }
    if (connection->status == "offline") {
        return {0, "", connection->medium + " connection " + std::to_string(connection->id) + " is offline"};
    }
    session.journal.add(Happened::Sent, record.text ? record.text : "", record.target ? record.target : "");
    return {1, "", ""};
}

Reply systray_set_alert(Session &session, messenger::HostCall &call, CallLine &line)
{
    AlertRecord &record = record_of<AlertRecord>(call);
    std::string fields = text_field("type", record.type) + text_field("text", record.text);
    if (record.has_link) fields += text_field("link", record.link);
    fields += int_field("word_wrap", record.word_wrap) + int_field("formatted", record.formatted);
    line.open(fields);
    Alert alert;
    alert.number = session.model.next_alert++;
    alert.type = record.type ? record.type : "";
    alert.text = record.text ? record.text : "";
    alert.has_link = record.has_link != 0;
    alert.link = record.link ? record.link : "";
    alert.word_wrap = record.word_wrap;
    alert.formatted = record.formatted;
    alert.callback = record.callback;
    alert.userData = record.link;
    session.model.alerts[alert.number] = alert;
    session.journal.add(Happened::AlertRaised, alert.text);
    return {alert.number, "", ""};
}

// The request completes later, when the host next pumps.
Reply http_file_request(Session &session, messenger::HostCall &call, CallLine &line)
{
    HttpRequestRecord &record = record_of<HttpRequestRecord>(call);
    std::string fields = text_field("url", record.url);
    if (call.binding_text) fields += " variable=" + quoted(*call.binding_text);
    line.open(fields);
    Request request;
    request.number = session.model.next_request++;
    request.url = record.url ? record.url : "";
    request.has_variable = call.binding_text.has_value();
    request.variable = call.binding_text.value_or("");
    request.callback = record.callback;
    request.userData = record.userData;
    session.model.requests[request.number] = request;
    return {request.number, "", ""};
}

const std::map<std::string, Handler> &services()
{
    static const std::map<std::string, Handler> table = {
        {"prefsInitialize", prefs_initialize},
        {"dialogAdd", dialog_add},
        {"dialogRemove", dialog_remove},
        {"editAliasRegister", edit_alias_register},
        {"editAliasUnregister", edit_alias_unregister},
        {"keyboardAliasUnregister", keyboard_alias_unregister},
        {"versionRequest", version_request},
        {"listAddEntry", list_add_entry},
        {"listRemoveEntry", list_remove_entry},
        {"listClearEntry", list_clear_entry},
        {"listGetGroupCount", list_get_group_count},
        {"listGetSectionCount", list_get_section_count},
        {"listUpdateText", list_update_text},
        {"eventsConnect", events_connect},
        {"eventsDisconnect", events_disconnect},
        {"connectionEnumerate", connection_enumerate},
        {"contactlistEnumerate", contactlist_enumerate},
        {"messageSend", message_send},
        {"systraySetAlert", systray_set_alert},
        {"httpFileRequest", http_file_request},
    };
    return table;
}

} // namespace

int32_t answer_service(Session &session, messenger::HostCall &call)
{
    CallLine line{session, "call " + call.service};
    Reply reply;
    auto found = services().find(call.service);
    const messenger::RecordShape *shape = messenger::record_shape(call.service);
    size_t record_size = shape != nullptr ? shape->size : 0;
    if (found == services().end()) {
        reply.note = "not a service of this host";
    } else if (record_size != 0 && call.null_record) {
        reply.note = "no record";
    } else if (record_size != 0 && call.word_at(0) < record_size) {
        // A record shorter than its service's is not read at all.
        reply.note = "record of " + std::to_string(call.word_at(0)) + " bytes, too short";
    } else {
        reply = found->second(session, call, line);
    }
    if (!line.opened) line.open("");
    std::string shown = reply.shown.empty() ? std::to_string(reply.value) : reply.shown;
    session.out.end(shown + (reply.note.empty() ? "" : " (" + reply.note + ")"));
    return reply.value;
}
