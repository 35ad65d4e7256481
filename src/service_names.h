// The host's service names, in the host's order and ended by NULL. The
// `vellumar` command looks its first word up in this table: a name's index
// selects its handler, and Tcl's lookup error lists the names in this order.
#ifndef TOBRISK_SERVICE_NAMES_H
#define TOBRISK_SERVICE_NAMES_H

#include <stddef.h>

enum { HOST_SERVICE_COUNT = 99 };

static const char *const HostServiceNames[] = {
    "systraySetAlert",              //  0
    "prefsInitialize",              //  1
    "prefsOpen",                    //  2
    "editAliasRegister",            //  3
    "editAliasUnregister",          //  4
    "keyboardAliasRegister",        //  5
    "keyboardAliasUnregister",      //  6
    "editEventRegister",            //  7
    "editEventUnregister",          //  8
    "editEventSend",                //  9
    "listAddEntry",                 // 10
    "listRemoveEntry",              // 11
    "listClearEntry",               // 12
    "listGetSectionCount",          // 13
    "listGetGroupCount",            // 14
    "listGetExpandState",           // 15
    "listUpdateText",               // 16
    "listUpdateFont",               // 17
    "listUpdateTooltip",            // 18
    "listUpdateIcon",               // 19
    "listUpdateExpandState",        // 20
    "listSuppressRedraw",           // 21
    "listRedrawEntry",              // 22
    "listUpdateSectionMenu",        // 23
    "listUpdateSectionMultiMenu",   // 24
    "dialogAdd",                    // 25
    "dialogRemove",                 // 26
    "contactlistEnumerate",         // 27
    "contactlistAdd",               // 28
    "contactlistAddGroupRequest",   // 29
    "contactlistRemove",            // 30
    "contactlistUpdate",            // 31
    "contactlistSubcontactAdd",     // 32
    "contactlistSubcontactRemove",  // 33
    "contactlistSubcontactUpdate",  // 34
    "contactlistSectionEnumerate",  // 35
    "contactlistTooltipRegister",   // 36
    "contactlistTooltipUnregister", // 37
    "connectionEnumerate",          // 38
    "connectionAdd",                // 39
    "connectionRemove",             // 40
    "connectionUpdate",             // 41
    "connectionBytesUpdate",        // 42
    "messageSend",                  // 43
    "messageBroadcastEnable",       // 44
    "messageBroadcastDisable",      // 45
    "messageOpen",                  // 46
    "messageUpdate",                // 47
    "messageReceive",               // 48
    "messageMenuAdd",               // 49
    "messageMenuRemove",            // 50
    "messageStateSet",              // 51
    "messageNicklistAdd",           // 52
    "messageNicklistRemove",        // 53
    "messageNicklistChange",        // 54
    "messageMorph",                 // 55
    "messageToolbarRegister",       // 56
    "messageToolbarUnregister",     // 57
    "mediumAdd",                    // 58
    "mediumRemove",                 // 59
    "skinAdd",                      // 60
    "skinEnumerate",                // 61
    "avatarLocalSet",               // 62
    "avatarLocalGet",               // 63
    "avatarRemoteSet",              // 64
    "avatarRemoteGet",              // 65
    "versionRequest",               // 66
    "eventsActionRegister",         // 67
    "eventsActionUnregister",       // 68
    "eventsStatusRegister",         // 69
    "eventsStatusUnregister",       // 70
    "eventsExecute",                // 71
    "eventsGenerate",               // 72
    "eventsDisconnect",             // 73
    "eventsConnect",                // 74
    "eventsEventRegister",          // 75
    "eventsEventUnregister",        // 76
    "eventsEventUpdate",            // 77
    "eventsActionUpdate",           // 78
    "eventsStatusUpdate",           // 79
    "browserOpen",                  // 80
    "browserRegister",              // 81
    "browserUnregister",            // 82
    "browserSetDefault",            // 83
    "browserGetDefault",            // 84
    "accountsAdd",                  // 85
    "accountsUpdate",               // 86
    "accountsRemove",               // 87
    "filetransferInit",             // 88
    "filetransferUpdate",           // 89
    "filetransferStatus",           // 90
    "xmlGenerateTree",              // 91
    "xmlFreeTree",                  // 92
    "xmlComposeString",             // 93
    "pluginExternalSend",           // 94
    "pluginExternalEnumerateAPI",   // 95
    "pluginRegisterAPI",            // 96
    "pluginUnregisterAPI",          // 97
    "httpFileRequest",              // 98
    NULL
};
static_assert(sizeof HostServiceNames / sizeof HostServiceNames[0] == HOST_SERVICE_COUNT + 1,
              "one name per service and NULL");

#endif
