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
    // The host keeps the binding until it confirms that the subscription
    // has ended; with no host to confirm it, none is made.
    CallbackBinding *binding = NULL;
    if (host_present()) binding = callback_binding_new(interp, Tcl_GetString(words[2]), BINDING_SUBSCRIPTION);
    record.userData = binding;
    int32_t answer = host_send(SERVICE_eventsConnect, &record);
    if (binding != NULL) callback_binding_note_id(binding, answer);
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
    int32_t id;
    if (Tcl_GetIntFromObj(interp, words[1], &id) != TCL_OK) return TCL_ERROR;
    if (callback_bindings_check_owner(interp, HELD_SUBSCRIPTION, id) != TCL_OK) return TCL_ERROR;
    return tclcmds_int_result(interp, tclcmds_events_disconnect(id));
}

int32_t tclcmds_events_disconnect(int32_t id)
{
    EventsRecord record = {};
    record.size = sizeof record;
    record.event_id = id;
    int32_t answer = host_send(SERVICE_eventsDisconnect, &record);
    // 1: the host has ended the subscription and will not call it again.
    if (answer == 1) callback_bindings_release_subscription(id);
    return answer;
}
