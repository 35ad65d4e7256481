// The host's side of every service the plugin calls: each call is shown
// with its record's fields, answered from the model, and shown with its
// answer. Enumerations call the plugin back inside the call, as the
// messenger does.
#include <cstring>
#include <map>

#include "session.h"
#include "tobrisk_version.h"

namespace {

const char HostVersion[] = "tobrisk-host " TOBRISK_VERSION;

struct Reply {
    int32_t value = 0;
    std::string shown;   // the answer as the transcript shows it; else the value
    std::string note;    // why the host refused
};

// The call's line: opened once the record's fields are known, so that the
// callbacks an enumeration makes are nested under it.
struct CallLine {
    Session &session;
    std::string header;
    bool opened = false;
    void open(const std::string &fields)
    {
        session.out.begin(header + fields);
        opened = true;
    }
};

using Handler = Reply (*)(Session &, messenger::HostCall &, CallLine &);

template <typename Record> Record &record_of(messenger::HostCall &call)
{
    return *(Record *)call.record;
}

std::string text_field(const char *name, const char *text)
{
    return std::string(" ") + name + "=" + quoted_or_none(text);
}

std::string int_field(const char *name, int32_t value)
{
    return std::string(" ") + name + "=" + std::to_string(value);
}

std::string describe_window(Session &session, void *window)
{
    if (window == nullptr) return "none";
    if (!IsWindow((HWND)window)) return "not-a-window";
    return GetParent((HWND)window) == session.prefs_window() ? "page-in-preferences" : "window";
}

// --- Preferences ---------------------------------------------------------------

Reply prefs_initialize(Session &, messenger::HostCall &call, CallLine &line)
{
    line.open(text_field("name", record_of<PrefsInitRecord>(call).name));
    return {};
}

Reply dialog_add(Session &session, messenger::HostCall &call, CallLine &line)
{
    HWND window = (HWND)record_of<DialogRecord>(call).window;
    line.open(" window=" + describe_window(session, window));
    session.pages.push_back(window);
    return {};
}

Reply dialog_remove(Session &session, messenger::HostCall &call, CallLine &line)
{
    HWND window = (HWND)record_of<DialogRecord>(call).window;
    line.open(" window=" + describe_window(session, window));
    for (auto page = session.pages.begin(); page != session.pages.end(); ++page) {
        if (*page != window) continue;
        session.pages.erase(page);
        return {1, "", ""};
    }
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
    if (record.userData != nullptr) session.tcl_ready = true;
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

// --- Contact list -----------------------------------------------------------------

// The fields a list record gives, leaving out the ones at their defaults.
std::string list_fields(const messenger::HostCall &call)
{
    const ListEntryRecord &record = *(const ListEntryRecord *)call.record;
    std::string fields;
    for (const ListIntField &field : ListIntFields) {
        int32_t value = list_int(record, field);
        if (value != field.absent) fields += int_field(field.name, value);
    }
    if (record.tooltip != nullptr) fields += text_field("tooltip", record.tooltip);
    if (record.text != nullptr) fields += text_field("text", record.text);
    if (record.edit_string != nullptr) fields += text_field("edit_string", record.edit_string);
    if (record.real_name != nullptr) fields += text_field("real_name", record.real_name);
    if (record.callback != nullptr) fields += " callback=" + quoted(call.binding_text.value_or(""));
    return fields;
}

Reply from_outcome(const Outcome &outcome)
{
    return {outcome.answer, "", outcome.note};
}

Reply list_add_entry(Session &session, messenger::HostCall &call, CallLine &line)
{
    line.open(list_fields(call));
    ListEntryRecord &record = record_of<ListEntryRecord>(call);
    std::string script = call.binding_text.value_or("");
    return from_outcome(session.model.list.add(record, record.callback != nullptr ? &script : nullptr));
}

Reply list_remove_entry(Session &session, messenger::HostCall &call, CallLine &line)
{
    line.open(list_fields(call));
    return from_outcome(session.model.list.remove(record_of<ListEntryRecord>(call)));
}

Reply list_clear_entry(Session &session, messenger::HostCall &call, CallLine &line)
{
    line.open(list_fields(call));
    return from_outcome(session.model.list.clear(record_of<ListEntryRecord>(call)));
}

Reply list_get_group_count(Session &session, messenger::HostCall &call, CallLine &line)
{
    line.open(list_fields(call));
    return from_outcome(session.model.list.group_count(record_of<ListEntryRecord>(call)));
}

Reply list_get_section_count(Session &session, messenger::HostCall &call, CallLine &line)
{
    line.open(list_fields(call));
    return from_outcome(session.model.list.section_count(record_of<ListEntryRecord>(call)));
}

Reply list_update_text(Session &session, messenger::HostCall &call, CallLine &line)
{
    line.open(list_fields(call));
    return from_outcome(session.model.list.update_text(record_of<ListEntryRecord>(call)));
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

// --- Enumeration ----------------------------------------------------------------

// Reports entries the way the messenger does: "enum_start", one "enum_add"
// per entry, "enum_finish", all before the service call returns.
void enumerate(Session &session, HostCallback callback, void *userData, std::vector<EnumEntry> &entries,
               int text_count)
{
    session.call_back("enum_start", callback, 0, "enum_start", nullptr, userData);
    for (EnumEntry &entry : entries) {
        std::string shown = "enum_add " + quoted(entry.first) + " " + std::to_string(entry.number);
        for (int index = 0; index < text_count; index++) shown += " " + quoted(entry.texts[index]);
        session.call_back(shown, callback, 0, "enum_add", &entry, userData);
    }
    session.call_back("enum_finish", callback, 0, "enum_finish", nullptr, userData);
}

EnumEntry new_entry(const std::string &first, int32_t number)
{
    EnumEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.unused0 = sizeof entry;
    entry.first = first.c_str();
    entry.number = number;
    return entry;
}

Reply connection_enumerate(Session &session, messenger::HostCall &call, CallLine &line)
{
    ConnectionEnumRecord &record = record_of<ConnectionEnumRecord>(call);
    line.open(text_field("medium", record.medium));
    std::vector<EnumEntry> entries;
    for (const Connection *connection : session.model.connections_of(record.medium ? record.medium : "")) {
        EnumEntry entry = new_entry(connection->medium, connection->id);
        entry.texts[0] = connection->name.c_str();
        entry.texts[1] = connection->status.c_str();
        entry.texts[2] = connection->display.c_str();
        entries.push_back(entry);
    }
    enumerate(session, record.callback, record.userData, entries, 3);
    return {};
}

Reply contactlist_enumerate(Session &session, messenger::HostCall &call, CallLine &line)
{
    ContactEnumRecord &record = record_of<ContactEnumRecord>(call);
    line.open(text_field("medium", record.medium) + int_field("connection_id", record.connection_id) +
              text_field("section", record.section));
    std::vector<EnumEntry> entries;
    for (const Contact *contact :
         session.model.contacts_of(record.medium ? record.medium : "", record.connection_id, record.section)) {
        EnumEntry entry = new_entry(contact->medium, contact->connection_id);
        entry.texts[0] = contact->name.c_str();
        entry.texts[1] = contact->display.c_str();
        entry.texts[2] = contact->status.c_str();
        entry.texts[3] = contact->section.c_str();
        entry.texts[4] = contact->group.c_str();
        entry.texts[5] = contact->note.c_str();
        entries.push_back(entry);
    }
    enumerate(session, record.callback, record.userData, entries, 6);
    return {};
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
    SentMessage message;
    message.medium = connection->medium;
    message.connection_id = connection->id;
    message.target = record.target ? record.target : "";
    message.kind = record.kind ? record.kind : "";
    message.text = record.text ? record.text : "";
    session.model.messages.push_back(message);
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
    session.alerts_raised.items.push_back(alert.text);
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

struct Service {
    Handler handler;
    size_t record_size;   // 0: the service takes no record
};

const std::map<std::string, Service> &services()
{
    static const std::map<std::string, Service> table = {
        {"prefsInitialize", {prefs_initialize, sizeof(PrefsInitRecord)}},
        {"dialogAdd", {dialog_add, sizeof(DialogRecord)}},
        {"dialogRemove", {dialog_remove, sizeof(DialogRecord)}},
        {"editAliasRegister", {edit_alias_register, sizeof(AliasRegisterRecord)}},
        {"editAliasUnregister", {edit_alias_unregister, sizeof(AliasUnregisterRecord)}},
        {"keyboardAliasUnregister", {keyboard_alias_unregister, sizeof(KeyboardAliasUnregisterRecord)}},
        {"versionRequest", {version_request, 0}},
        {"listAddEntry", {list_add_entry, sizeof(ListEntryRecord)}},
        {"listRemoveEntry", {list_remove_entry, sizeof(ListEntryRecord)}},
        {"listClearEntry", {list_clear_entry, sizeof(ListEntryRecord)}},
        {"listGetGroupCount", {list_get_group_count, sizeof(ListEntryRecord)}},
        {"listGetSectionCount", {list_get_section_count, sizeof(ListEntryRecord)}},
        {"listUpdateText", {list_update_text, sizeof(ListEntryRecord)}},
        {"eventsConnect", {events_connect, sizeof(EventsRecord)}},
        {"eventsDisconnect", {events_disconnect, sizeof(EventsRecord)}},
        {"connectionEnumerate", {connection_enumerate, sizeof(ConnectionEnumRecord)}},
        {"contactlistEnumerate", {contactlist_enumerate, sizeof(ContactEnumRecord)}},
        {"messageSend", {message_send, sizeof(MessageSendRecord)}},
        {"systraySetAlert", {systray_set_alert, sizeof(AlertRecord)}},
        {"httpFileRequest", {http_file_request, sizeof(HttpRequestRecord)}},
    };
    return table;
}

} // namespace

int32_t Session::answer(messenger::HostCall &call)
{
    CallLine line{*this, "call " + call.service};
    Reply reply;
    auto found = services().find(call.service);
    if (found == services().end()) {
        reply.note = "not a service of this host";
    } else if (found->second.record_size != 0 && call.null_record) {
        reply.note = "no record";
    } else if (found->second.record_size != 0 && call.word_at(0) < found->second.record_size) {
        // A record shorter than its service's is not read at all.
        reply.note = "record of " + std::to_string(call.word_at(0)) + " bytes, too short";
    } else {
        reply = found->second.handler(*this, call, line);
    }
    if (!line.opened) line.open("");
    std::string shown = reply.shown.empty() ? std::to_string(reply.value) : reply.shown;
    out.end(shown + (reply.note.empty() ? "" : " (" + reply.note + ")"));
    return reply.value;
}
