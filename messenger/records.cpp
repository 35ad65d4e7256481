// The layout of every record the plugin sends, by service: its size and
// where it keeps texts, a callback and that callback's userData, read from
// the structs of the plugin's host interface. The call recorder, the
// stand-in messenger's services and the tests read records through it.
#include "messenger.h"

#include "../src/callbacks.h"

namespace messenger {
namespace {

#define AT(type, field) ((int)offsetof(type, field))

const std::vector<size_t> ListTexts = {offsetof(ListEntryRecord, tooltip), offsetof(ListEntryRecord, text),
                                       offsetof(ListEntryRecord, edit_string),
                                       offsetof(ListEntryRecord, real_name)};

// A list entry's callback gets a binding as its userData.
RecordShape list_shape(const char *service)
{
    return {service, sizeof(ListEntryRecord), ListTexts, AT(ListEntryRecord, callback),
            AT(ListEntryRecord, userData), true};
}

} // namespace

const std::vector<RecordShape> &record_shapes()
{
    static const std::vector<RecordShape> table = {
        {"prefsInitialize", sizeof(PrefsInitRecord), {offsetof(PrefsInitRecord, name)}, NoField, NoField, false},
        {"dialogAdd", sizeof(DialogRecord), {}, NoField, NoField, false},
        {"dialogRemove", sizeof(DialogRecord), {}, NoField, NoField, false},
        {"editAliasRegister", sizeof(AliasRegisterRecord), {offsetof(AliasRegisterRecord, alias)},
         AT(AliasRegisterRecord, callback), AT(AliasRegisterRecord, userData), false},
        {"editAliasUnregister", sizeof(AliasUnregisterRecord), {}, NoField, NoField, false},
        {"keyboardAliasUnregister", sizeof(KeyboardAliasUnregisterRecord), {}, NoField, NoField, false},
        {"versionRequest", 0, {}, NoField, NoField, false},
        list_shape("listAddEntry"),
        list_shape("listRemoveEntry"),
        list_shape("listClearEntry"),
        list_shape("listGetGroupCount"),
        list_shape("listGetSectionCount"),
        list_shape("listUpdateText"),
        {"eventsConnect", sizeof(EventsRecord), {offsetof(EventsRecord, type)}, AT(EventsRecord, callback),
         AT(EventsRecord, userData), true},
        {"eventsDisconnect", sizeof(EventsRecord), {offsetof(EventsRecord, type)}, AT(EventsRecord, callback),
         AT(EventsRecord, userData), true},
        {"connectionEnumerate", sizeof(ConnectionEnumRecord), {offsetof(ConnectionEnumRecord, medium)},
         AT(ConnectionEnumRecord, callback), AT(ConnectionEnumRecord, userData), false},
        {"contactlistEnumerate", sizeof(ContactEnumRecord),
         {offsetof(ContactEnumRecord, medium), offsetof(ContactEnumRecord, section)},
         AT(ContactEnumRecord, callback), AT(ContactEnumRecord, userData), false},
        {"messageSend", sizeof(MessageSendRecord),
         {offsetof(MessageSendRecord, medium), offsetof(MessageSendRecord, target), offsetof(MessageSendRecord, kind),
          offsetof(MessageSendRecord, text)},
         NoField, NoField, false},
        // An alert's callback gets the link copy as its userData.
        {"systraySetAlert", sizeof(AlertRecord),
         {offsetof(AlertRecord, text), offsetof(AlertRecord, type), offsetof(AlertRecord, link)},
         AT(AlertRecord, callback), AT(AlertRecord, link), false},
        {"httpFileRequest", sizeof(HttpRequestRecord), {offsetof(HttpRequestRecord, url)},
         AT(HttpRequestRecord, callback), AT(HttpRequestRecord, userData), true},
    };
    return table;
}

#undef AT

const RecordShape *record_shape(const std::string &service)
{
    for (const RecordShape &shape : record_shapes()) {
        if (service == shape.service) return &shape;
    }
    return nullptr;
}

const char *binding_text(const void *binding)
{
    if (binding == nullptr) return nullptr;
    return ((const CallbackBinding *)binding)->text;
}

Tcl_Interp *binding_interp(const void *binding)
{
    if (binding == nullptr) return nullptr;
    return ((const CallbackBinding *)binding)->interp;
}

} // namespace messenger
