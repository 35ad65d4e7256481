// The plugin's one Tcl interpreter: finding and loading the Tcl library,
// starting the interpreter with Tcl and Tk, and tearing it all down.
#ifndef TOBRISK_INTERP_H
#define TOBRISK_INTERP_H

#include <windows.h>

struct Tcl_Interp;

// Starts the runtime, or returns the interpreter already held. Returns NULL
// after showing what failed.
Tcl_Interp *interp_startup(void);
Tcl_Interp *interp_get(void);
// The number of the running runtime, new at each start-up; 0 while none runs.
unsigned interp_runtime(void);
// Ends the interpreter; the Tcl library stays loaded for the next start-up.
void interp_shutdown(void);
// Brackets each call from the host that may run Tcl code; `HostCall` does
// it for one scope.
void interp_enter_host_call(void);
void interp_leave_host_call(void);
// True while a call from the host runs.
bool interp_in_host_call(void);
struct HostCall {
    HostCall() { interp_enter_host_call(); }
    ~HostCall() { interp_leave_host_call(); }
};
// `interp create PATH` in `parent`, for a script's own interpreter: the
// child starts from the library that `parent` uses without searching for it
// again (src/child_interp.cpp). Its result and errors are those of `interp create`.
struct Tcl_Obj;
int interp_create_child(Tcl_Interp *parent, Tcl_Obj *path);
// Loads "<plugin folder>\bin\tcl84t.dll"; 0 on success, 1 on failure.
int interp_load_library(int capacity, HMODULE *library, WCHAR *file_name);

#endif
