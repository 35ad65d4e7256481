// `after` in a script's own interpreter: Tcl's command, word for word, whose
// timers and idle scripts run as supervised calls, under the script's
// budget, name and accounting, whatever services the event loop. It is a
// command of C rather than a procedure, so that traces and `info level`
// see nothing of it and its messages are Tcl's own. `after MS` without a
// script is Tcl's own command, which the interpreter keeps for it.
#include <limits.h>
#include <string.h>

#include "../callbacks.h"

struct ScriptTimers;

// One pending `after` script, newest first in its interpreter's list.
struct Timer {
    ScriptTimers *timers;
    Tcl_Obj *script;
    int id;
    Tcl_TimerToken token;   // NULL for an idle script
    Timer *next;
};

// Kept as the interpreter's associated data: its timers go with it.
struct ScriptTimers {
    Tcl_Interp *interp;
    Tcl_ObjCmdProc *tcl_after;
    ClientData tcl_after_data;
    Timer *first;
};
static const char TimersKey[] = "tobrisk script timers";

// Tcl numbers its own timers per thread; these have a count of their own,
// beside Tcl's, in the same shape.
static int g_next_id;

static void unlink_timer(Timer *timer)
{
    Timer **link = &timer->timers->first;
    while (*link != timer) link = &(*link)->next;
    *link = timer->next;
}

static void free_timer(Timer *timer)
{
    unlink_timer(timer);
    Tcl_DecrRefCount(timer->script);
    Tcl_Free((char *)timer);
}

static void fire(ClientData data)
{
    Timer *timer = (Timer *)data;
    Tcl_Interp *interp = timer->timers->interp;
    Tcl_Obj *script = timer->script;
    Tcl_IncrRefCount(script);
    free_timer(timer);
    Tcl_Preserve(interp);
    if (!Tcl_InterpDeleted(interp)) script_owner_run_timer(interp, script);
    Tcl_Release(interp);
    Tcl_DecrRefCount(script);
}

static void cancel(Timer *timer)
{
    if (timer->token != NULL) {
        Tcl_DeleteTimerHandler(timer->token);
    } else {
        Tcl_CancelIdleCall(fire, timer);
    }
    free_timer(timer);
}

static void forget_timers(ClientData data, Tcl_Interp *interp)
{
    (void)interp;
    ScriptTimers *timers = (ScriptTimers *)data;
    while (timers->first != NULL) cancel(timers->first);
    Tcl_Free((char *)timers);
}

// The timer named "after#N", or NULL.
static Timer *find_id(ScriptTimers *timers, Tcl_Obj *word)
{
    const char *text = Tcl_GetString(word);
    if (strncmp(text, "after#", 6) != 0) return NULL;
    int id;
    if (Tcl_GetInt(NULL, text + 6, &id) != TCL_OK) return NULL;
    for (Timer *timer = timers->first; timer != NULL; timer = timer->next) {
        if (timer->id == id) return timer;
    }
    return NULL;
}

static Tcl_Obj *script_of(int objc, Tcl_Obj *const objv[])
{
    return objc == 3 ? objv[2] : Tcl_ConcatObj(objc - 2, objv + 2);
}

static int schedule(ScriptTimers *timers, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], bool idle,
                    Tcl_WideInt ms)
{
    Timer *timer = (Timer *)Tcl_Alloc(sizeof *timer);
    timer->timers = timers;
    timer->script = script_of(objc, objv);
    Tcl_IncrRefCount(timer->script);
    timer->id = g_next_id++;
    timer->next = timers->first;
    timers->first = timer;
    if (idle) {
        timer->token = NULL;
        Tcl_DoWhenIdle(fire, timer);
    } else {
        timer->token = Tcl_CreateTimerHandler(ms > INT_MAX ? INT_MAX : (int)ms, fire, timer);
    }
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("after#%d", timer->id));
    return TCL_OK;
}

