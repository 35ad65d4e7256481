// ::tobrisk::_replace FROM TO: the file FROM takes the place of TO in one
// step, for the supervisor's files that must never be half written. Tcl's
// own `file rename -force` moves TO aside first and FROM in second, which
// leaves no TO in between.
#include <windows.h>

#include "../tclcmds.h"

int TobriskTclReplaceCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "from to");
        return TCL_ERROR;
    }
    // Tcl's native paths on Windows are wide texts.
    const WCHAR *from = (const WCHAR *)Tcl_FSGetNativePath(objv[1]);
    const WCHAR *to = (const WCHAR *)Tcl_FSGetNativePath(objv[2]);
    if (from == NULL || to == NULL) {
        Tcl_AppendResult(interp, "cannot replace \"", Tcl_GetString(objv[2]), "\": bad file name", NULL);
        return TCL_ERROR;
    }
    if (!MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("cannot replace \"%s\" with \"%s\": Windows error %d",
                                               Tcl_GetString(objv[2]), Tcl_GetString(objv[1]),
                                               (int)GetLastError()));
        return TCL_ERROR;
    }
    return TCL_OK;
}
