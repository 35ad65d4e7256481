// Enumeration of the host's connections and contacts. The host calls the
// callbacks before the service returns, so the state lives on this stack.
#include "../callbacks.h"
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

static void enumeration_begin(EnumerationState *state, Tcl_Interp *interp)
{
    state->size = sizeof *state;
    state->interp = interp;
    state->list = Tcl_NewListObj(0, NULL);
    state->in_progress = 0;
}

// The list becomes the result, also as the error message of an
// enumeration that the host left open.
static int enumeration_end(const EnumerationState *state)
{
    Tcl_SetObjResult(state->interp, state->list);
    return state->in_progress;
}

// vellumar connectionEnumerate medium
int TobriskTclConnectionEnumerate(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count != 2) {
        Tcl_WrongNumArgs(interp, 1, words, "medium");
        return TCL_ERROR;
    }
    EnumerationState state = {};
    enumeration_begin(&state, interp);
    Tcl_DString medium;
    ConnectionEnumRecord record = {};
    record.size = sizeof record;
    record.medium = text_to_host(Tcl_GetString(words[1]), &medium);
    record.callback = connectCallback;
    record.userData = &state;
    host_send(SERVICE_connectionEnumerate, &record);
    text_release(&medium);
    return enumeration_end(&state);
}

// vellumar contactlistEnumerate medium ?connection_id? ?section?
int TobriskTclContactlistEnumerate(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count < 2 || count > 4) {
        Tcl_WrongNumArgs(interp, 1, words, "medium ?connection_id? ?section?");
        return TCL_ERROR;
    }
    EnumerationState state = {};
    enumeration_begin(&state, interp);
    Tcl_DString medium, section;
    ContactEnumRecord record = {};
    record.size = sizeof record;
    record.medium = text_to_host(Tcl_GetString(words[1]), &medium);
    record.connection_id = -1;
    // A connection id that is not an integer is sent as 0, with no error.
    if (count >= 3 && Tcl_GetIntFromObj(interp, words[2], &record.connection_id) != TCL_OK) {
        record.connection_id = 0;
    }
    record.section = text_to_host(count == 4 ? Tcl_GetString(words[3]) : NULL, &section);
    record.callback = contactCallback;
    record.userData = &state;
    host_send(SERVICE_contactlistEnumerate, &record);
    text_release(&medium);
    text_release(&section);
    return enumeration_end(&state);
}
