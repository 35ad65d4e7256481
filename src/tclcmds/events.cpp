// Event subscriptions: a script subscribed to a host event type, and the
// cancellation of a subscription by its id.
#include "../callbacks.h"
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

// vellumar eventsConnect type callback
int TobriskTclEventsConnect(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count != 3) {
        Tcl_WrongNumArgs(interp, 1, words, "type callback");
        return TCL_ERROR;
    }
    Tcl_DString type;
    EventsRecord record = {};
    record.size = sizeof record;
    record.type = text_to_host(Tcl_GetString(words[1]), &type);
    record.event_id = 0;
    record.callback = TobriskTclEventsCallback;
    // The host keeps the binding until the subscription ends; the plugin
    // never releases it, so none is made while there is no host.
    if (host_present()) record.userData = callback_binding_new(interp, Tcl_GetString(words[2]));
    int32_t answer = host_send("eventsConnect", &record);
    text_release(&type);
    return tclcmds_int_result(interp, answer);
}

// vellumar eventsDisconnect event_id
int TobriskTclEventsDisconnect(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count != 2) {
        Tcl_WrongNumArgs(interp, 1, words, "event_id");
        return TCL_ERROR;
    }
    EventsRecord record = {};
    record.size = sizeof record;
    if (Tcl_GetIntFromObj(interp, words[1], &record.event_id) != TCL_OK) return TCL_ERROR;
    return tclcmds_int_result(interp, host_send("eventsDisconnect", &record));
}
