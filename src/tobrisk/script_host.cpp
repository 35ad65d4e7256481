// Turning the bare interpreter into the plugin's script host: the two
// commands, the exit guard, init.tcl and the scripts' startup and shutdown
// procedures; and the panic procedure that ends the process.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <tcl.h>

#include "../interp.h"
#include "../tclcmds.h"
#include "../tobrisk.h"

// Moves the built-in exit aside and puts an error in its place, so that a
// script cannot end the host's process by accident.
static const char ExitGuard[] =
    "rename ::exit ::tcl::exit\n"
    "                proc ::exit {args} {\n"
    "                    error \"exit is disabled\"\n"
    "                }";
static_assert(sizeof ExitGuard - 1 == 125, "the exit guard is 125 characters");

static char g_plugin_folder[TOBRISK_PATH_MAX];
static char g_init_script[TOBRISK_TEXT_MAX];
static char g_panic_text[TOBRISK_TEXT_MAX];

void tobrisk_register_commands(Tcl_Interp *interp)
{
    Tcl_CreateObjCommand(interp, "vellumar", TobriskTclVellumarCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "tobrisk", TobriskTclInfoCmd, NULL, NULL);
}

// Evaluates a script and shows the interpreter's result when the
// completion code is anything but TCL_OK.
static void eval_reported(Tcl_Interp *interp, const char *script, const char *subject)
{
    if (Tcl_Eval(interp, script) != TCL_OK) tobrisk_report(subject, Tcl_GetStringResult(interp));
}

// Notes the folder that holds the plugin library; false when Windows
// cannot say where the library is.
static bool find_plugin_folder(void)
{
    char file[TOBRISK_PATH_MAX];
    DWORD length = GetModuleFileNameA(module_handle(), file, sizeof file);
    if (length == 0) return false;
    file[sizeof file - 1] = '\0';
    char *slash = strrchr(file, '\\');
    if (slash != NULL) *slash = '\0';
    memcpy(g_plugin_folder, file, sizeof g_plugin_folder);
    return true;
}

static void source_init_script(Tcl_Interp *interp)
{
    _snprintf(g_init_script, sizeof g_init_script, "%s\\init.tcl", g_plugin_folder);
    g_init_script[sizeof g_init_script - 1] = '\0';
    struct _stat info;
    if (_stat(g_init_script, &info) != 0) return;
    if (Tcl_EvalFile(interp, g_init_script) != TCL_OK) {
        tobrisk_report("init.tcl", Tcl_GetStringResult(interp));
    }
}

Tcl_Interp *tobrisk_startup(void)
{
    if (!find_plugin_folder()) return NULL;
    Tcl_Interp *interp = interp_startup();
    if (interp == NULL) return NULL;
    tobrisk_register_commands(interp);
    eval_reported(interp, ExitGuard, "rename ::exit -> ::tcl::exit");
    source_init_script(interp);
    eval_reported(interp, "::tobrisk::startup", "::tobrisk::startup");
    return interp;
}

void tobrisk_shutdown(void)
{
    Tcl_Interp *interp = interp_get();
    if (interp == NULL) return;
    eval_reported(interp, "::tobrisk::shutdown", "::tobrisk::shutdown");
    Tcl_ServiceAll();
    interp_shutdown();
}

void tobrisk_panic(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    _vsnprintf(g_panic_text, sizeof g_panic_text, format, arguments);
    va_end(arguments);
    g_panic_text[sizeof g_panic_text - 1] = '\0';
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxA(NULL, g_panic_text, "Tobrisk: Fatal Error",
                MB_SETFOREGROUND | MB_TASKMODAL | MB_ICONERROR);
    TerminateProcess(GetCurrentProcess(), 1);
}