static int cancel_cmd(ScriptTimers *timers, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "id|command");
        return TCL_ERROR;
    }
    Tcl_Obj *command = script_of(objc, objv);
    Tcl_IncrRefCount(command);
    int length;
    const char *text = Tcl_GetStringFromObj(command, &length);
    Timer *found = NULL;
    for (Timer *timer = timers->first; timer != NULL && found == NULL; timer = timer->next) {
        int other_length;
        const char *other = Tcl_GetStringFromObj(timer->script, &other_length);
        if (other_length == length && memcmp(other, text, length) == 0) found = timer;
    }
    if (found == NULL) found = find_id(timers, command);
    Tcl_DecrRefCount(command);
    if (found != NULL) cancel(found);
    return TCL_OK;
}

static int info_cmd(ScriptTimers *timers, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc == 2) {
        Tcl_Obj *ids = Tcl_NewListObj(0, NULL);
        for (Timer *timer = timers->first; timer != NULL; timer = timer->next) {
            Tcl_ListObjAppendElement(NULL, ids, Tcl_ObjPrintf("after#%d", timer->id));
        }
        Tcl_SetObjResult(interp, ids);
        return TCL_OK;
    }
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "?id?");
        return TCL_ERROR;
    }
    Timer *timer = find_id(timers, objv[2]);
    if (timer == NULL) {
        const char *id = Tcl_GetString(objv[2]);
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("event \"%s\" doesn't exist", id));
        Tcl_SetErrorCode(interp, "TCL", "LOOKUP", "EVENT", id, NULL);
        return TCL_ERROR;
    }
    Tcl_Obj *words[] = { timer->script, Tcl_NewStringObj(timer->token == NULL ? "idle" : "timer", -1) };
    Tcl_SetObjResult(interp, Tcl_NewListObj(2, words));
    return TCL_OK;
}

static const char *const Options[] = { "cancel", "idle", "info", NULL };
enum Option { OPTION_CANCEL, OPTION_IDLE, OPTION_INFO };

static int after_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    ScriptTimers *timers = (ScriptTimers *)data;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "option ?arg ...?");
        return TCL_ERROR;
    }
    // A number first, as Tcl reads it; then the options, by their
    // unique prefixes.
    Tcl_WideInt ms;
    int option;
    if (Tcl_GetWideIntFromObj(NULL, objv[1], &ms) == TCL_OK) {
        if (objc == 2) return timers->tcl_after(timers->tcl_after_data, interp, objc, objv);
        return schedule(timers, interp, objc, objv, false, ms < 0 ? 0 : ms);
    }
    if (Tcl_GetIndexFromObj(NULL, objv[1], Options, "", 0, &option) != TCL_OK) {
        const char *word = Tcl_GetString(objv[1]);
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad argument \"%s\": must be cancel, idle, info, or an integer", word));
        Tcl_SetErrorCode(interp, "TCL", "LOOKUP", "INDEX", "argument", word, NULL);
        return TCL_ERROR;
    }
    switch ((Option)option) {
    case OPTION_CANCEL:
        return cancel_cmd(timers, interp, objc, objv);
    case OPTION_IDLE:
        if (objc < 3) {
            Tcl_WrongNumArgs(interp, 2, objv, "script ?script ...?");
            return TCL_ERROR;
        }
        return schedule(timers, interp, objc, objv, true, 0);
    case OPTION_INFO:
        return info_cmd(timers, interp, objc, objv);
    }
    return TCL_OK;
}

void script_timers_install(Tcl_Interp *interp)
{
    if (Tcl_GetAssocData(interp, TimersKey, NULL) != NULL) return;
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, "::after", &info) || info.objProc == NULL) return;
    ScriptTimers *timers = (ScriptTimers *)Tcl_Alloc(sizeof *timers);
    timers->interp = interp;
    timers->tcl_after = info.objProc;
    timers->tcl_after_data = info.objClientData;
    timers->first = NULL;
    Tcl_SetAssocData(interp, TimersKey, forget_timers, timers);
    Tcl_CreateObjCommand(interp, "::after", after_cmd, timers, NULL);
}
