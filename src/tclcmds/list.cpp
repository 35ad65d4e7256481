// Contact-list entries: sections, groups and entries that scripts put into
// the host's contact list, all through one shared record.
#include <stddef.h>
#include <string.h>

#include "../callbacks.h"
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

// All six services send this record: zero, then the fixed values and -1
// in every identifier, which means absent.
static void NewListEntryRecord(ListEntryRecord *record)
{
    memset(record, 0, sizeof *record);
    record->size = sizeof *record;
    record->inner.size = sizeof record->inner;
    record->inner.one = 1;
    for (int index = 0; index < 6; index++) record->inner.absent[index] = -1;
    record->section_id = -1;
    record->parent_id = -1;
    record->previous_id = -1;
    record->unique_id = -1;
    record->selectable = 1;
}

enum KeyKind { KEY_INTEGER, KEY_STRING, KEY_CALLBACK };

struct ListKey {
    const char *name;
    KeyKind kind;
    size_t offset;
};

#define INTEGER_KEY(field) { #field, KEY_INTEGER, offsetof(ListEntryRecord, field) }
#define STRING_KEY(field) { #field, KEY_STRING, offsetof(ListEntryRecord, field) }

static const ListKey ListKeys[] = {
    INTEGER_KEY(section_id),
    INTEGER_KEY(parent_id),
    INTEGER_KEY(previous_id),
    INTEGER_KEY(group),
    INTEGER_KEY(section),
    INTEGER_KEY(drag_and_drop),
    INTEGER_KEY(inline_editing),
    INTEGER_KEY(selectable),
    INTEGER_KEY(expanded),
    INTEGER_KEY(auto_expand),
    INTEGER_KEY(no_group_icon),
    INTEGER_KEY(no_double_click),
    INTEGER_KEY(owner_drawn),
    INTEGER_KEY(no_section_margins),
    INTEGER_KEY(floating),
    INTEGER_KEY(floating_x),
    INTEGER_KEY(floating_y),
    INTEGER_KEY(inline_editing_quick),
    STRING_KEY(tooltip),
    STRING_KEY(text),
    STRING_KEY(edit_string),
    STRING_KEY(real_name),
    { "callback", KEY_CALLBACK, 0 },
};
static_assert(sizeof ListKeys / sizeof ListKeys[0] == 23, "23 keys");

// Keys match whole and case-sensitively; the first character is tested
// before the whole word is compared.
static const ListKey *find_key(const char *name)
{
    for (const ListKey &key : ListKeys) {
        if (key.name[0] == name[0] && strcmp(key.name, name) == 0) return &key;
    }
    return NULL;
}

// Stores one key's value into the record. The callback script is only
// remembered: its binding is made once every check has passed.
static int store_pair(Tcl_Interp *interp, ListEntryRecord *record, Tcl_Obj *key_word,
                      Tcl_Obj *value, const char **callback_script)
{
    const char *name = Tcl_GetString(key_word);
    const ListKey *key = find_key(name);
    if (key == NULL) {
        Tcl_AppendResult(interp, "unknown key: \"", name, "\": should be (see documentation)", NULL);
        return TCL_ERROR;
    }
    char *field = (char *)record + key->offset;
    switch (key->kind) {
    case KEY_INTEGER:
        return Tcl_GetIntFromObj(interp, value, (int *)field);
    case KEY_STRING:
        *(const char **)field = Tcl_GetString(value);
        return TCL_OK;
    case KEY_CALLBACK:
        *callback_script = Tcl_GetString(value);
        return TCL_OK;
    }
    return TCL_OK;
}

// Sends the record with its four texts in the host's form. They point at
// the Tcl words until here, and at conversions only during the call.
static int32_t send_record(HostService service, ListEntryRecord *record)
{
    Tcl_DString tooltip, text, edit_string, real_name;
    record->tooltip = text_to_host(record->tooltip, &tooltip);
    record->text = text_to_host(record->text, &text);
    record->edit_string = text_to_host(record->edit_string, &edit_string);
    record->real_name = text_to_host(record->real_name, &real_name);
    int32_t answer = host_send(service, record);
    text_release(&tooltip);
    text_release(&text);
    text_release(&edit_string);
    text_release(&real_name);
    return answer;
}

// The combination checks, in the order the messages are given.
static const char *combination_error(const ListEntryRecord *record)
{
    bool group = record->group != 0;
    bool section = record->section != 0;
    if (group && section) return "group and section cannot both be non-zero";
    if (group && record->section_id == -1) return "section_id required when creating a group";
    if (!group && !section) {
        if (record->section_id == -1) return "section_id required when creating a list entry";
        if (record->parent_id == -1) return "parent_id required when creating a list entry";
    }
    return NULL;
}

// Where the host puts the entry: under its parent, else at the top of its
// section. A section lies under nothing.
static void note_entry(CallbackBinding *binding, const ListEntryRecord *record, int32_t id, bool is_section)
{
    if (is_section) {
        callback_binding_note_entry(binding, id, -1, -1, true);
        return;
    }
    int32_t parent = record->parent_id != -1 ? record->parent_id : record->section_id;
    callback_binding_note_entry(binding, id, parent, record->section_id, false);
}

