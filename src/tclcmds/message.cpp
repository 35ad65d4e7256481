// Messages, tray alerts and HTTP requests through the host.
#include <string.h>

#include "../callbacks.h"
#include "../tclcmds.h"
#include "../text.h"
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
    Tcl_DString medium, target, text;
    MessageSendRecord record = {};
    record.size = sizeof record;
    record.medium = text_to_host(Tcl_GetString(words[1]), &medium);
    record.connection_id = lenient_int(interp, words[2]);
    record.target = text_to_host(Tcl_GetString(words[3]), &target);
    record.kind = OutgoingKind;
    record.text = text_to_host(Tcl_GetString(words[4]), &text);
    int32_t answer = host_send(SERVICE_messageSend, &record);
    text_release(&medium);
    text_release(&target);
    text_release(&text);
    return tclcmds_int_result(interp, answer);
}

// vellumar systraySetAlert type text ?link? ?word_wrap? ?formatted?
// Sets no result: a conversion message of a bad number stays there.
int TobriskTclSystraySetAlert(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count < 3 || count > 6) {
        Tcl_WrongNumArgs(interp, 1, words, "type text ?link? ?word_wrap? ?formatted?");
        return TCL_ERROR;
    }
    Tcl_DString type, text;
    AlertRecord record = {};
    record.size = sizeof record;
    record.type = text_to_host(Tcl_GetString(words[1]), &type);
    record.text = text_to_host(Tcl_GetString(words[2]), &text);
    if (count >= 4) {
        record.has_link = 1;
        // Owned by the host until it sends "alert_destroy", which frees it;
        // with no host to send it, no copy is made.
        record.link = host_present() ? text_host_copy(Tcl_GetString(words[3])) : NULL;
    }
    if (count >= 5) record.word_wrap = lenient_int(interp, words[4]);
    if (count == 6) record.formatted = lenient_int(interp, words[5]);
    record.callback = alertCallback;
    host_send(SERVICE_systraySetAlert, &record);
    script_owner_count_alert(interp);
    text_release(&type);
    text_release(&text);
    return TCL_OK;
}

// vellumar httpFileRequest ?-binary? url ?resultVar?
// Does not wait: the variable is set when the host completes the request,
// to the text received or, with -binary, to its exact bytes.
int TobriskTclHttpFileRequest(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    bool binary = count >= 2 && strcmp(Tcl_GetString(words[1]), "-binary") == 0;
    int skip = binary ? 1 : 0;
    if (count - skip != 2 && count - skip != 3) {
        Tcl_WrongNumArgs(interp, 1 + skip, words, "url ?resultVar?");
        return TCL_ERROR;
    }
    Tcl_DString url;
    HttpRequestRecord record = {};
    record.size = sizeof record;
    record.url = text_to_host(Tcl_GetString(words[1 + skip]), &url);
    record.callback = binary ? httpBinaryCallback : httpCallback;
    // Released by the callback when the host completes the request; with no
    // host to complete it, no binding is made.
    CallbackBinding *binding = NULL;
    if (host_present()) {
        const char *variable = count - skip == 3 ? Tcl_GetString(words[2 + skip]) : NULL;
        binding = callback_binding_new(interp, variable, BINDING_HTTP);
    }
    record.userData = binding;
    int32_t answer = host_send(SERVICE_httpFileRequest, &record);
    if (binding != NULL) callback_binding_note_id(binding, answer);
    text_release(&url);
    return tclcmds_int_result(interp, answer);
}
