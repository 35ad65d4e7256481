// The scripts' own interpreters: what the plugin knows of one that the
// supervisor adopted, and how a call from the host reaches it.
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"
#include "../tclcmds.h"
#include "../tobrisk.h"

// The supervisor's procedures that a call from the host may need.
enum SupervisorProc { PROC_RUN, PROC_ARM, PROC_RUN_PENDING, PROC_OUTCOME, PROC_CALL_FAILED, PROC_COUNT };
static const char *const SupervisorProcs[PROC_COUNT] = {
    "::tobrisk::sv::run", "::tobrisk::sv::arm", "::tobrisk::sv::run_pending", "::tobrisk::sv::outcome",
    "::tobrisk::sv::call_failed",
};

// The variables of the supervisor's namespace for the interpreter that a
// call reads and writes: linked to the fields below, so that the
// supervisor's procedures and the plugin's callbacks keep one account.
enum CallVariable { VAR_DEPTH, VAR_REARM, VAR_PENDING, VAR_COUNT };
static const char *const CallVariables[VAR_COUNT] = { "depth", "rearm", "pending" };

// Kept as the interpreter's associated data, so it goes with it.
struct ScriptOwner {
    char *name;
    Tcl_Interp *parent;
    Tcl_Obj *path;      // the interpreter's path in its parent
    Tcl_Obj *name_obj;
    Tcl_Obj *procs[PROC_COUNT];
    int alerts;         // alerts raised
    bool linked;        // the three below are the supervisor's variables
    int depth;          // supervised calls into it on the stack
    Tcl_WideInt rearm;  // when its time limit must be armed again, in ms
    char *pending;      // an unload that waits for its code to return, or ""
};
static const char OwnerKey[] = "tobrisk script owner";

static void variable_name(const ScriptOwner *owner, CallVariable which, Tcl_DString *name)
{
    Tcl_DStringInit(name);
    Tcl_DStringAppend(name, Tcl_GetString(owner->path), -1);
    Tcl_DStringAppend(name, "::", 2);
    Tcl_DStringAppend(name, CallVariables[which], -1);
}

static void link_variables(ScriptOwner *owner)
{
    static const int Types[VAR_COUNT] = { TCL_LINK_INT, TCL_LINK_WIDE_INT, TCL_LINK_STRING };
    void *const fields[VAR_COUNT] = { &owner->depth, &owner->rearm, &owner->pending };
    owner->linked = true;
    for (int which = 0; which < VAR_COUNT; which++) {
        Tcl_DString name;
        variable_name(owner, (CallVariable)which, &name);
        if (Tcl_LinkVar(owner->parent, Tcl_DStringValue(&name), (char *)fields[which], Types[which]) != TCL_OK) {
            owner->linked = false;
        }
        Tcl_DStringFree(&name);
    }
    Tcl_ResetResult(owner->parent);
}

// A namespace deleted first has ended the links itself.
static void unlink_variables(ScriptOwner *owner)
{
    if (Tcl_InterpDeleted(owner->parent)) return;
    for (int which = 0; which < VAR_COUNT; which++) {
        Tcl_DString name;
        variable_name(owner, (CallVariable)which, &name);
        Tcl_UnlinkVar(owner->parent, Tcl_DStringValue(&name));
        Tcl_DStringFree(&name);
    }
}

