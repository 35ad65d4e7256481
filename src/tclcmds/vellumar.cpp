// The `vellumar` command: a host service name, then that service's words.
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

static int g_service_index = 0;

int tclcmds_int_result(Tcl_Interp *interp, int value)
{
    Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
    return TCL_OK;
}

int TobriskTclNotImplemented(Tcl_Interp *interp, Tcl_Obj *const words[])
{
    Tcl_AppendResult(interp, Tcl_GetString(words[0]), " not yet implemented", NULL);
    return TCL_ERROR;
}

int TobriskTclNoHandler(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    (void)count;
    return TobriskTclNotImplemented(interp, words);
}

// vellumar versionRequest
// The host answers with a pointer to its version text, or 0. Words after
// the option are ignored.
int TobriskTclVersionRequest(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    (void)count;
    (void)words;
    const char *text = (const char *)(intptr_t)host_send(SERVICE_versionRequest, NULL);
    if (text != NULL) Tcl_SetObjResult(interp, text_from_host(text));
    return TCL_OK;
}

// Each service's handler, by the index of its name.
#define TOBRISK_HANDLER(name, handler, record, hands) handler,
static VellumarHandler *const Handlers[] = {TOBRISK_HOST_SERVICES(TOBRISK_HANDLER)};
#undef TOBRISK_HANDLER
static_assert(sizeof Handlers / sizeof Handlers[0] == HOST_SERVICE_COUNT, "a handler for every name");

// A restricted script's `vellumar`: the services it may call, and the
// supervisor's command that refuses the others (called in the main
// interpreter with the service's name; its error is the script's).
struct Restriction {
    bool allowed[HOST_SERVICE_COUNT];
    Tcl_Interp *parent;
    Tcl_Obj *refuse;
};

static void forget_restriction(ClientData data)
{
    Restriction *restriction = (Restriction *)data;
    Tcl_DecrRefCount(restriction->refuse);
    Tcl_Free((char *)restriction);
}

static int refuse_service(const Restriction *restriction, Tcl_Interp *interp, int index)
{
    Tcl_Obj *call = Tcl_DuplicateObj(restriction->refuse);
    Tcl_IncrRefCount(call);
    Tcl_ListObjAppendElement(NULL, call, Tcl_NewStringObj(HostServiceNames[index], -1));
    Tcl_Interp *parent = restriction->parent;
    Tcl_Preserve(parent);
    if (Tcl_EvalObjEx(parent, call, TCL_EVAL_GLOBAL) == TCL_OK) {
        Tcl_AppendResult(parent, HostServiceNames[index], " is refused", NULL);
    }
    Tcl_SetObjResult(interp, Tcl_GetObjResult(parent));
    Tcl_SetErrorCode(interp, "TOBRISK", "CAPABILITY", NULL);
    Tcl_ResetResult(parent);
    Tcl_Release(parent);
    Tcl_DecrRefCount(call);
    return TCL_ERROR;
}

int TobriskTclVellumarCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "option ?arg arg ...?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], HostServiceNames, "option", 0, &g_service_index) != TCL_OK) {
        return TCL_ERROR;
    }
    const Restriction *restriction = (const Restriction *)data;
    if (restriction != NULL && !restriction->allowed[g_service_index]) {
        return refuse_service(restriction, interp, g_service_index);
    }
    return Handlers[g_service_index](interp, objc - 1, objv + 1);
}

// ::tobrisk::_restrict PATH SERVICES REFUSE
// The script's interpreter PATH may call only the services named in the
// list SERVICES; REFUSE, a command prefix of the main interpreter, is
// called with the name of any other and gives the error.
int TobriskTclRestrictCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 1, objv, "path services refuse");
        return TCL_ERROR;
    }
    Tcl_Interp *child = Tcl_GetSlave(interp, Tcl_GetString(objv[1]));
    if (child == NULL) return TCL_ERROR;
    int count;
    Tcl_Obj **names;
    if (Tcl_ListObjGetElements(interp, objv[2], &count, &names) != TCL_OK) return TCL_ERROR;
    Restriction *restriction = (Restriction *)Tcl_Alloc(sizeof *restriction);
    for (bool &allowed : restriction->allowed) allowed = false;
    for (int at = 0; at < count; at++) {
        int index;
        if (Tcl_GetIndexFromObj(interp, names[at], HostServiceNames, "service", TCL_EXACT, &index) != TCL_OK) {
            Tcl_Free((char *)restriction);
            return TCL_ERROR;
        }
        restriction->allowed[index] = true;
    }
    restriction->parent = interp;
    restriction->refuse = Tcl_DuplicateObj(objv[3]);
    Tcl_IncrRefCount(restriction->refuse);
    Tcl_CreateObjCommand(child, "vellumar", TobriskTclVellumarCmd, restriction, forget_restriction);
    return TCL_OK;
}

// ::tobrisk::service_names
// The command's options in their order, for scripts that offer a `vellumar`
// of their own, as the supervisor does in each script's interpreter.
int TobriskTclServiceNamesCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 1) {
        Tcl_WrongNumArgs(interp, 1, objv, NULL);
        return TCL_ERROR;
    }
    Tcl_Obj *names = Tcl_NewListObj(0, NULL);
    for (int index = 0; index < HOST_SERVICE_COUNT; index++) {
        Tcl_ListObjAppendElement(NULL, names, Tcl_NewStringObj(HostServiceNames[index], -1));
    }
    Tcl_SetObjResult(interp, names);
    return TCL_OK;
}
