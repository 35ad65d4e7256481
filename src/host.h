// The host's plugin interface: the service function, the callback shape and
// every record exchanged with the host. The host is a 32-bit program: every
// integer and pointer in a record is 32 bits wide, little-endian, and the
// first field of a record the plugin builds is the record's own size.
#ifndef TOBRISK_HOST_H
#define TOBRISK_HOST_H

#include <stddef.h>
#include <stdint.h>

static_assert(sizeof(void *) == 4, "the host interface is 32-bit");

extern "C" {
// The host's service function: plugin GUID, service name, record or null.
typedef int32_t (__cdecl *HostSendFn)(const char *guid, const char *service, void *record);

// Every callback handed to the host: an integer, an argument no callback
// reads, the event name, the event's data and the registering userData.
typedef int32_t (__cdecl *HostCallback)(int32_t code, int32_t unused, const char *event,
                                        void *data, void *userData);
}

// Checks a record's size and one field's offset against the host's layout.
#define HOST_RECORD_SIZE(type, bytes) static_assert(sizeof(type) == (bytes), #type " size")
#define HOST_FIELD_AT(type, field, at) \
    static_assert(offsetof(type, field) == (at), #type "." #field " offset")

// --- Lifecycle ------------------------------------------------------------

// The data of "load". The plugin reads the directories and the service
// function and writes its self-description into the text fields.
struct LoadRecord {
    uint32_t unused;
    const char *config_directory;
    const char *skin_directory;
    const char *temp_directory;
    HostSendFn host_send;
    char guid[128];
    char name[256];
    char maker[256];
    char version[64];
    char description[1024];
    const char *global_config_directory;
    const char *vellumar_directory;
    const char *language_directory;
};
HOST_RECORD_SIZE(LoadRecord, 1760);
HOST_FIELD_AT(LoadRecord, config_directory, 4);
HOST_FIELD_AT(LoadRecord, skin_directory, 8);
HOST_FIELD_AT(LoadRecord, temp_directory, 12);
HOST_FIELD_AT(LoadRecord, host_send, 16);
HOST_FIELD_AT(LoadRecord, guid, 20);
HOST_FIELD_AT(LoadRecord, name, 148);
HOST_FIELD_AT(LoadRecord, maker, 404);
HOST_FIELD_AT(LoadRecord, version, 660);
HOST_FIELD_AT(LoadRecord, description, 724);
HOST_FIELD_AT(LoadRecord, global_config_directory, 1748);
HOST_FIELD_AT(LoadRecord, vellumar_directory, 1752);
HOST_FIELD_AT(LoadRecord, language_directory, 1756);

// --- Preferences page -----------------------------------------------------

// "prefsInitialize": registers the page under the plugin's name.
struct PrefsInitRecord {
    uint32_t size;
    int32_t one;
    const char *name;
    int32_t bitmap;
};
HOST_RECORD_SIZE(PrefsInitRecord, 16);
HOST_FIELD_AT(PrefsInitRecord, one, 4);
HOST_FIELD_AT(PrefsInitRecord, name, 8);
HOST_FIELD_AT(PrefsInitRecord, bitmap, 12);

// "dialogAdd" and "dialogRemove".
struct DialogRecord {
    uint32_t size;
    void *window;
};
HOST_RECORD_SIZE(DialogRecord, 8);
HOST_FIELD_AT(DialogRecord, window, 4);

// The data of "prefsShow"; the host owns it.
struct PrefsShowRecord {
    uint32_t unused0;
    int32_t show;
    const char *page;
    uint32_t unused12;
    void *parent;
    int32_t x;
    int32_t y;
    uint32_t unused28;
    char name[128];
    char description[1024];
    int32_t zero;
};
HOST_RECORD_SIZE(PrefsShowRecord, 1188);
HOST_FIELD_AT(PrefsShowRecord, show, 4);
HOST_FIELD_AT(PrefsShowRecord, page, 8);
HOST_FIELD_AT(PrefsShowRecord, parent, 16);
HOST_FIELD_AT(PrefsShowRecord, x, 20);
HOST_FIELD_AT(PrefsShowRecord, y, 24);
HOST_FIELD_AT(PrefsShowRecord, name, 32);
HOST_FIELD_AT(PrefsShowRecord, description, 160);
HOST_FIELD_AT(PrefsShowRecord, zero, 1184);

// The data of "prefsAction"; only the action is read.
struct PrefsActionRecord {
    uint32_t unused0;
    int32_t action;
};
HOST_RECORD_SIZE(PrefsActionRecord, 8);
HOST_FIELD_AT(PrefsActionRecord, action, 4);

// --- Chat alias -----------------------------------------------------------

// "editAliasRegister".
struct AliasRegisterRecord {
    uint32_t size;
    int32_t alias_id;
    const char *alias;
    HostCallback callback;
    void *userData;
};
HOST_RECORD_SIZE(AliasRegisterRecord, 20);
HOST_FIELD_AT(AliasRegisterRecord, alias_id, 4);
HOST_FIELD_AT(AliasRegisterRecord, alias, 8);
HOST_FIELD_AT(AliasRegisterRecord, callback, 12);
HOST_FIELD_AT(AliasRegisterRecord, userData, 16);

// "editAliasUnregister".
struct AliasUnregisterRecord {
    uint32_t size;
    int32_t alias_id;
    uint32_t reserved[3];
};
HOST_RECORD_SIZE(AliasUnregisterRecord, 20);
HOST_FIELD_AT(AliasUnregisterRecord, alias_id, 4);

// "keyboardAliasUnregister".
struct KeyboardAliasUnregisterRecord {
    uint32_t size;
    int32_t alias_id;
    uint32_t reserved[6];
};
HOST_RECORD_SIZE(KeyboardAliasUnregisterRecord, 32);
HOST_FIELD_AT(KeyboardAliasUnregisterRecord, alias_id, 4);

// The data of "edit_aliasRequest"; the line pointer is replaced by the answer.
struct EditAliasRequest {
    uint32_t unused[2];
    const char *alias;
    char *line;
};
HOST_RECORD_SIZE(EditAliasRequest, 16);
HOST_FIELD_AT(EditAliasRequest, alias, 8);
HOST_FIELD_AT(EditAliasRequest, line, 12);

// The data of "keyboard_aliasRequest".
struct KeyboardAliasRequest {
    uint32_t unused[5];
    char key;
    char unused21[3];
    char *answer;
};
HOST_RECORD_SIZE(KeyboardAliasRequest, 28);
HOST_FIELD_AT(KeyboardAliasRequest, key, 20);
HOST_FIELD_AT(KeyboardAliasRequest, answer, 24);

// --- Contact-list entries -------------------------------------------------

struct ListEntryInnerBlock {
    uint32_t size;
    int32_t one;
    uint8_t zero[32];
    int32_t absent[6];
};
HOST_RECORD_SIZE(ListEntryInnerBlock, 64);
HOST_FIELD_AT(ListEntryInnerBlock, one, 4);
HOST_FIELD_AT(ListEntryInnerBlock, zero, 8);
HOST_FIELD_AT(ListEntryInnerBlock, absent, 40);

// Shared by every "list..." service.
struct ListEntryRecord {
    uint32_t size;
    uint32_t reserved4[4];
    ListEntryInnerBlock inner;
    int32_t section_id;
    int32_t parent_id;
    int32_t previous_id;
    int32_t unique_id;
    int32_t group;
    int32_t section;
    int32_t drag_and_drop;
    int32_t inline_editing;
    int32_t selectable;
    int32_t expanded;
    int32_t auto_expand;
    int32_t no_group_icon;
    int32_t no_double_click;
    int32_t owner_drawn;
    int32_t no_section_margins;
    int32_t floating;
    int32_t floating_x;
    int32_t floating_y;
    const char *tooltip;
    const char *text;
    const char *edit_string;
    const char *real_name;
    void *userData;
    uint32_t reserved176;
    HostCallback callback;
    int32_t inline_editing_quick;
};
HOST_RECORD_SIZE(ListEntryRecord, 188);
HOST_FIELD_AT(ListEntryRecord, reserved4, 4);
HOST_FIELD_AT(ListEntryRecord, inner, 20);
HOST_FIELD_AT(ListEntryRecord, section_id, 84);
HOST_FIELD_AT(ListEntryRecord, parent_id, 88);
HOST_FIELD_AT(ListEntryRecord, previous_id, 92);
HOST_FIELD_AT(ListEntryRecord, unique_id, 96);
HOST_FIELD_AT(ListEntryRecord, group, 100);
HOST_FIELD_AT(ListEntryRecord, section, 104);
HOST_FIELD_AT(ListEntryRecord, drag_and_drop, 108);
HOST_FIELD_AT(ListEntryRecord, inline_editing, 112);
HOST_FIELD_AT(ListEntryRecord, selectable, 116);
HOST_FIELD_AT(ListEntryRecord, expanded, 120);
HOST_FIELD_AT(ListEntryRecord, auto_expand, 124);
HOST_FIELD_AT(ListEntryRecord, no_group_icon, 128);
HOST_FIELD_AT(ListEntryRecord, no_double_click, 132);
HOST_FIELD_AT(ListEntryRecord, owner_drawn, 136);
HOST_FIELD_AT(ListEntryRecord, no_section_margins, 140);
HOST_FIELD_AT(ListEntryRecord, floating, 144);
HOST_FIELD_AT(ListEntryRecord, floating_x, 148);
HOST_FIELD_AT(ListEntryRecord, floating_y, 152);
HOST_FIELD_AT(ListEntryRecord, tooltip, 156);
HOST_FIELD_AT(ListEntryRecord, text, 160);
HOST_FIELD_AT(ListEntryRecord, edit_string, 164);
HOST_FIELD_AT(ListEntryRecord, real_name, 168);
HOST_FIELD_AT(ListEntryRecord, userData, 172);
HOST_FIELD_AT(ListEntryRecord, reserved176, 176);
HOST_FIELD_AT(ListEntryRecord, callback, 180);
HOST_FIELD_AT(ListEntryRecord, inline_editing_quick, 184);

// --- Event subscriptions --------------------------------------------------

// "eventsConnect" and "eventsDisconnect".
struct EventsRecord {
    uint32_t size;
    const char *type;
    int32_t event_id;
    HostCallback callback;
    void *userData;
};
HOST_RECORD_SIZE(EventsRecord, 20);
HOST_FIELD_AT(EventsRecord, type, 4);
HOST_FIELD_AT(EventsRecord, event_id, 8);
HOST_FIELD_AT(EventsRecord, callback, 12);
HOST_FIELD_AT(EventsRecord, userData, 16);

// One link of the name/value chain that an event callback receives.
struct EventField {
    uint32_t unused0;
    const char *name;
    uint32_t unused8;
    const void *value;
    uint32_t unused16;
    const EventField *next;
};
HOST_RECORD_SIZE(EventField, 24);
HOST_FIELD_AT(EventField, name, 4);
HOST_FIELD_AT(EventField, value, 12);
HOST_FIELD_AT(EventField, next, 20);

// --- Enumeration ----------------------------------------------------------

// "connectionEnumerate".
struct ConnectionEnumRecord {
    uint32_t size;
    const char *medium;
    HostCallback callback;
    void *userData;
};
HOST_RECORD_SIZE(ConnectionEnumRecord, 16);
HOST_FIELD_AT(ConnectionEnumRecord, medium, 4);
HOST_FIELD_AT(ConnectionEnumRecord, callback, 8);
HOST_FIELD_AT(ConnectionEnumRecord, userData, 12);

// "contactlistEnumerate".
struct ContactEnumRecord {
    uint32_t size;
    const char *medium;
    int32_t connection_id;
    HostCallback callback;
    void *userData;
    const char *section;
};
HOST_RECORD_SIZE(ContactEnumRecord, 24);
HOST_FIELD_AT(ContactEnumRecord, medium, 4);
HOST_FIELD_AT(ContactEnumRecord, connection_id, 8);
HOST_FIELD_AT(ContactEnumRecord, callback, 12);
HOST_FIELD_AT(ContactEnumRecord, userData, 16);
HOST_FIELD_AT(ContactEnumRecord, section, 20);

// The data of "enum_add": a text, an integer, then texts (three for a
// connection, six for a contact).
struct EnumEntry {
    uint32_t unused0;
    const char *first;
    int32_t number;
    const char *texts[6];
};
HOST_RECORD_SIZE(EnumEntry, 36);
HOST_FIELD_AT(EnumEntry, first, 4);
HOST_FIELD_AT(EnumEntry, number, 8);
HOST_FIELD_AT(EnumEntry, texts, 12);

// --- Messages, alerts, HTTP -----------------------------------------------

// "messageSend".
struct MessageSendRecord {
    uint32_t size;
    const char *medium;
    int32_t connection_id;
    const char *target;
    const char *kind;
    const char *text;
    uint8_t reserved[28];
};
HOST_RECORD_SIZE(MessageSendRecord, 52);
HOST_FIELD_AT(MessageSendRecord, medium, 4);
HOST_FIELD_AT(MessageSendRecord, connection_id, 8);
HOST_FIELD_AT(MessageSendRecord, target, 12);
HOST_FIELD_AT(MessageSendRecord, kind, 16);
HOST_FIELD_AT(MessageSendRecord, text, 20);
HOST_FIELD_AT(MessageSendRecord, reserved, 24);

// "systraySetAlert": the text comes before the type.
struct AlertRecord {
    uint32_t size;
    const char *text;
    const char *type;
    int32_t word_wrap;
    int32_t formatted;
    int32_t has_link;
    HostCallback callback;
    char *link;
    uint32_t reserved;
};
HOST_RECORD_SIZE(AlertRecord, 36);
HOST_FIELD_AT(AlertRecord, text, 4);
HOST_FIELD_AT(AlertRecord, type, 8);
HOST_FIELD_AT(AlertRecord, word_wrap, 12);
HOST_FIELD_AT(AlertRecord, formatted, 16);
HOST_FIELD_AT(AlertRecord, has_link, 20);
HOST_FIELD_AT(AlertRecord, callback, 24);
HOST_FIELD_AT(AlertRecord, link, 28);
HOST_FIELD_AT(AlertRecord, reserved, 32);

// "httpFileRequest".
struct HttpRequestRecord {
    uint32_t size;
    const char *url;
    HostCallback callback;
    void *userData;
};
HOST_RECORD_SIZE(HttpRequestRecord, 16);
HOST_FIELD_AT(HttpRequestRecord, url, 4);
HOST_FIELD_AT(HttpRequestRecord, callback, 8);
HOST_FIELD_AT(HttpRequestRecord, userData, 12);

// The data of an HTTP completion.
struct HttpCompletion {
    uint32_t unused[2];
    const char *bytes;
    int32_t count;
};
HOST_RECORD_SIZE(HttpCompletion, 16);
HOST_FIELD_AT(HttpCompletion, bytes, 8);
HOST_FIELD_AT(HttpCompletion, count, 12);

#endif
