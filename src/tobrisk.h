// The plugin shell: entry points, process-wide state, the preferences page,
// the script start and stop, and the reports shown to the user.
#ifndef TOBRISK_TOBRISK_H
#define TOBRISK_TOBRISK_H

#include <stdint.h>
#include <windows.h>

#include "host.h"
#include "host_services.h"
#include "tobrisk_version.h"

struct Tcl_Interp;
struct Tcl_Obj;

#define TOBRISK_GUID "7C3A2F90-4D1B-11d7-9E55-00A0C94B6D21"
#define TOBRISK_NAME "Tobrisk"
#define TOBRISK_MAKER "Oxbrindle"
#define TOBRISK_DESCRIPTION \
    "Tcl scripting as a Vellumar plugin.  Version " TOBRISK_VERSION ", Build " TOBRISK_BUILD

enum { TOBRISK_PATH_MAX = 260, TOBRISK_TEXT_MAX = 1024 };

// The six directories handed over at "load", in this order.
enum PluginPath {
    PATH_CONFIG,
    PATH_SKIN,
    PATH_TEMP,
    PATH_GLOBAL_CONFIG,
    PATH_VELLUMAR,
    PATH_LANGUAGE,
    PATH_COUNT
};

extern "C" {
__declspec(dllexport) int32_t __cdecl plugin_version(void);
__declspec(dllexport) int32_t __cdecl plugin_main(const char *event, void *data);
}

// plugin.cpp
HINSTANCE module_handle(void);
void module_handle_set(HINSTANCE module);
const char *plugin_path(PluginPath which);
// Calls the host's service function; returns 0 without a call when none is held.
int32_t host_send(HostService service, void *record);
// False before "load" and after "unload": records then reach nobody, so
// nothing may be handed over in them.
bool host_present(void);

// prefs.cpp
void prefs_register(void);
void prefs_show(PrefsShowRecord *record);
void prefs_action(const PrefsActionRecord *record);
void prefs_unload(void);
HWND pane_create(HINSTANCE module, int template_id, HWND parent, DLGPROC procedure);
void pane_destroy(HWND window);

// page_host.cpp: the window in the page that holds the scripts' Tk view,
// from the page's creation (with a runtime) to its end or the runtime's.
void page_host_open(HWND page);
void page_host_close(void);

// alias_registration.cpp: the chat alias "/tobrisk", registered from "start" to "stop".
void alias_register(Tcl_Interp *interp);
void alias_unregister(void);
bool alias_registered(void);
// Forgets a registration without telling the host, which has gone.
void alias_forget(void);

// script_host.cpp: the bare interpreter made the scripts' host, and the panic
Tcl_Interp *tobrisk_startup(void);
void tobrisk_shutdown(void);
void tobrisk_register_commands(Tcl_Interp *interp);
void tobrisk_panic(const char *format, ...);

// deep_stack.cpp: evaluations the plugin starts, on a stack large enough
// for deeply nested input. Scripts are evaluated at the global level.
// tobrisk_deep_call runs work(argument) there and returns its result.
int tobrisk_deep_call(int (*work)(void *), void *argument);
bool tobrisk_on_deep_stack(void);
// Keep the thread a fiber between the two, for the deep calls of one call
// from the host.
void tobrisk_deep_hold(void);
void tobrisk_deep_release(void);
int tobrisk_eval(Tcl_Interp *interp, const char *script);
int tobrisk_eval_obj(Tcl_Interp *interp, Tcl_Obj *script);
int tobrisk_eval_file(Tcl_Interp *interp, const char *path);
void tobrisk_service_all(void);

// deep_windows.cpp: the window procedures of Tcl's and Tk's windows on the
// host's thread run on the deep stack, from "load" to "unload".
// Starts with the interpreter that has Tk (and again at each start-up).
void deep_windows_start(Tcl_Interp *interp);
// Takes in the windows made since the last call; for the end of a call
// from the host, when no Tcl or Tk code is under way.
void deep_windows_settle(void);
// Gives every window its own procedure back, before the plugin may go.
void deep_windows_stop(void);

// report.cpp
// A modal box with no owner; text and caption (NULL: Windows' default) are
// Tcl's texts. Returns the button, as MessageBox does.
int tobrisk_message_box(const char *text, const char *caption, UINT type);
// A box with an OK button and the caption "Tobrisk Error (<subject>)".
void tobrisk_report(const char *subject, const char *text);

#endif
