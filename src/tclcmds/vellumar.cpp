// The `vellumar` command: a host service name, then that service's words.
#include "../tclcmds.h"
#include "../tobrisk.h"

// The host's service names. A name's index selects its handler, and Tcl's
// lookup error lists the names in this order.
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
static_assert(sizeof HostServiceNames / sizeof HostServiceNames[0] == 100, "99 names and NULL");

// The indexes that have a handler; every other name is not implemented.
enum {
    SERVICE_SYSTRAY_SET_ALERT = 0,
    SERVICE_LIST_ADD_ENTRY = 10,
    SERVICE_LIST_REMOVE_ENTRY = 11,
    SERVICE_LIST_CLEAR_ENTRY = 12,
    SERVICE_LIST_GET_SECTION_COUNT = 13,
    SERVICE_LIST_GET_GROUP_COUNT = 14,
    SERVICE_LIST_UPDATE_TEXT = 16,
    SERVICE_CONTACTLIST_ENUMERATE = 27,
    SERVICE_CONNECTION_ENUMERATE = 38,
    SERVICE_MESSAGE_SEND = 43,
    SERVICE_VERSION_REQUEST = 66,
    SERVICE_EVENTS_DISCONNECT = 73,
    SERVICE_EVENTS_CONNECT = 74,
    SERVICE_HTTP_FILE_REQUEST = 98,
};

static int g_service_index = 0;

int tclcmds_int_result(Tcl_Interp *interp, int value)
{
    Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
    return TCL_OK;
}

int TobriskTclNotImplemented(Tcl_Interp *interp, Tcl_Obj *const words[])
{
    Tcl_AppendResult(interp, Tcl_GetString(words[0]), " not yet implemented", NULL);
    return TCL_ERROR;
}

// The host answers with a pointer to its version text, or 0. Words after
// the option are ignored.
static int version_request(Tcl_Interp *interp)
{
    const char *text = (const char *)(intptr_t)host_send("versionRequest", NULL);
    if (text != NULL) Tcl_AppendResult(interp, text, NULL);
    return TCL_OK;
}

int TobriskTclVellumarCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "option ?arg arg ...?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], HostServiceNames, "option", 0, &g_service_index) != TCL_OK) {
        return TCL_ERROR;
    }
    int count = objc - 1;
    Tcl_Obj *const *words = objv + 1;
    switch (g_service_index) {
    case SERVICE_SYSTRAY_SET_ALERT:      return TobriskTclSystraySetAlert(interp, count, words);
    case SERVICE_LIST_ADD_ENTRY:         return TobriskTclListAddEntry(interp, count, words);
    case SERVICE_LIST_REMOVE_ENTRY:      return TobriskTclListRemoveEntry(interp, count, words);
    case SERVICE_LIST_CLEAR_ENTRY:       return TobriskTclListClearEntry(interp, count, words);
    case SERVICE_LIST_GET_SECTION_COUNT: return TobriskTclListGetSectionCount(interp, count, words);
    case SERVICE_LIST_GET_GROUP_COUNT:   return TobriskTclListGetGroupCount(interp, count, words);
    case SERVICE_LIST_UPDATE_TEXT:       return TobriskTclListUpdateText(interp, count, words);
    case SERVICE_CONTACTLIST_ENUMERATE:  return TobriskTclContactlistEnumerate(interp, count, words);
    case SERVICE_CONNECTION_ENUMERATE:   return TobriskTclConnectionEnumerate(interp, count, words);
    case SERVICE_MESSAGE_SEND:           return TobriskTclMessageSend(interp, count, words);
    case SERVICE_VERSION_REQUEST:        return version_request(interp);
    case SERVICE_EVENTS_DISCONNECT:      return TobriskTclEventsDisconnect(interp, count, words);
    case SERVICE_EVENTS_CONNECT:         return TobriskTclEventsConnect(interp, count, words);
    case SERVICE_HTTP_FILE_REQUEST:      return TobriskTclHttpFileRequest(interp, count, words);
    default:                             return TobriskTclNotImplemented(interp, words);
    }
}
