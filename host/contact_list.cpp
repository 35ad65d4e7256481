// The stand-in messenger's contact list and the rules that change it.
#include "contact_list.h"

#include <algorithm>
#include <cstring>

#include "words.h"


#define LIST_FIELD(field, absent) { #field, offsetof(ListEntryRecord, field), absent }

const std::vector<ListIntField> ListIntFields = {
    LIST_FIELD(section_id, -1),
    LIST_FIELD(parent_id, -1),
    LIST_FIELD(previous_id, -1),
    LIST_FIELD(unique_id, -1),
    LIST_FIELD(group, 0),
    LIST_FIELD(section, 0),
    LIST_FIELD(drag_and_drop, 0),
    LIST_FIELD(inline_editing, 0),
    LIST_FIELD(selectable, 1),
    LIST_FIELD(expanded, 0),
    LIST_FIELD(auto_expand, 0),
    LIST_FIELD(no_group_icon, 0),
    LIST_FIELD(no_double_click, 0),
    LIST_FIELD(owner_drawn, 0),
    LIST_FIELD(no_section_margins, 0),
    LIST_FIELD(floating, 0),
    LIST_FIELD(floating_x, 0),
    LIST_FIELD(floating_y, 0),
    LIST_FIELD(inline_editing_quick, 0),
};

// The flags a node keeps start after the identifiers and the two kinds.
static const size_t FirstFlag = 6;

// Identifiers the host hands out start high, so that they rarely meet the
// small numbers scripts choose for their sections.
static const int32_t FirstHostId = 1001;

int32_t list_int(const ListEntryRecord &record, const ListIntField &field)
{
    int32_t value;
    std::memcpy(&value, (const char *)&record + field.offset, sizeof value);
    return value;
}

static std::string text_or_empty(const char *text)
{
    return text != nullptr ? text : "";
}

int32_t ContactList::new_id()
{
    if (next_id_ < FirstHostId) next_id_ = FirstHostId;
    while (nodes_.count(next_id_) != 0) next_id_++;
    return next_id_++;
}

// Puts `id` after `previous` when that is one of the siblings, else last.
static void insert_after(std::vector<int32_t> &siblings, int32_t id, int32_t previous)
{
    auto found = std::find(siblings.begin(), siblings.end(), previous);
    if (previous != -1 && found != siblings.end()) {
        siblings.insert(found + 1, id);
    } else {
        siblings.push_back(id);
    }
}

Outcome ContactList::add(const ListEntryRecord &record, const std::string *script)
{
    if (record.group != 0 && record.section != 0) return {0, "an entry cannot be both a group and a section"};
    ListNode node;
    node.text = text_or_empty(record.text);
    node.tooltip = text_or_empty(record.tooltip);
    node.edit_string = text_or_empty(record.edit_string);
    node.real_name = text_or_empty(record.real_name);
    for (size_t index = FirstFlag; index < ListIntFields.size(); index++) {
        int32_t value = list_int(record, ListIntFields[index]);
        if (value != ListIntFields[index].absent) node.flags.emplace_back(ListIntFields[index].name, value);
    }
    node.no_double_click = record.no_double_click != 0;
    if (script != nullptr) {
        node.has_script = true;
        node.script = *script;
        node.callback = record.callback;
        node.userData = record.userData;
    }

    if (record.section != 0) {
        int32_t id = record.section_id;
        if (id == -1) {
            id = new_id();
        } else if (id <= 0) {
            return {0, "section identifiers are positive"};
        } else if (nodes_.count(id) != 0) {
            return {0, "identifier " + std::to_string(id) + " is taken"};
        }
        node.kind = ListNode::SECTION;
        node.id = id;
        node.section_id = id;
        insert_after(sections_, id, record.previous_id);
        nodes_[id] = node;
        return {id, ""};
    }

    auto section = nodes_.find(record.section_id);
    if (section == nodes_.end() || section->second.kind != ListNode::SECTION) {
        return {0, "no section " + std::to_string(record.section_id)};
    }
    int32_t parent = record.section_id;
    if (record.parent_id != -1 && record.parent_id != record.section_id) {
        auto found = nodes_.find(record.parent_id);
        if (found == nodes_.end() || found->second.section_id != record.section_id) {
            return {0, "no entry " + std::to_string(record.parent_id) + " in section " +
                           std::to_string(record.section_id)};
        }
        parent = record.parent_id;
    }
    node.kind = record.group != 0 ? ListNode::GROUP : ListNode::ENTRY;
    node.id = new_id();
    node.section_id = record.section_id;
    node.parent = parent;
    insert_after(nodes_[parent].children, node.id, record.previous_id);
    int32_t id = node.id;
    nodes_[id] = node;
    return {id, ""};
}

