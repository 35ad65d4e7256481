// Tcl without the plugin: the start-up the plugin's own is measured
// against, and Tcl calls through the stubs of an interpreter made
// elsewhere, to time a script with nothing of the plugin around it.
#ifndef TOBRISK_BENCH_BARE_TCL_H
#define TOBRISK_BENCH_BARE_TCL_H

#include <windows.h>

#include <string>

struct Tcl_Interp;

struct BareTcl {
    HMODULE library;
    Tcl_Interp *interp;
};

// Does what "load" must do to have Tcl and Tk up, and no more: loads
// FOLDER\bin\tcl84t.dll, creates an interpreter, points it at its script
// library, Tcl_Init, package require Tk, wm withdraw. False, with the
// reason, on failure.
bool bare_start(const std::string &folder, BareTcl &bare, std::string &error);
// Deletes the interpreter, finalises Tcl and unloads its library.
void bare_stop(BareTcl &bare);

// Takes the stubs table of an interpreter (the plugin's) for the calls
// below. Needed again after the library has been loaded anew.
bool stubs_attach(Tcl_Interp *interp);
int stubs_eval(const char *script);
std::string stubs_result();
void stubs_set_element(const char *array, const char *element, const char *value);
void stubs_unset(const char *name);

// A connection change as the host reports it.
struct ConnectionChange {
    int cid;
    const char *name;
    const char *medium;
    const char *status;
};
// Does COUNT times what an embedding must do at the least for each event:
// sets the four elements of the global array `event` (names made once),
// evaluates the script and removes the array. Returns microseconds each.
double stubs_time_published_eval(const char *script, const ConnectionChange &change, long count);

#endif
