// The scripts' own interpreters: what the plugin knows of one that the
// supervisor adopted, and how a call from the host reaches it.
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"
#include "call_figures.h"
#include "../tclcmds.h"
#include "../tobrisk.h"

// The supervisor's procedures that a call from the host may need.
enum SupervisorProc { PROC_RUN, PROC_ARM, PROC_RUN_PENDING, PROC_OUTCOME, PROC_CALL_FAILED, PROC_SLOW_CALL, PROC_COUNT };
static const char *const SupervisorProcs[PROC_COUNT] = {
    "::tobrisk::sv::run", "::tobrisk::sv::arm", "::tobrisk::sv::run_pending", "::tobrisk::sv::outcome",
    "::tobrisk::sv::call_failed", "::tobrisk::sv::slow_call",
};

// The variables of the supervisor's namespace for the interpreter that a
// call reads and writes: linked to the fields below, so that the
// supervisor's procedures and the plugin's callbacks keep one account.
enum CallVariable { VAR_DEPTH, VAR_REARM, VAR_PENDING, VAR_ARMED, VAR_COUNT };
static const char *const CallVariables[VAR_COUNT] = { "depth", "rearm", "pending", "armed" };

// Kept as the interpreter's associated data, so it goes with it.
struct ScriptOwner {
    char *name;
    Tcl_Interp *parent;
    Tcl_Obj *path;      // the interpreter's path in its parent
    Tcl_Obj *name_obj;
    Tcl_Obj *procs[PROC_COUNT];
    int alerts;         // alerts raised
    bool linked;        // the four below are the supervisor's variables
    int depth;          // supervised calls into it on the stack
    Tcl_WideInt rearm;  // when its time limit must be armed again, in ms
    char *pending;      // an unload that waits for its code to return, or ""
    int armed;          // the budget its limit was last armed with, in ms
    CallFigures figures;
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
    static const int Types[VAR_COUNT] = { TCL_LINK_INT, TCL_LINK_WIDE_INT, TCL_LINK_STRING, TCL_LINK_INT };
    void *const fields[VAR_COUNT] = { &owner->depth, &owner->rearm, &owner->pending, &owner->armed };
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
    call_figures_free(&owner->figures);
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
    owner->armed = 0;
    call_figures_init(&owner->figures);
    call_clock_calibrate();
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

Tcl_Obj *script_owner_figures(Tcl_Interp *interp)
{
    ScriptOwner *owner = owner_of(interp);
    return call_figures_dict(owner != NULL ? &owner->figures : NULL);
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

// Tcl's clock is what the supervisor arms the limit with and what Tcl
// checks the limit against.
static Tcl_WideInt calibrated_now_ms(void)
{
    g_calibrated_ms = call_clock_now_ms();
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

// Supervised calls on the stack, of every script, and their number when
// the chat line now evaluated began (-1: none is).
static int g_calls_running = 0;
static int g_chat_line_at = -1;

int script_owner_chat_begins(void)
{
    int outer = g_chat_line_at;
    g_chat_line_at = g_calls_running;
    return outer;
}

void script_owner_chat_ends(int outer)
{
    g_chat_line_at = outer;
}

// An exported command called by the chat line itself, or by anything else
// (another script's call, a message).
static CallKind export_kind(void)
{
    return g_chat_line_at == g_calls_running ? CALL_CHAT : CALL_MESSAGE;
}

// What the supervisor's `run` does, without a procedure on the way: the
// call is counted, the time limit armed again when a quarter of the budget
// has passed, the script evaluated in the interpreter and timed, an unload
// that waited for the call run once the last call has returned, and a
// failure reported by the supervisor. The interpreter may be deleted by
// the end. Returns the clock at the call's start.
static uint64_t enter_call(ScriptOwner *owner, const char *subject)
{
    owner->depth++;
    g_calls_running++;
    if (may_be_due(owner->rearm)) {
        Tcl_Obj *when = Tcl_NewWideIntObj(calibrated_now_ms());
        call_supervisor(owner, PROC_ARM, 1, &when, subject);
    }
#ifdef TOBRISK_WITHOUT_ACCOUNTING
    return 0;
#else
    return call_clock();
#endif
}

// The ticks of the call that began at `started`, which has returned.
static uint64_t call_ended(uint64_t started)
{
    g_calls_running--;
#ifdef TOBRISK_WITHOUT_ACCOUNTING
    (void)started;
    return 0;
#else
    return call_clock_since(started);
#endif
}

// The call goes into the script's figures; one that used more than half
// its budget, and was not stopped for using all of it, the supervisor logs.
// The benchmark builds a library without this (TOBRISK_WITHOUT_ACCOUNTING)
// to weigh it beside the same calls with it.
static void account_call(ScriptOwner *owner, Tcl_Interp *interp, CallKind kind, uint64_t ticks, int count,
                         Tcl_Obj *const what[], const char *subject)
{
#ifdef TOBRISK_WITHOUT_ACCOUNTING
    (void)owner, (void)interp, (void)kind, (void)ticks, (void)count, (void)what, (void)subject;
#else
    call_figures_add(&owner->figures, kind, ticks, count, what);
    int ms;
    if (!call_figures_over_half(ticks, owner->armed, &ms) || Tcl_LimitExceeded(interp)) return;
    Tcl_Obj *words[] = { Tcl_NewStringObj(call_kind_name(kind), -1), Tcl_NewIntObj(ms),
                         call_figures_what(count, what) };
    call_supervisor(owner, PROC_SLOW_CALL, 3, words, subject);
#endif
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

// An `after` script's failure (CALL_TIMER) is a background error of the
// interpreter, as in Tcl, for the script's own handler; a time-out is
// always the supervisor's.
static void run_supervised(ScriptOwner *owner, Tcl_Interp *interp, Tcl_Obj *script, const char *what,
                           const char *subject, CallKind kind, Tcl_Obj *ran)
{
    Tcl_Interp *parent = owner->parent;
    uint64_t started = enter_call(owner, subject);
    int code = tobrisk_eval_obj(interp, script);
    uint64_t ticks = call_ended(started);
    if (!supervisor_live(owner->parent)) return;
    account_call(owner, interp, kind, ticks, 1, ran != NULL ? &ran : &script, subject);
    bool timer = kind == CALL_TIMER;
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

void callbacks_run(Tcl_Interp *interp, Tcl_Obj *script, const char *what, const char *subject, CallKind kind,
                   Tcl_Obj *ran)
{
    ScriptOwner *owner = owner_of(interp);
    if (owner == NULL) {
        if (tobrisk_eval_obj(interp, script) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(interp));
        return;
    }
    if (owner->linked) {
        run_supervised(owner, interp, script, what, subject, kind, ran);
    } else {
        Tcl_Obj *words[] = { Tcl_NewStringObj(what, -1), script, Tcl_NewStringObj(call_kind_name(kind), -1) };
        call_supervisor(owner, PROC_RUN, 3, words, subject);
    }
}

void script_owner_account(Tcl_Interp *interp, CallKind kind, Tcl_WideInt microseconds, Tcl_Obj *what)
{
    static const char subject[] = "::tobrisk::_account";
    ScriptOwner *owner = owner_of(interp);
    if (owner != NULL) account_call(owner, interp, kind, call_clock_ticks_of(microseconds), 1, &what, subject);
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
        callbacks_run(interp, script, Tcl_DStringValue(&what), "::tobrisk::publish", CALL_MESSAGE);
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
        run_supervised(owner, interp, script, "timer", subject, CALL_TIMER, NULL);
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

// Its result and its error go back to `parent`; the supervisor logs an
// error and counts a time-out (call_failed). The call may delete the
// interpreter, which is kept until it returns.
static int call_in_script(ScriptOwner *owner, Tcl_Interp *interp, Tcl_Interp *parent, int objc,
                          Tcl_Obj *const words[], CallKind kind)
{
    static const char subject[] = "::tobrisk::export";
    Tcl_Obj *command = words[0];
    Tcl_IncrRefCount(command);
    Tcl_Preserve(interp);
    uint64_t started = enter_call(owner, subject);
    int code = Tcl_EvalObjv(interp, objc, words, TCL_EVAL_GLOBAL);
    uint64_t ticks = call_ended(started);
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(result);
    Tcl_Obj *options = code == TCL_ERROR ? Tcl_GetReturnOptions(interp, code) : NULL;
    if (options != NULL) Tcl_IncrRefCount(options);
    Tcl_ResetResult(interp);
    account_call(owner, interp, kind, ticks, objc, words, subject);
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

int script_owner_call(Tcl_Interp *interp, Tcl_Interp *parent, int objc, Tcl_Obj *const objv[], CallKind kind)
{
    ScriptOwner *owner = owner_of(interp);
    if (owner == NULL || Tcl_InterpDeleted(interp) || objc < 1) {
        Tcl_SetObjResult(parent, Tcl_NewStringObj("no script's interpreter to call", -1));
        return TCL_ERROR;
    }
    return call_in_script(owner, interp, parent, objc, objv, kind);
}

static int call_export(ClientData data, Tcl_Interp *parent, int objc, Tcl_Obj *const objv[])
{
    // An unload that the call runs deletes this command and its data:
    // call_in_script holds what it needs.
    Export *exported = (Export *)data;
    Tcl_Interp *interp = exported->interp;
    if (Tcl_InterpDeleted(interp)) {
        Tcl_AppendResult(parent, "the script that made \"", Tcl_GetString(objv[0]), "\" has been unloaded", NULL);
        return TCL_ERROR;
    }
    enum { Kept = 16 };
    Tcl_Obj *kept[Kept];
    Tcl_Obj **words = objc <= Kept ? kept : (Tcl_Obj **)Tcl_Alloc(objc * sizeof *words);
    words[0] = exported->command;
    for (int index = 1; index < objc; index++) words[index] = objv[index];
    int code = call_in_script(exported->owner, interp, parent, objc, words, export_kind());
    if (words != kept) Tcl_Free((char *)words);
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
