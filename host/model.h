// The stand-in messenger's state: its contact list, connections and
// contacts, and what plugins have registered with it (subscriptions,
// aliases, alerts, HTTP requests). Plain data and the rules that change it;
// nothing here calls the plugin.
#ifndef TOBRISK_HOST_MODEL_H
#define TOBRISK_HOST_MODEL_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../src/host.h"

// --- Contact list -----------------------------------------------------------

// An integer field of ListEntryRecord and the value that means "not given".
struct ListIntField {
    const char *name;
    size_t offset;
    int32_t absent;
};
// The identifiers first, then the flags, in record order.
extern const std::vector<ListIntField> ListIntFields;
int32_t list_int(const ListEntryRecord &record, const ListIntField &field);

struct ListNode {
    enum Kind { SECTION, GROUP, ENTRY };
    Kind kind = ENTRY;
    int32_t id = 0;
    int32_t section_id = 0;                 // the section it is in; its own id for a section
    int32_t parent = 0;                     // the node it hangs under; 0 for a section
    std::vector<int32_t> children;          // in display order
    std::string text, tooltip, edit_string, real_name;
    std::vector<std::pair<std::string, int32_t>> flags;   // flags that differ from the default
    bool no_double_click = false;
    HostCallback callback = nullptr;
    void *userData = nullptr;               // the plugin's; handed back on a double-click
    bool has_script = false;
    std::string script;                     // what the plugin bound to a double-click
};

// The host's answer to a service and, when it refused, why.
struct Outcome {
    int32_t answer = 0;
    std::string note;
};

// Sections take the identifier the plugin gives them (or a new one);
// groups and entries always get a new one. All share one numbering, so an
// identifier names exactly one node.
class ContactList {
public:
    Outcome add(const ListEntryRecord &record, const std::string *script);
    Outcome remove(const ListEntryRecord &record);
    Outcome clear(const ListEntryRecord &record);
    Outcome group_count(const ListEntryRecord &record) const;
    Outcome section_count(const ListEntryRecord &record) const;
    Outcome update_text(const ListEntryRecord &record);

    const ListNode *find(int32_t id) const;
    size_t size() const { return nodes_.size(); }
    // The tree as indented lines, sections in the order they were added.
    std::vector<std::string> describe() const;
    void reset();

private:
    int32_t new_id();
    void erase_subtree(int32_t id);
    void detach(const ListNode &node);
    void describe_node(int32_t id, int depth, std::vector<std::string> &lines) const;
    // The node a remove or clear names: the section with -section, else
    // the entry or group.
    ListNode *target_of(const ListEntryRecord &record, std::string &note);

    std::map<int32_t, ListNode> nodes_;
    std::vector<int32_t> sections_;
    int32_t next_id_ = 1;
};

// --- Connections and contacts ------------------------------------------------

struct Connection {
    int32_t id = 0;
    std::string medium, name, status, display;
};

struct Contact {
    std::string medium;
    int32_t connection_id = 0;
    std::string name, display, status, section, group, note;
};

// --- What plugins registered ---------------------------------------------------

struct Subscription {
    int32_t id = 0;
    std::string type, script;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Alias {
    int32_t id = 0;
    std::string text;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Alert {
    int32_t number = 0;
    std::string type, text;
    bool has_link = false;
    std::string link;
    int32_t word_wrap = 0, formatted = 0;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct Request {
    int32_t number = 0;
    std::string url;
    bool has_variable = false;
    std::string variable;
    HostCallback callback = nullptr;
    void *userData = nullptr;
};

struct SentMessage {
    std::string medium;
    int32_t connection_id = 0;
    std::string target, kind, text;
};

struct Model {
    ContactList list;
    std::vector<Connection> connections;
    std::vector<Contact> contacts;
    std::map<int32_t, Subscription> subscriptions;
    std::map<int32_t, Alias> aliases;
    std::map<int32_t, Alert> alerts;
    std::map<int32_t, Request> requests;       // not yet completed
    std::vector<SentMessage> messages;

    int32_t next_connection = 1, next_subscription = 1, next_alias = 1;
    int32_t next_alert = 1, next_request = 1;

    Connection *find_connection(const std::string &medium, const std::string &name);
    Connection *connection_by_id(const std::string &medium, int32_t id);
    // Adds a connection, or changes the status of the one of that name.
    Connection &set_connection(const std::string &medium, const std::string &name,
                               const std::string &status, const std::string &display);
    // "connection MEDIUM NAME [STATUS [DISPLAY]]" or
    // "contact MEDIUM CONNECTION NAME [DISPLAY [STATUS [SECTION [GROUP [NOTE]]]]]".
    // False with a message when the words are not such a line.
    bool add_from_words(const std::vector<std::string> &words, std::string &error);

    std::vector<const Connection *> connections_of(const std::string &medium) const;
    std::vector<const Contact *> contacts_of(const std::string &medium, int32_t connection_id,
                                             const char *section) const;

    // What a plugin registered ends with it: its entries, subscriptions,
    // aliases. Connections and contacts are the messenger's and stay.
    void forget_plugin();
};

// Whether a medium word selects a connection's medium: the same letters in
// any case; an empty word selects every medium.
bool medium_matches(const std::string &wanted, const std::string &medium);

#endif