// The interpreter is being deleted: what it bound runs nothing any more.
static void forget_owner(ClientData data, Tcl_Interp *interp)
{
    ScriptOwner *owner = (ScriptOwner *)data;
    callback_bindings_orphan(owner->name, interp);
    unlink_variables(owner);
    Tcl_Free(owner->pending);
    Tcl_DecrRefCount(owner->path);
    Tcl_DecrRefCount(owner->name_obj);
    for (Tcl_Obj *proc : owner->procs) Tcl_DecrRefCount(proc);
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
    owner->name_obj = Tcl_DuplicateObj(name);
    Tcl_IncrRefCount(owner->name_obj);
    for (int which = 0; which < PROC_COUNT; which++) {
        owner->procs[which] = Tcl_NewStringObj(SupervisorProcs[which], -1);
        Tcl_IncrRefCount(owner->procs[which]);
    }
    owner->alerts = 0;
    owner->depth = 0;
    owner->rearm = 0;
    owner->pending = Tcl_Alloc(1);
    owner->pending[0] = '\0';
    link_variables(owner);
    Tcl_SetAssocData(child, OwnerKey, forget_owner, owner);
    // The plugin's own commands: what the script binds holds its own
    // interpreter, and its calls of the host are tagged with its name.
    tobrisk_register_commands(child);
    script_timers_install(child);
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

// Calls one of the supervisor's procedures with the interpreter's path and
// `count` more words; a failure of the supervisor itself is shown.
static void call_supervisor(ScriptOwner *owner, SupervisorProc proc, int count, Tcl_Obj *const words[],
                            const char *subject)
{
    Tcl_Obj *call = Tcl_NewListObj(1, &owner->procs[proc]);
    Tcl_ListObjAppendElement(NULL, call, owner->path);
    for (int index = 0; index < count; index++) Tcl_ListObjAppendElement(NULL, call, words[index]);
    Tcl_IncrRefCount(call);
    if (tobrisk_eval_obj(owner->parent, call) != TCL_OK) {
        tobrisk_report(subject, Tcl_GetStringResult(owner->parent));
    }
    Tcl_DecrRefCount(call);
}

// Tcl's clock in milliseconds, as `clock milliseconds` reads it: what the
// supervisor arms the limit with and what Tcl checks the limit against.
static Tcl_WideInt now_ms(void)
{
    Tcl_Time now;
    Tcl_GetTime(&now);
    return (Tcl_WideInt)now.sec * 1000 + now.usec / 1000;
}

// Tcl's clock costs more than a small script under Wine (0.1 to 0.2 us);
// Windows' tick count is read from memory that the system shares with
// every process, but moves in steps of about 16 ms. The tick count, set
// against Tcl's clock at most a second ago (Tcl itself calibrates its
// clock once a second), tells whether the limit may be due again: never
// later than Tcl's clock would, at most two steps earlier, so that every
// call still starts with three quarters of its budget or more ahead.
static const Tcl_WideInt TickStep = 16;
static const DWORD Recalibration = 1000;
static DWORD g_calibrated_tick = 0;
static Tcl_WideInt g_calibrated_ms = 0;
static bool g_calibrated = false;

static Tcl_WideInt calibrated_now_ms(void)
{
    g_calibrated_ms = now_ms();
    g_calibrated_tick = GetTickCount();
    g_calibrated = true;
    return g_calibrated_ms;
}

// The tick count wraps after 49 days; the difference of two does not.
static bool may_be_due(Tcl_WideInt when)
{
    DWORD elapsed = GetTickCount() - g_calibrated_tick;
    if (!g_calibrated || elapsed >= Recalibration) return calibrated_now_ms() >= when;
    return g_calibrated_ms + (Tcl_WideInt)elapsed + TickStep >= when;
}

// What the supervisor's `run` does, without a procedure on the way: the
// call is counted, the time limit armed again when a quarter of the budget
// has passed, the script evaluated in the interpreter, an unload that
// waited for the call run once the last call has returned, and a failure
// reported by the supervisor. The interpreter may be deleted by the end.
static void enter_call(ScriptOwner *owner, const char *subject)
{
    owner->depth++;
    if (may_be_due(owner->rearm)) {
        Tcl_Obj *when = Tcl_NewWideIntObj(calibrated_now_ms());
        call_supervisor(owner, PROC_ARM, 1, &when, subject);
    }
}

static void leave_call(ScriptOwner *owner, const char *subject)
{
    if (--owner->depth == 0 && owner->pending[0] != '\0') call_supervisor(owner, PROC_RUN_PENDING, 0, NULL, subject);
}

// The supervisor lives in the plugin's interpreter, which the plugin holds
// until it stops; a stop from within the call has ended it by the call's
// end, and then nothing is left to account to.
static bool supervisor_live(Tcl_Interp *parent)
{
    return interp_get() == parent;
}

// An `after` script's failure (TIMER) is a background error of the
// interpreter, as in Tcl, for the script's own handler; a time-out is
// always the supervisor's.
static void run_supervised(ScriptOwner *owner, Tcl_Interp *interp, Tcl_Obj *script, const char *what,
                           const char *subject, bool timer = false)
{
    Tcl_Interp *parent = owner->parent;
    enter_call(owner, subject);
    int code = tobrisk_eval_obj(interp, script);
    if (!supervisor_live(owner->parent)) return;
    Tcl_Obj *failure[4] = {};
    if (timer && code != TCL_OK && code != TCL_RETURN && !Tcl_LimitExceeded(interp)) {
        Tcl_AddErrorInfo(interp, "\n    (\"after\" script)");
        Tcl_BackgroundException(interp, code);
    } else if (code != TCL_OK && code != TCL_RETURN) {
        failure[0] = Tcl_NewStringObj(what, -1);
        failure[1] = Tcl_NewIntObj(code);
        failure[2] = Tcl_GetObjResult(interp);
        failure[3] = Tcl_GetReturnOptions(interp, code);
        for (Tcl_Obj *word : failure) Tcl_IncrRefCount(word);
    }
    leave_call(owner, subject);
    if (failure[0] != NULL) {
        Tcl_Obj *words[] = { owner->name_obj, owner->path, failure[0], failure[1], failure[2], failure[3] };
        // outcome takes the name first, then the path.
        Tcl_Obj *call = Tcl_NewListObj(1, &owner->procs[PROC_OUTCOME]);
        for (Tcl_Obj *word : words) Tcl_ListObjAppendElement(NULL, call, word);
        Tcl_IncrRefCount(call);
        if (tobrisk_eval_obj(parent, call) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(parent));
        Tcl_DecrRefCount(call);
        for (Tcl_Obj *word : failure) Tcl_DecrRefCount(word);
    }
}

void callbacks_run(Tcl_Interp *interp, Tcl_Obj *script, const char *what, const char *subject)
{
    ScriptOwner *owner = owner_of(interp);
    if (owner == NULL) {
        if (tobrisk_eval_obj(interp, script) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(interp));
        return;
    }
    if (owner->linked) {
        run_supervised(owner, interp, script, what, subject);
    } else {
        Tcl_Obj *words[] = { Tcl_NewStringObj(what, -1), script };
        call_supervisor(owner, PROC_RUN, 2, words, subject);
    }
}

// The bus's record of a subscription, by its id: {PATH COMMAND TOPIC}
// while it lasts (plugin/lib/tobrisk/bus.tcl).
static const char BusSubscribers[] = "::tobrisk::bus::subscribers";

// Delivers a message of the bus to subscriptions `ids`, in order: each
// subscriber's command with the message's words appended, run as a
// supervised call of its interpreter. A subscription that has ended since,
// or whose interpreter has gone, gets nothing. The result is the number
// of subscribers reached.
int script_owner_deliver(Tcl_Interp *parent, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        Tcl_WrongNumArgs(parent, 1, objv, "topic ids words");
        return TCL_ERROR;
    }
    // A delivery may end subscriptions and so change the record's lists:
    // the ones given here are held until the end.
    Tcl_Obj *ids = objv[2], *message = objv[3];
    Tcl_IncrRefCount(ids);
    Tcl_IncrRefCount(message);
    int id_count, word_count;
    Tcl_Obj **id_list, **words;
    if (Tcl_ListObjGetElements(parent, ids, &id_count, &id_list) != TCL_OK ||
        Tcl_ListObjGetElements(parent, message, &word_count, &words) != TCL_OK) {
        Tcl_DecrRefCount(ids);
        Tcl_DecrRefCount(message);
        return TCL_ERROR;
    }
    Tcl_DString what;
    Tcl_DStringInit(&what);
    Tcl_DStringAppend(&what, "message ", -1);
    Tcl_DStringAppend(&what, Tcl_GetString(objv[1]), -1);
    int reached = 0;
    for (int index = 0; index < id_count; index++) {
        Tcl_Obj *subscription = Tcl_GetVar2Ex(parent, BusSubscribers, Tcl_GetString(id_list[index]), 0);
        int fields;
        Tcl_Obj **field;
        if (subscription == NULL || Tcl_ListObjGetElements(NULL, subscription, &fields, &field) != TCL_OK ||
            fields < 2) {
            continue;
        }
        Tcl_Interp *interp = script_owner_find(parent, field[0]);
        int command_count;
        Tcl_Obj **command;
        if (interp == NULL || Tcl_ListObjGetElements(NULL, field[1], &command_count, &command) != TCL_OK) continue;
        Tcl_Obj *script = Tcl_NewListObj(command_count, command);
        Tcl_ListObjReplace(NULL, script, command_count, 0, word_count, words);
        Tcl_IncrRefCount(script);
        Tcl_Preserve(interp);
        callbacks_run(interp, script, Tcl_DStringValue(&what), "::tobrisk::publish");
        Tcl_Release(interp);
        Tcl_DecrRefCount(script);
        reached++;
        // A subscriber that stopped the plugin has ended the bus with it.
        if (!supervisor_live(parent)) break;
    }
    Tcl_DStringFree(&what);
    Tcl_DecrRefCount(ids);
    Tcl_DecrRefCount(message);
    Tcl_SetObjResult(parent, Tcl_NewIntObj(reached));
    return TCL_OK;
}

