// The commands that the supervisor of plugin/lib/tobrisk uses in the main
// interpreter to give a script an interpreter of its own and to read and
// release what the script holds from the host:
//     ::tobrisk::_interp PATH       `interp create PATH`, from the library already found
//     ::tobrisk::_adopt PATH NAME   PATH runs script NAME with the plugin's commands
//     ::tobrisk::_holdings PATH     subscriptions, entries, sections, requests, alerts
//     ::tobrisk::_release PATH      gives back to the host what the script still holds
//     ::tobrisk::_export PATH NAME COMMAND      NAME calls COMMAND in PATH, supervised
//     ::tobrisk::_stats ?PATH?      what PATH's calls cost; without PATH, figures of no call
//     ::tobrisk::_account PATH KIND MICROSECONDS WHAT   counts a call the supervisor timed
//     ::tobrisk::_deliver TOPIC IDS WORDS      a message of the bus, supervised
//     ::tobrisk::_replace FROM TO   FROM takes TO's place in one step (replace.cpp)
//     ::tobrisk::_restrict PATH SERVICES REFUSE   PATH's `vellumar` calls only SERVICES (vellumar.cpp)
#include "../callbacks.h"
#include "../interp.h"
#include "../tclcmds.h"
#include "../tobrisk.h"

static int interp_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "path");
        return TCL_ERROR;
    }
    return interp_create_child(interp, objv[1]);
}

static int adopt_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "path name");
        return TCL_ERROR;
    }
    return script_owner_adopt(interp, objv[1], objv[2]);
}

// The adopted interpreter named by the word, with an error when there is none.
static Tcl_Interp *adopted(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "path");
        return NULL;
    }
    Tcl_Interp *child = script_owner_find(interp, objv[1]);
    if (child == NULL) Tcl_AppendResult(interp, "no script's interpreter \"", Tcl_GetString(objv[1]), "\"", NULL);
    return child;
}

static const char *const HeldNames[] = { "subscriptions", "entries", "sections", "requests" };

static int holdings_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    Tcl_Interp *child = adopted(interp, objc, objv);
    if (child == NULL) return TCL_ERROR;
    const char *owner = script_owner_name(child);
    Tcl_Obj *result = Tcl_NewListObj(0, NULL);
    for (int kind = HELD_SUBSCRIPTION; kind <= HELD_REQUEST; kind++) {
        Tcl_ListObjAppendElement(NULL, result, Tcl_NewStringObj(HeldNames[kind], -1));
        Tcl_ListObjAppendElement(NULL, result, callback_bindings_held_ids(owner, (HeldKind)kind));
    }
    Tcl_ListObjAppendElement(NULL, result, Tcl_NewStringObj("alerts", -1));
    Tcl_ListObjAppendElement(NULL, result, Tcl_NewIntObj(script_owner_alerts(child)));
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

// Asks the host to end each of the script's subscriptions, then to remove
// its entries and sections, the newest first. Each is sent once, and only
// while the record says the host still holds it: removing an entry also
// removes what lies under it. What the host keeps after that is no longer
// the script's.
static int release_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    Tcl_Interp *child = adopted(interp, objc, objv);
    if (child == NULL) return TCL_ERROR;
    const char *owner = script_owner_name(child);
    static const HeldKind Order[] = { HELD_SUBSCRIPTION, HELD_ENTRY, HELD_SECTION };
    for (HeldKind kind : Order) {
        Tcl_Obj *ids = callback_bindings_held_ids(owner, kind);
        Tcl_IncrRefCount(ids);
        int count;
        Tcl_Obj **elements;
        Tcl_ListObjGetElements(NULL, ids, &count, &elements);
        for (int index = 0; index < count; index++) {
            int id;
            Tcl_GetIntFromObj(NULL, elements[kind == HELD_SUBSCRIPTION ? index : count - 1 - index], &id);
            if (!callback_bindings_holds(owner, kind, id)) continue;
            if (kind == HELD_SUBSCRIPTION) {
                tclcmds_events_disconnect(id);
            } else {
                tclcmds_list_remove(id, kind == HELD_SECTION);
            }
        }
        Tcl_DecrRefCount(ids);
    }
    callback_bindings_disown(owner);
    return TCL_OK;
}

static int export_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 1, objv, "path name command");
        return TCL_ERROR;
    }
    return script_owner_export(interp, objv[1], objv[2], objv[3]);
}

static int stats_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    Tcl_Interp *child = NULL;
    if (objc != 1 && (child = adopted(interp, objc, objv)) == NULL) return TCL_ERROR;
    Tcl_SetObjResult(interp, script_owner_figures(child));
    return TCL_OK;
}

// An interpreter that is gone by the call's end has no figures to add to.
static int account_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    Tcl_WideInt microseconds;
    if (objc != 5) {
        Tcl_WrongNumArgs(interp, 1, objv, "path kind microseconds what");
        return TCL_ERROR;
    }
    if (Tcl_GetWideIntFromObj(interp, objv[3], &microseconds) != TCL_OK) return TCL_ERROR;
    Tcl_Interp *child = script_owner_find(interp, objv[1]);
    if (child != NULL) script_owner_account(child, call_kind_named(Tcl_GetString(objv[2])), microseconds, objv[4]);
    return TCL_OK;
}

static int deliver_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    return script_owner_deliver(interp, objc, objv);
}

void tclcmds_register_supervision(Tcl_Interp *interp)
{
    Tcl_CreateObjCommand(interp, "::tobrisk::_stats", stats_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_account", account_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_deliver", deliver_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_export", export_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_interp", interp_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_adopt", adopt_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_holdings", holdings_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_release", release_cmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_replace", TobriskTclReplaceCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "::tobrisk::_restrict", TobriskTclRestrictCmd, NULL, NULL);
}