// vellumar listAddEntry key value ?key value ...?
// The pairs come as separate words, or as one word holding a list.
int TobriskTclListAddEntry(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    static const char usage[] = "key value ?key value ...?";
    if (count < 2) {
        Tcl_WrongNumArgs(interp, 1, words, usage);
        return TCL_ERROR;
    }
    int pair_count = count - 1;
    Tcl_Obj *const *pairs = words + 1;
    if (pair_count == 1) {
        Tcl_Obj **elements;
        if (Tcl_ListObjGetElements(interp, words[1], &pair_count, &elements) != TCL_OK) {
            return TCL_ERROR;
        }
        pairs = elements;
    }
    if (pair_count % 2 != 0) {
        Tcl_WrongNumArgs(interp, 1, words, usage);
        return TCL_ERROR;
    }
    ListEntryRecord record;
    NewListEntryRecord(&record);
    const char *callback_script = NULL;
    for (int index = 0; index < pair_count; index += 2) {
        if (store_pair(interp, &record, pairs[index], pairs[index + 1], &callback_script) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    const char *error = combination_error(&record);
    if (error != NULL) {
        Tcl_AppendResult(interp, error, NULL);
        return TCL_ERROR;
    }
    CallbackBinding *binding = NULL;
    if (callback_script != NULL) {
        record.callback = TobriskTclListCallback;
        // Kept by the host for as long as the entry exists, until it
        // confirms a removal; with no host to confirm it, none is made.
        if (host_present()) binding = callback_binding_new(interp, callback_script, BINDING_LIST_ENTRY);
        record.userData = binding;
    } else if (host_present()) {
        // A script's own interpreter keeps a record of every entry it adds.
        binding = callback_binding_held(interp, BINDING_LIST_ENTRY);
    }
    int32_t answer = send_record(SERVICE_listAddEntry, &record);
    // A section's id is the script's own; the host's answer is for the rest.
    bool is_section = record.section != 0 && record.group == 0;
    int32_t id = is_section ? record.section_id : answer;
    if (binding != NULL) note_entry(binding, &record, id, is_section);
    return tclcmds_int_result(interp, id);
}

static int32_t remove_or_clear_id(int32_t id, bool section, HostService service, bool removes_entry)
{
    ListEntryRecord record;
    NewListEntryRecord(&record);
    if (section) {
        record.section_id = id;
    } else {
        record.unique_id = id;
    }
    int32_t answer = send_record(service, &record);
    if (answer == 1) callback_bindings_release_entries(id, section, removes_entry);
    return answer;
}

// ?-section? unique_id: "-section" with a number names a section instead.
// The host answers 1 when it has removed the entry with everything under
// it, or cleared what lies under it: their bindings are then released.
static int remove_or_clear(Tcl_Interp *interp, int count, Tcl_Obj *const words[], HostService service,
                           bool removes_entry)
{
    static const char usage[] = "?-section? unique_id";
    if (count != 2 && count != 3) {
        Tcl_WrongNumArgs(interp, 1, words, usage);
        return TCL_ERROR;
    }
    int32_t id;
    bool section = strcmp(Tcl_GetString(words[1]), "-section") == 0;
    if (section) {
        if (count != 3) {
            Tcl_WrongNumArgs(interp, 1, words, usage);
            return TCL_ERROR;
        }
        if (Tcl_GetIntFromObj(interp, words[2], &id) != TCL_OK) return TCL_ERROR;
    } else if (Tcl_GetIntFromObj(interp, words[1], &id) != TCL_OK) {
        return TCL_ERROR;
    }
    if (callback_bindings_check_owner(interp, section ? HELD_SECTION : HELD_ENTRY, id) != TCL_OK) {
        return TCL_ERROR;
    }
    return tclcmds_int_result(interp, remove_or_clear_id(id, section, service, removes_entry));
}

int32_t tclcmds_list_remove(int32_t id, bool section)
{
    return remove_or_clear_id(id, section, SERVICE_listRemoveEntry, true);
}

// vellumar listRemoveEntry ?-section? unique_id
int TobriskTclListRemoveEntry(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    return remove_or_clear(interp, count, words, SERVICE_listRemoveEntry, true);
}

// vellumar listClearEntry ?-section? unique_id
int TobriskTclListClearEntry(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    return remove_or_clear(interp, count, words, SERVICE_listClearEntry, false);
}

static int get_count(Tcl_Interp *interp, int count, Tcl_Obj *const words[], const char *usage,
                     HostService service, bool by_section)
{
    if (count != 2) {
        Tcl_WrongNumArgs(interp, 1, words, usage);
        return TCL_ERROR;
    }
    ListEntryRecord record;
    NewListEntryRecord(&record);
    int *field = by_section ? &record.section_id : &record.unique_id;
    if (Tcl_GetIntFromObj(interp, words[1], field) != TCL_OK) return TCL_ERROR;
    return tclcmds_int_result(interp, send_record(service, &record));
}

// vellumar listGetSectionCount section_id
int TobriskTclListGetSectionCount(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    return get_count(interp, count, words, "section_id", SERVICE_listGetSectionCount, true);
}

// vellumar listGetGroupCount unique_id
int TobriskTclListGetGroupCount(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    return get_count(interp, count, words, "unique_id", SERVICE_listGetGroupCount, false);
}

// vellumar listUpdateText unique_id text ?edit_string?
int TobriskTclListUpdateText(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count != 3 && count != 4) {
        Tcl_WrongNumArgs(interp, 1, words, "unique_id text ?edit_string?");
        return TCL_ERROR;
    }
    ListEntryRecord record;
    NewListEntryRecord(&record);
    if (Tcl_GetIntFromObj(interp, words[1], &record.unique_id) != TCL_OK) return TCL_ERROR;
    if (callback_bindings_check_owner(interp, HELD_ENTRY, record.unique_id) != TCL_OK) return TCL_ERROR;
    record.text = Tcl_GetString(words[2]);
    if (count == 4) record.edit_string = Tcl_GetString(words[3]);
    return tclcmds_int_result(interp, send_record(SERVICE_listUpdateText, &record));
}