void script_owner_run_timer(Tcl_Interp *interp, Tcl_Obj *script)
{
    static const char subject[] = "after";
    ScriptOwner *owner = owner_of(interp);
    if (owner != NULL && owner->linked) {
        run_supervised(owner, interp, script, "timer", subject, true);
        return;
    }
    int code = tobrisk_eval_obj(interp, script);
    if (code != TCL_OK && code != TCL_RETURN) {
        Tcl_AddErrorInfo(interp, "\n    (\"after\" script)");
        Tcl_BackgroundException(interp, code);
    }
}

// A command that a script exported: the main interpreter's command calls
// `command` in the script's interpreter, as a supervised call.
struct Export {
    Tcl_Interp *interp;
    ScriptOwner *owner;  // the interpreter's, valid until it is deleted
    Tcl_Obj *command;
};

static void forget_export(ClientData data)
{
    Export *exported = (Export *)data;
    Tcl_DecrRefCount(exported->command);
    Tcl_Release(exported->interp);
    Tcl_Free((char *)exported);
}

// Its result and its error go back to the caller; the supervisor logs an
// error and counts a time-out (call_failed).
static int call_export(ClientData data, Tcl_Interp *parent, int objc, Tcl_Obj *const objv[])
{
    // An unload that the call runs deletes this command and its data.
    Export *exported = (Export *)data;
    Tcl_Interp *interp = exported->interp;
    Tcl_Obj *command = exported->command;
    ScriptOwner *owner = Tcl_InterpDeleted(interp) ? NULL : exported->owner;
    if (owner == NULL) {
        Tcl_AppendResult(parent, "the script that made \"", Tcl_GetString(objv[0]), "\" has been unloaded", NULL);
        return TCL_ERROR;
    }
    enum { Kept = 16 };
    Tcl_Obj *kept[Kept];
    Tcl_Obj **words = objc <= Kept ? kept : (Tcl_Obj **)Tcl_Alloc(objc * sizeof *words);
    words[0] = command;
    for (int index = 1; index < objc; index++) words[index] = objv[index];
    static const char subject[] = "::tobrisk::export";
    // The command runs in the plugin's interpreter, which Tcl keeps while
    // it evaluates; the script's may be deleted by the call.
    Tcl_IncrRefCount(command);
    Tcl_Preserve(interp);
    enter_call(owner, subject);
    int code = Tcl_EvalObjv(interp, objc, words, TCL_EVAL_GLOBAL);
    if (words != kept) Tcl_Free((char *)words);
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(result);
    Tcl_Obj *options = code == TCL_ERROR ? Tcl_GetReturnOptions(interp, code) : NULL;
    if (options != NULL) Tcl_IncrRefCount(options);
    Tcl_ResetResult(interp);
    leave_call(owner, subject);
    if (code == TCL_ERROR) {
        Tcl_Obj *call = Tcl_NewListObj(1, &owner->procs[PROC_CALL_FAILED]);
        Tcl_Obj *failure[] = { owner->name_obj, owner->path, command, result, options };
        for (Tcl_Obj *word : failure) Tcl_ListObjAppendElement(NULL, call, word);
        Tcl_IncrRefCount(call);
        code = Tcl_EvalObjEx(parent, call, TCL_EVAL_GLOBAL);
        Tcl_DecrRefCount(call);
        Tcl_DecrRefCount(options);
    } else {
        Tcl_SetObjResult(parent, result);
        code = TCL_OK;
    }
    Tcl_DecrRefCount(result);
    Tcl_DecrRefCount(command);
    Tcl_Release(interp);
    return code;
}

int script_owner_export(Tcl_Interp *parent, Tcl_Obj *path, Tcl_Obj *name, Tcl_Obj *command)
{
    Tcl_Interp *interp = script_owner_find(parent, path);
    ScriptOwner *owner = owner_of(interp);
    if (owner == NULL || !owner->linked) {
        Tcl_AppendResult(parent, "no script's interpreter \"", Tcl_GetString(path), "\"", NULL);
        return TCL_ERROR;
    }
    Export *exported = (Export *)Tcl_Alloc(sizeof *exported);
    exported->interp = interp;
    exported->owner = owner;
    Tcl_Preserve(interp);
    exported->command = Tcl_DuplicateObj(command);
    Tcl_IncrRefCount(exported->command);
    Tcl_CreateObjCommand(parent, Tcl_GetString(name), call_export, exported, forget_export);
    return TCL_OK;
}
