// The `vellumar` command: a host service name, then that service's words.
#include "../service_names.h"
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

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
    if (text != NULL) Tcl_SetObjResult(interp, text_from_host(text));
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
