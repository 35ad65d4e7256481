// The host's answers about its contact list: the "list..." services and
// the enumerations of connections and contacts.
#include <cstring>
#include <vector>

#include "service_call.h"

namespace {

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

} // namespace

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
