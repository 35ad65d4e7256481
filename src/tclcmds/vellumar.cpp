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

int TobriskTclVellumarCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "option ?arg arg ...?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], HostServiceNames, "option", 0, &g_service_index) != TCL_OK) {
        return TCL_ERROR;
    }
    return Handlers[g_service_index](interp, objc - 1, objv + 1);
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
