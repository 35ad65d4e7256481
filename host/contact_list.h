// The stand-in messenger's contact list: the sections, groups and entries
// that plugins add, in one numbering, and the rules of the "list..."
// services that change it.
#ifndef TOBRISK_HOST_CONTACT_LIST_H
#define TOBRISK_HOST_CONTACT_LIST_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "../src/host.h"

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

#endif
