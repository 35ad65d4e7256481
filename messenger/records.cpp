// The layout of every record the plugin sends, by service: the table of
// services names each service's record, whose struct gives its size and
// where it keeps texts, a callback and that callback's userData. The call
// recorder, the stand-in messenger's services and the tests read records
// through it.
#include "messenger.h"

#include "../src/callbacks.h"

namespace messenger {
namespace {

#define AT(type, field) ((int)offsetof(type, field))

// Where a record keeps its texts, its callback and that callback's
// userData: one overload per record of src/host.h that the plugin sends.
struct Layout {
    std::vector<size_t> texts;
    int callback;
    int userData;
};

Layout layout_of(const PrefsInitRecord *) { return {{offsetof(PrefsInitRecord, name)}, NoField, NoField}; }
Layout layout_of(const DialogRecord *) { return {{}, NoField, NoField}; }
Layout layout_of(const AliasRegisterRecord *)
{
    return {{offsetof(AliasRegisterRecord, alias)}, AT(AliasRegisterRecord, callback), AT(AliasRegisterRecord, userData)};
}
Layout layout_of(const AliasUnregisterRecord *) { return {{}, NoField, NoField}; }
Layout layout_of(const KeyboardAliasUnregisterRecord *) { return {{}, NoField, NoField}; }
Layout layout_of(const ListEntryRecord *)
{
    return {{offsetof(ListEntryRecord, tooltip), offsetof(ListEntryRecord, text), offsetof(ListEntryRecord, edit_string),
             offsetof(ListEntryRecord, real_name)},
            AT(ListEntryRecord, callback), AT(ListEntryRecord, userData)};
}
Layout layout_of(const EventsRecord *)
{
    return {{offsetof(EventsRecord, type)}, AT(EventsRecord, callback), AT(EventsRecord, userData)};
}
Layout layout_of(const ConnectionEnumRecord *)
{
    return {{offsetof(ConnectionEnumRecord, medium)}, AT(ConnectionEnumRecord, callback),
            AT(ConnectionEnumRecord, userData)};
}
Layout layout_of(const ContactEnumRecord *)
{
    return {{offsetof(ContactEnumRecord, medium), offsetof(ContactEnumRecord, section)},
            AT(ContactEnumRecord, callback), AT(ContactEnumRecord, userData)};
}
Layout layout_of(const MessageSendRecord *)
{
    return {{offsetof(MessageSendRecord, medium), offsetof(MessageSendRecord, target), offsetof(MessageSendRecord, kind),
             offsetof(MessageSendRecord, text)},
            NoField, NoField};
}
// An alert's callback gets the link copy as its userData.
Layout layout_of(const AlertRecord *)
{
    return {{offsetof(AlertRecord, text), offsetof(AlertRecord, type), offsetof(AlertRecord, link)},
            AT(AlertRecord, callback), AT(AlertRecord, link)};
}
Layout layout_of(const HttpRequestRecord *)
{
    return {{offsetof(HttpRequestRecord, url)}, AT(HttpRequestRecord, callback), AT(HttpRequestRecord, userData)};
}

#undef AT

// The record column's two entries that are no record.
struct NullRecord;
struct NotSent;

template <typename Record> void add_shape(std::vector<RecordShape> &table, const char *service, HostHands hands)
{
    Layout layout = layout_of((const Record *)nullptr);
    table.push_back({service, sizeof(Record), layout.texts, layout.callback, layout.userData, hands != HANDS_NOTHING});
}
template <> void add_shape<NullRecord>(std::vector<RecordShape> &table, const char *service, HostHands)
{
    table.push_back({service, 0, {}, NoField, NoField, false});
}
template <> void add_shape<NotSent>(std::vector<RecordShape> &, const char *, HostHands) {}

} // namespace

const std::vector<RecordShape> &record_shapes()
{
    static const std::vector<RecordShape> table = [] {
        std::vector<RecordShape> shapes;
#define TOBRISK_SHAPE(name, handler, record, hands) add_shape<record>(shapes, #name, hands);
        TOBRISK_HOST_SERVICES(TOBRISK_SHAPE)
#undef TOBRISK_SHAPE
        return shapes;
    }();
    return table;
}

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
