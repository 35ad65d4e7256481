// Messages, tray alerts and HTTP requests through the host.
#include <string.h>

#include "../callbacks.h"
#include "../tclcmds.h"
#include "../tobrisk.h"

static const char OutgoingKind[] = "outgoing";

// Reads an integer word that may be no integer at all: then 0, with Tcl's
// message left in the result for the caller to keep or replace.
static int32_t lenient_int(Tcl_Interp *interp, Tcl_Obj *word)
{
    int value = 0;
    if (Tcl_GetIntFromObj(interp, word, &value) != TCL_OK) return 0;
    return value;
}

// vellumar messageSend medium connection_id target message
int TobriskTclMessageSend(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count != 5) {
        Tcl_WrongNumArgs(interp, 1, words, "medium connection_id target message");
        return TCL_ERROR;
    }
    MessageSendRecord record = {};
    record.size = sizeof record;
    record.medium = Tcl_GetString(words[1]);
    record.connection_id = lenient_int(interp, words[2]);
    record.target = Tcl_GetString(words[3]);
    record.kind = OutgoingKind;
    record.text = Tcl_GetString(words[4]);
    return tclcmds_int_result(interp, host_send("messageSend", &record));
}

// vellumar systraySetAlert type text ?link? ?word_wrap? ?formatted?
// Sets no result: a conversion message of a bad number stays there.
int TobriskTclSystraySetAlert(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count < 3 || count > 6) {
        Tcl_WrongNumArgs(interp, 1, words, "type text ?link? ?word_wrap? ?formatted?");
        return TCL_ERROR;
    }
    AlertRecord record = {};
    record.size = sizeof record;
    record.type = Tcl_GetString(words[1]);
    record.text = Tcl_GetString(words[2]);
    if (count >= 4) {
        record.has_link = 1;
        // Owned by the host until it sends "alert_destroy", which frees it;
        // with no host to send it, no copy is made.
        record.link = host_present() ? _strdup(Tcl_GetString(words[3])) : NULL;
    }
    if (count >= 5) record.word_wrap = lenient_int(interp, words[4]);
    if (count == 6) record.formatted = lenient_int(interp, words[5]);
    record.callback = alertCallback;
    host_send("systraySetAlert", &record);
    return TCL_OK;
}

// vellumar httpFileRequest url ?resultVar?
// Does not wait: the variable is set when the host completes the request.
int TobriskTclHttpFileRequest(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count != 2 && count != 3) {
        Tcl_WrongNumArgs(interp, 1, words, "url ?resultVar?");
        return TCL_ERROR;
    }
    HttpRequestRecord record = {};
    record.size = sizeof record;
    record.url = Tcl_GetString(words[1]);
    record.callback = httpCallback;
    // Released by httpCallback when the host completes the request; with no
    // host to complete it, no binding is made.
    if (host_present()) {
        record.userData = callback_binding_new(interp, count == 3 ? Tcl_GetString(words[2]) : NULL);
    }
    return tclcmds_int_result(interp, host_send("httpFileRequest", &record));
}
