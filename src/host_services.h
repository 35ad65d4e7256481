// The host's services: one table of the 99 names, in the host's order,
// with what the plugin does with each. The `vellumar` command, its
// handlers, the plugin's own calls, the host library that plays the
// messenger, the stand-in messenger, the supervisor (through
// ::tobrisk::service_names) and the hosts of the tests all read it. Only
// tests that check what the plugin sent spell names out again, as the
// messenger does, and so check this table as well. The index of a name is
// its position: it selects the handler, and it is the order in which Tcl's
// lookup error lists the names to a script.
//
// One line per service: SERVICE(name, handler, record, hands)
//   handler  the `vellumar` handler; NoHandler: answered "not yet implemented"
//   record   the record the plugin sends (src/host.h); NullRecord: a null
//            pointer; NotSent: the plugin never calls the service
//   hands    what the record's userData hands the host to keep for a later
//            callback: a binding with a script to run, one with the name
//            of a variable to set, or nothing of the kind
#ifndef TOBRISK_SERVICE_TABLE_H
#define TOBRISK_SERVICE_TABLE_H

#include <string.h>

// clang-format off
#define TOBRISK_HOST_SERVICES(SERVICE) \
    SERVICE(systraySetAlert,               TobriskTclSystraySetAlert,      AlertRecord,                   HANDS_NOTHING) /*  0 */ \
    SERVICE(prefsInitialize,               NoHandler,                      PrefsInitRecord,               HANDS_NOTHING) /*  1 */ \
    SERVICE(prefsOpen,                     NoHandler,                      NotSent,                       HANDS_NOTHING) /*  2 */ \
    SERVICE(editAliasRegister,             NoHandler,                      AliasRegisterRecord,           HANDS_NOTHING) /*  3 */ \
    SERVICE(editAliasUnregister,           NoHandler,                      AliasUnregisterRecord,         HANDS_NOTHING) /*  4 */ \
    SERVICE(keyboardAliasRegister,         NoHandler,                      NotSent,                       HANDS_NOTHING) /*  5 */ \
    SERVICE(keyboardAliasUnregister,       NoHandler,                      KeyboardAliasUnregisterRecord, HANDS_NOTHING) /*  6 */ \
    SERVICE(editEventRegister,             NoHandler,                      NotSent,                       HANDS_NOTHING) /*  7 */ \
    SERVICE(editEventUnregister,           NoHandler,                      NotSent,                       HANDS_NOTHING) /*  8 */ \
    SERVICE(editEventSend,                 NoHandler,                      NotSent,                       HANDS_NOTHING) /*  9 */ \
    SERVICE(listAddEntry,                  TobriskTclListAddEntry,         ListEntryRecord,               HANDS_SCRIPT) /* 10 */ \
    SERVICE(listRemoveEntry,               TobriskTclListRemoveEntry,      ListEntryRecord,               HANDS_NOTHING) /* 11 */ \
    SERVICE(listClearEntry,                TobriskTclListClearEntry,       ListEntryRecord,               HANDS_NOTHING) /* 12 */ \
    SERVICE(listGetSectionCount,           TobriskTclListGetSectionCount,  ListEntryRecord,               HANDS_NOTHING) /* 13 */ \
    SERVICE(listGetGroupCount,             TobriskTclListGetGroupCount,    ListEntryRecord,               HANDS_NOTHING) /* 14 */ \
    SERVICE(listGetExpandState,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 15 */ \
    SERVICE(listUpdateText,                TobriskTclListUpdateText,       ListEntryRecord,               HANDS_NOTHING) /* 16 */ \
    SERVICE(listUpdateFont,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 17 */ \
    SERVICE(listUpdateTooltip,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 18 */ \
    SERVICE(listUpdateIcon,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 19 */ \
    SERVICE(listUpdateExpandState,         NoHandler,                      NotSent,                       HANDS_NOTHING) /* 20 */ \
    SERVICE(listSuppressRedraw,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 21 */ \
    SERVICE(listRedrawEntry,               NoHandler,                      NotSent,                       HANDS_NOTHING) /* 22 */ \
    SERVICE(listUpdateSectionMenu,         NoHandler,                      NotSent,                       HANDS_NOTHING) /* 23 */ \
    SERVICE(listUpdateSectionMultiMenu,    NoHandler,                      NotSent,                       HANDS_NOTHING) /* 24 */ \
    SERVICE(dialogAdd,                     NoHandler,                      DialogRecord,                  HANDS_NOTHING) /* 25 */ \
    SERVICE(dialogRemove,                  NoHandler,                      DialogRecord,                  HANDS_NOTHING) /* 26 */ \
    SERVICE(contactlistEnumerate,          TobriskTclContactlistEnumerate, ContactEnumRecord,             HANDS_NOTHING) /* 27 */ \
    SERVICE(contactlistAdd,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 28 */ \
    SERVICE(contactlistAddGroupRequest,    NoHandler,                      NotSent,                       HANDS_NOTHING) /* 29 */ \
    SERVICE(contactlistRemove,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 30 */ \
    SERVICE(contactlistUpdate,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 31 */ \
    SERVICE(contactlistSubcontactAdd,      NoHandler,                      NotSent,                       HANDS_NOTHING) /* 32 */ \
    SERVICE(contactlistSubcontactRemove,   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 33 */ \
    SERVICE(contactlistSubcontactUpdate,   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 34 */ \
    SERVICE(contactlistSectionEnumerate,   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 35 */ \
    SERVICE(contactlistTooltipRegister,    NoHandler,                      NotSent,                       HANDS_NOTHING) /* 36 */ \
    SERVICE(contactlistTooltipUnregister,  NoHandler,                      NotSent,                       HANDS_NOTHING) /* 37 */ \
    SERVICE(connectionEnumerate,           TobriskTclConnectionEnumerate,  ConnectionEnumRecord,          HANDS_NOTHING) /* 38 */ \
    SERVICE(connectionAdd,                 NoHandler,                      NotSent,                       HANDS_NOTHING) /* 39 */ \
    SERVICE(connectionRemove,              NoHandler,                      NotSent,                       HANDS_NOTHING) /* 40 */ \
    SERVICE(connectionUpdate,              NoHandler,                      NotSent,                       HANDS_NOTHING) /* 41 */ \
    SERVICE(connectionBytesUpdate,         NoHandler,                      NotSent,                       HANDS_NOTHING) /* 42 */ \
    SERVICE(messageSend,                   TobriskTclMessageSend,          MessageSendRecord,             HANDS_NOTHING) /* 43 */ \
    SERVICE(messageBroadcastEnable,        NoHandler,                      NotSent,                       HANDS_NOTHING) /* 44 */ \
    SERVICE(messageBroadcastDisable,       NoHandler,                      NotSent,                       HANDS_NOTHING) /* 45 */ \
    SERVICE(messageOpen,                   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 46 */ \
    SERVICE(messageUpdate,                 NoHandler,                      NotSent,                       HANDS_NOTHING) /* 47 */ \
    SERVICE(messageReceive,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 48 */ \
    SERVICE(messageMenuAdd,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 49 */ \
    SERVICE(messageMenuRemove,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 50 */ \
    SERVICE(messageStateSet,               NoHandler,                      NotSent,                       HANDS_NOTHING) /* 51 */ \
    SERVICE(messageNicklistAdd,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 52 */ \
    SERVICE(messageNicklistRemove,         NoHandler,                      NotSent,                       HANDS_NOTHING) /* 53 */ \
    SERVICE(messageNicklistChange,         NoHandler,                      NotSent,                       HANDS_NOTHING) /* 54 */ \
    SERVICE(messageMorph,                  NoHandler,                      NotSent,                       HANDS_NOTHING) /* 55 */ \
    SERVICE(messageToolbarRegister,        NoHandler,                      NotSent,                       HANDS_NOTHING) /* 56 */ \
    SERVICE(messageToolbarUnregister,      NoHandler,                      NotSent,                       HANDS_NOTHING) /* 57 */ \
    SERVICE(mediumAdd,                     NoHandler,                      NotSent,                       HANDS_NOTHING) /* 58 */ \
    SERVICE(mediumRemove,                  NoHandler,                      NotSent,                       HANDS_NOTHING) /* 59 */ \
    SERVICE(skinAdd,                       NoHandler,                      NotSent,                       HANDS_NOTHING) /* 60 */ \
    SERVICE(skinEnumerate,                 NoHandler,                      NotSent,                       HANDS_NOTHING) /* 61 */ \
    SERVICE(avatarLocalSet,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 62 */ \
    SERVICE(avatarLocalGet,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 63 */ \
    SERVICE(avatarRemoteSet,               NoHandler,                      NotSent,                       HANDS_NOTHING) /* 64 */ \
    SERVICE(avatarRemoteGet,               NoHandler,                      NotSent,                       HANDS_NOTHING) /* 65 */ \
    SERVICE(versionRequest,                TobriskTclVersionRequest,       NullRecord,                    HANDS_NOTHING) /* 66 */ \
    SERVICE(eventsActionRegister,          NoHandler,                      NotSent,                       HANDS_NOTHING) /* 67 */ \
    SERVICE(eventsActionUnregister,        NoHandler,                      NotSent,                       HANDS_NOTHING) /* 68 */ \
    SERVICE(eventsStatusRegister,          NoHandler,                      NotSent,                       HANDS_NOTHING) /* 69 */ \
    SERVICE(eventsStatusUnregister,        NoHandler,                      NotSent,                       HANDS_NOTHING) /* 70 */ \
    SERVICE(eventsExecute,                 NoHandler,                      NotSent,                       HANDS_NOTHING) /* 71 */ \
    SERVICE(eventsGenerate,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 72 */ \
    SERVICE(eventsDisconnect,              TobriskTclEventsDisconnect,     EventsRecord,                  HANDS_NOTHING) /* 73 */ \
    SERVICE(eventsConnect,                 TobriskTclEventsConnect,        EventsRecord,                  HANDS_SCRIPT) /* 74 */ \
    SERVICE(eventsEventRegister,           NoHandler,                      NotSent,                       HANDS_NOTHING) /* 75 */ \
    SERVICE(eventsEventUnregister,         NoHandler,                      NotSent,                       HANDS_NOTHING) /* 76 */ \
    SERVICE(eventsEventUpdate,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 77 */ \
    SERVICE(eventsActionUpdate,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 78 */ \
    SERVICE(eventsStatusUpdate,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 79 */ \
    SERVICE(browserOpen,                   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 80 */ \
    SERVICE(browserRegister,               NoHandler,                      NotSent,                       HANDS_NOTHING) /* 81 */ \
    SERVICE(browserUnregister,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 82 */ \
    SERVICE(browserSetDefault,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 83 */ \
    SERVICE(browserGetDefault,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 84 */ \
    SERVICE(accountsAdd,                   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 85 */ \
    SERVICE(accountsUpdate,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 86 */ \
    SERVICE(accountsRemove,                NoHandler,                      NotSent,                       HANDS_NOTHING) /* 87 */ \
    SERVICE(filetransferInit,              NoHandler,                      NotSent,                       HANDS_NOTHING) /* 88 */ \
    SERVICE(filetransferUpdate,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 89 */ \
    SERVICE(filetransferStatus,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 90 */ \
    SERVICE(xmlGenerateTree,               NoHandler,                      NotSent,                       HANDS_NOTHING) /* 91 */ \
    SERVICE(xmlFreeTree,                   NoHandler,                      NotSent,                       HANDS_NOTHING) /* 92 */ \
    SERVICE(xmlComposeString,              NoHandler,                      NotSent,                       HANDS_NOTHING) /* 93 */ \
    SERVICE(pluginExternalSend,            NoHandler,                      NotSent,                       HANDS_NOTHING) /* 94 */ \
    SERVICE(pluginExternalEnumerateAPI,    NoHandler,                      NotSent,                       HANDS_NOTHING) /* 95 */ \
    SERVICE(pluginRegisterAPI,             NoHandler,                      NotSent,                       HANDS_NOTHING) /* 96 */ \
    SERVICE(pluginUnregisterAPI,           NoHandler,                      NotSent,                       HANDS_NOTHING) /* 97 */ \
    SERVICE(httpFileRequest,               TobriskTclHttpFileRequest,      HttpRequestRecord,             HANDS_VARIABLE) /* 98 */

// clang-format on

enum HostHands { HANDS_NOTHING, HANDS_SCRIPT, HANDS_VARIABLE };

#define TOBRISK_SERVICE_ENUM(name, handler, record, hands) SERVICE_##name,
enum HostService { TOBRISK_HOST_SERVICES(TOBRISK_SERVICE_ENUM) HOST_SERVICE_COUNT };
#undef TOBRISK_SERVICE_ENUM
static_assert(HOST_SERVICE_COUNT == 99, "the host has 99 services");

// The names ended by NULL, the form Tcl_GetIndexFromObj takes.
#define TOBRISK_SERVICE_NAME(name, handler, record, hands) #name,
static const char *const HostServiceNames[] = {TOBRISK_HOST_SERVICES(TOBRISK_SERVICE_NAME) NULL};
#undef TOBRISK_SERVICE_NAME

// The columns that code without the plugin's handlers reads: whether a
// name has a handler, and what its service hands the host.
struct HostServiceFacts {
    bool implemented;
    HostHands hands;
};
constexpr bool host_service_handled(const char *handler)
{
    const char none[] = "NoHandler";
    for (int index = 0; index < (int)sizeof none; index++) {
        if (handler[index] != none[index]) return true;
    }
    return false;
}
#define TOBRISK_SERVICE_FACTS(name, handler, record, hands) {host_service_handled(#handler), hands},
static constexpr HostServiceFacts HostServices[] = {TOBRISK_HOST_SERVICES(TOBRISK_SERVICE_FACTS)};
#undef TOBRISK_SERVICE_FACTS

// The index of a service name as the host receives it; -1 for none.
static inline int host_service_index(const char *name)
{
    for (int index = 0; index < HOST_SERVICE_COUNT; index++) {
        if (strcmp(HostServiceNames[index], name) == 0) return index;
    }
    return -1;
}

#endif
