// The scripts' own interpreters: what the plugin knows of one that the
// supervisor adopted, and how a call from the host reaches it.
#include <string.h>

#include "../callbacks.h"
#include "../tclcmds.h"
#include "../tobrisk.h"

// Kept as the interpreter's associated data, so it goes with it.
struct ScriptOwner {
    char *name;
    Tcl_Interp *parent;
    Tcl_Obj *path;      // the interpreter's path in its parent
    Tcl_Obj *run;       // the supervisor's procedure that runs a call in it
    int alerts;         // alerts raised
};
static const char OwnerKey[] = "tobrisk script owner";

// The interpreter is being deleted: what it bound runs nothing any more.
static void forget_owner(ClientData data, Tcl_Interp *interp)
{
    ScriptOwner *owner = (ScriptOwner *)data;
    callback_bindings_orphan(owner->name, interp);
    Tcl_DecrRefCount(owner->path);
    Tcl_DecrRefCount(owner->run);
    Tcl_Free(owner->name);
    Tcl_Free((char *)owner);
}

static ScriptOwner *owner_of(Tcl_Interp *interp)
{
    return interp != NULL ? (ScriptOwner *)Tcl_GetAssocData(interp, OwnerKey, NULL) : NULL;
}

const char *script_owner_name(Tcl_Interp *interp)
{
    ScriptOwner *owner = owner_of(interp);
    return owner != NULL ? owner->name : NULL;
}

Tcl_Interp *script_owner_find(Tcl_Interp *parent, Tcl_Obj *path)
{
    Tcl_Interp *child = Tcl_GetSlave(parent, Tcl_GetString(path));
    if (child == NULL) Tcl_ResetResult(parent);
    return owner_of(child) != NULL ? child : NULL;
}

int script_owner_adopt(Tcl_Interp *parent, Tcl_Obj *path, Tcl_Obj *name)
{
    Tcl_Interp *child = Tcl_GetSlave(parent, Tcl_GetString(path));
    if (child == NULL) return TCL_ERROR;
    ScriptOwner *owner = (ScriptOwner *)Tcl_Alloc(sizeof *owner);
    int length;
    const char *text = Tcl_GetStringFromObj(name, &length);
    owner->name = Tcl_Alloc(length + 1);
    memcpy(owner->name, text, length + 1);
    owner->parent = parent;
    owner->path = Tcl_DuplicateObj(path);
    Tcl_IncrRefCount(owner->path);
    owner->run = Tcl_NewStringObj("::tobrisk::sv::run", -1);
    Tcl_IncrRefCount(owner->run);
    owner->alerts = 0;
    Tcl_SetAssocData(child, OwnerKey, forget_owner, owner);
    // The plugin's own commands: what the script binds holds its own
    // interpreter, and its calls of the host are tagged with its name.
    tobrisk_register_commands(child);
    return TCL_OK;
}

void script_owner_count_alert(Tcl_Interp *interp)
{
    ScriptOwner *owner = owner_of(interp);
    if (owner != NULL) owner->alerts++;
}

int script_owner_alerts(Tcl_Interp *interp)
{
    ScriptOwner *owner = owner_of(interp);
    return owner != NULL ? owner->alerts : 0;
}

void callbacks_run(Tcl_Interp *interp, Tcl_Obj *script, const char *what, const char *subject)
{
    ScriptOwner *owner = owner_of(interp);
    if (owner == NULL) {
        if (tobrisk_eval_obj(interp, script) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(interp));
        return;
    }
    Tcl_Interp *parent = owner->parent;
    Tcl_Obj *words[] = { owner->run, owner->path, Tcl_NewStringObj(what, -1), script };
    Tcl_Obj *call = Tcl_NewListObj(4, words);
    Tcl_IncrRefCount(call);
    Tcl_Preserve(parent);
    if (tobrisk_eval_obj(parent, call) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(parent));
    Tcl_Release(parent);
    Tcl_DecrRefCount(call);
}
