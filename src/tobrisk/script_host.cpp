// Turning the bare interpreter into the plugin's script host: the two
// commands, the exit guard, init.tcl and the scripts' startup and shutdown
// procedures; and the panic procedure that ends the process.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <sys/stat.h>

#include <tcl.h>

#include "../interp.h"
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

// Moves the built-in exit aside and puts an error in its place, so that a
// script cannot end the host's process by accident.
static const char ExitGuard[] =
    "rename ::exit ::tcl::exit\n"
    "                proc ::exit {args} {\n"
    "                    error \"exit is disabled\"\n"
    "                }";
static_assert(sizeof ExitGuard - 1 == 125, "the exit guard is 125 characters");

// The plugin's own file names, in UTF-16 so that any folder works.
static WCHAR g_plugin_folder[TOBRISK_PATH_MAX];
static WCHAR g_init_script[TOBRISK_TEXT_MAX];
static char g_panic_text[TOBRISK_TEXT_MAX];

void tobrisk_register_commands(Tcl_Interp *interp)
{
    Tcl_CreateObjCommand(interp, "vellumar", TobriskTclVellumarCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "tobrisk", TobriskTclInfoCmd, NULL, NULL);
    // For the supervisor, whose scripts get a `vellumar` with the same options.
    Tcl_CreateObjCommand(interp, "::tobrisk::service_names", TobriskTclServiceNamesCmd, NULL, NULL);
}

// Evaluates a script and shows the interpreter's result when the
// completion code is anything but TCL_OK.
static void eval_reported(Tcl_Interp *interp, const char *script, const char *subject)
{
    if (tobrisk_eval(interp, script) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(interp));
}

// Notes the folder that holds the plugin library; false when Windows
// cannot say where the library is.
static bool find_plugin_folder(void)
{
    WCHAR file[TOBRISK_PATH_MAX];
    DWORD length = GetModuleFileNameW(module_handle(), file, TOBRISK_PATH_MAX);
    if (length == 0) return false;
    file[TOBRISK_PATH_MAX - 1] = L'\0';
    WCHAR *slash = wcsrchr(file, L'\\');
    if (slash != NULL) *slash = L'\0';
    memcpy(g_plugin_folder, file, sizeof g_plugin_folder);
    return true;
}

static void source_init_script(Tcl_Interp *interp)
{
    // The folder has at most 259 characters, so the name always fits.
    wcscpy(g_init_script, g_plugin_folder);
    wcscat(g_init_script, L"\\init.tcl");
    struct _stat info;
    if (_wstat(g_init_script, &info) != 0) return;
    // Tcl takes file names in its own form of UTF-8; `info script` then
    // names the file as Windows does.
    Tcl_DString path;
    int code = tobrisk_eval_file(interp, text_wide_to_tcl(g_init_script, &path));
    Tcl_DStringFree(&path);
    if (code != TCL_OK) tobrisk_report("init.tcl", Tcl_GetStringResult(interp));
}

Tcl_Interp *tobrisk_startup(void)
{
    if (!find_plugin_folder()) return NULL;
    Tcl_Interp *interp = interp_startup();
    if (interp == NULL) return NULL;
    tobrisk_register_commands(interp);
    tclcmds_register_supervision(interp);
    deep_windows_start(interp);
    tclcmds_register_standard_channels(interp);
    eval_reported(interp, ExitGuard, "rename ::exit -> ::tcl::exit");
    source_init_script(interp);
    eval_reported(interp, "::tobrisk::startup", "::tobrisk::startup");
    return interp;
}

void tobrisk_shutdown(void)
{
    Tcl_Interp *interp = interp_get();
    if (interp == NULL) return;
    // The page's Tk view goes while Tk is there; the page stays as made.
    page_host_close();
    eval_reported(interp, "::tobrisk::shutdown", "::tobrisk::shutdown");
    // What is due runs before the interpreter goes; servicing is off inside
    // the host's call, so it is on for this once, with no script running.
    int mode = Tcl_SetServiceMode(TCL_SERVICE_ALL);
    tobrisk_service_all();
    Tcl_SetServiceMode(mode);
    interp_shutdown();
}

void tobrisk_panic(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int written = _vsnprintf(g_panic_text, sizeof g_panic_text, format, arguments);
    va_end(arguments);
    g_panic_text[sizeof g_panic_text - 1] = '\0';
    if (written < 0 || written >= (int)sizeof g_panic_text) text_drop_cut_character(g_panic_text);
    MessageBeep(MB_ICONEXCLAMATION);
    tobrisk_message_box(g_panic_text, "Tobrisk: Fatal Error", MB_SETFOREGROUND | MB_TASKMODAL | MB_ICONERROR);
    TerminateProcess(GetCurrentProcess(), 1);
}
