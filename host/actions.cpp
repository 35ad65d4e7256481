// What the messenger's user and network do that reaches the plugin.
#include "actions.h"

#include <cstring>
#include <vector>

#include "words.h"

namespace {

// Sends an alert's callback an event; "alert_destroy" also ends the alert.
void alert_event(Session &session, int32_t number, const char *event)
{
    auto found = session.model.alerts.find(number);
    if (found == session.model.alerts.end()) {
        session.error("no alert " + std::to_string(number));
        return;
    }
    Alert alert = found->second;
    if (std::string(event) == "alert_destroy") {
        session.model.alerts.erase(found);
        session.journal.add(Happened::AlertClosed, alert.text);
    }
    session.call_back(std::string(event) + " alert " + std::to_string(number), alert.callback, 0, event, nullptr,
                      alert.userData);
}

} // namespace

void connection_change(Session &session, Connection &connection)
{
    // The texts are copied: a script may change the model while it runs.
    int32_t cid = connection.id;
    std::string name = connection.name, medium = connection.medium, status = connection.status;
    std::string fields = "cid=" + std::to_string(cid) + " name=" + quoted(name) + " medium=" + quoted(medium) +
                         " status=" + quoted(status);
    if (session.model.subscriptions.empty()) {
        session.out.line("Connection: Change " + fields + ": no subscriptions");
        return;
    }
    std::vector<int32_t> ids;
    for (const auto &subscription : session.model.subscriptions) ids.push_back(subscription.first);
    for (int32_t id : ids) {
        auto found = session.model.subscriptions.find(id);
        if (found == session.model.subscriptions.end()) continue;
        Subscription subscription = found->second;
        EventField status_field = {sizeof(EventField), "status", 0, status.c_str(), 0, nullptr};
        EventField medium_field = {sizeof(EventField), "medium", 0, medium.c_str(), 0, &status_field};
        EventField name_field = {sizeof(EventField), "name", 0, name.c_str(), 0, &medium_field};
        EventField cid_field = {sizeof(EventField), "cid", 0, &cid, 0, &name_field};
        session.call_back("Connection: Change subscription " + std::to_string(id) + ": " + fields,
                          subscription.callback, 1, "Connection: Change", &cid_field, subscription.userData);
    }
}

void click(Session &session, int32_t id)
{
    const ListNode *node = session.model.list.find(id);
    if (node == nullptr) {
        session.error("no entry " + std::to_string(id) + " in the contact list");
        return;
    }
    if (!node->has_script) {
        session.out.line("entry " + std::to_string(id) + " has no double-click script");
        return;
    }
    if (node->no_double_click) {
        session.out.line("entry " + std::to_string(id) + " takes no double-clicks (no_double_click)");
        return;
    }
    // The entry as the host describes it; the script may remove the entry
    // while it runs, so nothing here points into the session.model.
    std::string text = node->text;
    HostCallback callback = node->callback;
    void *userData = node->userData;
    ListEntryRecord record;
    std::memset(&record, 0, sizeof record);
    record.size = sizeof record;
    record.section_id = node->section_id;
    record.parent_id = node->parent;
    record.previous_id = -1;
    record.unique_id = id;
    record.text = text.c_str();
    session.call_back("list_leftDoubleClick entry " + std::to_string(id), callback, 0, "list_leftDoubleClick",
                      &record, userData);
}

// A line typed into a message window: an alias at its start hands it to
// the alias's plugin, whose answer is sent in its place.
void type_line(Session &session, const std::string &line)
{
    const Alias *matched = nullptr;
    for (const auto &entry : session.model.aliases) {
        const std::string &alias = entry.second.text;
        if (!starts_with_nocase(line, alias)) continue;
        if (line.size() > alias.size() && line[alias.size()] != ' ' && line[alias.size()] != '\t') continue;
        matched = &entry.second;
        break;
    }
    if (matched == nullptr) {
        session.out.line("sent " + quoted(line));
        session.journal.add(Happened::Answer, line);
        return;
    }
    Alias alias = *matched;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    EditAliasRequest request;
    std::memset(&request, 0, sizeof request);
    request.unused[0] = sizeof request;
    request.alias = alias.text.c_str();
    request.line = buffer.data();
    int32_t handled = session.call_back("edit_aliasRequest alias " + quoted(alias.text) + " line " + quoted(line),
                                        alias.callback, 0, "edit_aliasRequest", &request, alias.userData);
    if (handled != 0) {
        session.out.line("sent " + quoted(line) + " (the alias did not answer)");
        session.journal.add(Happened::Answer, line);
        return;
    }
    std::string answer = request.line != nullptr ? request.line : "";
    session.out.line("sent " + quoted(answer));
    session.journal.add(Happened::Answer, answer);
    // The answer is the plugin's copy; it gets it back to free it.
    if (request.line != nullptr && request.line != buffer.data()) {
        session.call_back("edit_aliasFree", alias.callback, 0, "edit_aliasFree", request.line, alias.userData);
    }
}

void alert_click(Session &session, int32_t number) { alert_event(session, number, "alert_linkClick"); }
void alert_close(Session &session, int32_t number) { alert_event(session, number, "alert_destroy"); }

void close_alerts(Session &session)
{
    std::vector<int32_t> open;
    for (const auto &alert : session.model.alerts) open.push_back(alert.first);
    for (int32_t number : open) alert_close(session, number);
}