void ContactList::detach(const ListNode &node)
{
    std::vector<int32_t> &siblings = node.kind == ListNode::SECTION ? sections_ : nodes_[node.parent].children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node.id), siblings.end());
}

void ContactList::erase_subtree(int32_t id)
{
    auto found = nodes_.find(id);
    if (found == nodes_.end()) return;
    std::vector<int32_t> children = found->second.children;
    for (int32_t child : children) erase_subtree(child);
    nodes_.erase(id);
}

ListNode *ContactList::target_of(const ListEntryRecord &record, std::string &note)
{
    int32_t id = record.unique_id != -1 ? record.unique_id : record.section_id;
    if (id == -1) {
        note = "no identifier given";
        return nullptr;
    }
    auto found = nodes_.find(id);
    bool want_section = record.unique_id == -1;
    if (found == nodes_.end() || (want_section && found->second.kind != ListNode::SECTION)) {
        note = (want_section ? "no section " : "no entry ") + std::to_string(id);
        return nullptr;
    }
    return &found->second;
}

Outcome ContactList::remove(const ListEntryRecord &record)
{
    std::string note;
    ListNode *node = target_of(record, note);
    if (node == nullptr) return {0, note};
    detach(*node);
    erase_subtree(node->id);
    return {1, ""};
}

Outcome ContactList::clear(const ListEntryRecord &record)
{
    std::string note;
    ListNode *node = target_of(record, note);
    if (node == nullptr) return {0, note};
    std::vector<int32_t> children = node->children;
    for (int32_t child : children) erase_subtree(child);
    node->children.clear();
    return {1, ""};
}

Outcome ContactList::group_count(const ListEntryRecord &record) const
{
    const ListNode *node = find(record.unique_id);
    if (node == nullptr) return {-1, "no entry " + std::to_string(record.unique_id)};
    return {(int32_t)node->children.size(), ""};
}

Outcome ContactList::section_count(const ListEntryRecord &record) const
{
    const ListNode *node = find(record.section_id);
    if (node == nullptr || node->kind != ListNode::SECTION) {
        return {-1, "no section " + std::to_string(record.section_id)};
    }
    return {(int32_t)node->children.size(), ""};
}

Outcome ContactList::update_text(const ListEntryRecord &record)
{
    auto found = nodes_.find(record.unique_id);
    if (found == nodes_.end()) return {0, "no entry " + std::to_string(record.unique_id)};
    found->second.text = text_or_empty(record.text);
    if (record.edit_string != nullptr) found->second.edit_string = record.edit_string;
    return {1, ""};
}

const ListNode *ContactList::find(int32_t id) const
{
    auto found = nodes_.find(id);
    return found == nodes_.end() ? nullptr : &found->second;
}

static const char *kind_name(ListNode::Kind kind)
{
    switch (kind) {
    case ListNode::SECTION: return "section";
    case ListNode::GROUP: return "group";
    case ListNode::ENTRY: return "entry";
    }
    return "entry";
}

void ContactList::describe_node(int32_t id, int depth, std::vector<std::string> &lines) const
{
    const ListNode *node = find(id);
    if (node == nullptr) return;
    std::string line(2 * (size_t)depth, ' ');
    line += std::string(kind_name(node->kind)) + " " + std::to_string(node->id) + " " + quoted(node->text);
    if (!node->tooltip.empty()) line += " tooltip=" + quoted(node->tooltip);
    if (!node->edit_string.empty()) line += " edit_string=" + quoted(node->edit_string);
    if (!node->real_name.empty()) line += " real_name=" + quoted(node->real_name);
    for (const auto &flag : node->flags) line += " " + flag.first + "=" + std::to_string(flag.second);
    if (node->has_script) line += " double-click=" + quoted(node->script);
    lines.push_back(line);
    for (int32_t child : node->children) describe_node(child, depth + 1, lines);
}

std::vector<std::string> ContactList::describe() const
{
    std::vector<std::string> lines;
    for (int32_t section : sections_) describe_node(section, 0, lines);
    return lines;
}

void ContactList::reset()
{
    nodes_.clear();
    sections_.clear();
}
