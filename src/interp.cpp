// Loading the Tcl library at run time and starting the one interpreter.
// Only Tcl_CreateInterp and Tcl_FindExecutable are bound by name; every
// other Tcl call goes through the stubs table that Tcl_InitStubs installs.
#include <string.h>
#include <wchar.h>

#include <tcl.h>

#include "interp.h"
#include "text.h"
#include "tobrisk.h"

typedef Tcl_Interp *(*CreateInterpFn)(void);
typedef void (*FindExecutableFn)(const char *);

static HMODULE g_library = NULL;
static CreateInterpFn g_create_interp = NULL;
static FindExecutableFn g_find_executable = NULL;
static Tcl_Interp *g_interp = NULL;
// Counts the interpreters started; the running one's number, 0 while none
// runs, tells the bindings of earlier runtimes from its own.
static unsigned g_runtime_count = 0;
static int g_host_calls = 0;   // calls from the host now running, nested
static int g_mode_before_call = TCL_SERVICE_ALL;

// File names are taken and used in UTF-16, so that any folder Windows can
// hold works, whatever the ANSI code page.
static WCHAR g_tcl_file_name[TOBRISK_PATH_MAX];
static WCHAR g_library_directory[TOBRISK_PATH_MAX];

// Appends text to a buffer of `capacity` characters, cut so that it stays
// terminated.
static void append_cut(WCHAR *buffer, int capacity, const WCHAR *text)
{
    size_t used = wcslen(buffer);
    if (used + 1 >= (size_t)capacity) return;
    wcsncat(buffer, text, (size_t)capacity - used - 1);
}

static void module_file_name(HMODULE module, WCHAR *buffer, int capacity)
{
    GetModuleFileNameW(module, buffer, (DWORD)capacity);
    buffer[capacity - 1] = L'\0';
}

int interp_load_library(int capacity, HMODULE *library, WCHAR *file_name)
{
    WCHAR path[TOBRISK_PATH_MAX] = L"";
    module_file_name(module_handle(), path, TOBRISK_PATH_MAX);
    WCHAR *slash = wcsrchr(path, L'\\');
    if (slash == NULL) return 1;
    *slash = L'\0';
    append_cut(path, TOBRISK_PATH_MAX, L"\\bin\\tcl84t.dll");
    HMODULE loaded = LoadLibraryW(path);
    if (loaded == NULL) return 1;
    *library = loaded;
    if (capacity > 0) module_file_name(loaded, file_name, capacity);
    return 0;
}

// Finds the two entries in the module that supplies Tcl. Fails, after
// showing why, when Tcl_CreateInterp is missing.
static bool bind_entries(HMODULE supplier)
{
    g_create_interp = (CreateInterpFn)(void *)GetProcAddress(supplier, "Tcl_CreateInterp");
    if (g_create_interp == NULL) {
        tobrisk_report("GetProcAddress", "Failed to load Tcl_CreateInterp symbol from Tcl DLL.");
        return false;
    }
    g_find_executable = (FindExecutableFn)(void *)GetProcAddress(supplier, "Tcl_FindExecutable");
    return true;
}

// Binds to Tcl: the executable's own Tcl if it exports one, else the
// library beside the plugin. A library kept from an earlier start-up is
// reused, with its entries looked up again.
static bool bind_tcl(void)
{
    HMODULE supplier;
    if (g_library != NULL) {
        module_file_name(g_library, g_tcl_file_name, TOBRISK_PATH_MAX);
        supplier = g_library;
    } else {
        HMODULE executable = GetModuleHandleA(NULL);
        if (GetProcAddress(executable, "Tcl_CreateInterp") != NULL) {
            supplier = executable;
        } else {
            if (interp_load_library(TOBRISK_PATH_MAX, &g_library, g_tcl_file_name) != 0) {
                tobrisk_report("LoadLibrary", "Failed to load tcl84t.dll.");
                return false;
            }
            supplier = g_library;
        }
    }
    if (!bind_entries(supplier)) return false;
    if (g_tcl_file_name[0] == L'\0') module_file_name(supplier, g_tcl_file_name, TOBRISK_PATH_MAX);
    return true;
}

// "C:\P\bin\tcl84t.dll" gives "C:\P\lib\tcl8.4": the file name and the
// last directory are dropped. A name that cannot be cut is used as it is.
static void derive_library_directory(void)
{
    memcpy(g_library_directory, g_tcl_file_name, sizeof g_library_directory);
    WCHAR *slash = wcsrchr(g_library_directory, L'\\');
    if (slash == NULL) return;
    *slash = L'\0';
    slash = wcsrchr(g_library_directory, L'\\');
    if (slash == NULL) return;
    *slash = L'\0';
    append_cut(g_library_directory, TOBRISK_PATH_MAX, L"\\lib\\tcl8.4");
}

static void set_shell_variables(Tcl_Interp *interp)
{
    Tcl_SetVar(interp, "argv", "", TCL_GLOBAL_ONLY);
    Tcl_SetVar(interp, "argc", "0", TCL_GLOBAL_ONLY);
    Tcl_SetVar(interp, "tcl_interactive", "0", TCL_GLOBAL_ONLY);
    Tcl_SetVar(interp, "tcl_rcFileName", "~/wishrc.tcl", TCL_GLOBAL_ONLY);
    if (g_tcl_file_name[0] != L'\0') {
        derive_library_directory();
        Tcl_Obj *library = text_from_wide(g_library_directory, -1);
        Tcl_SetVar2Ex(interp, "tcl_library", NULL, library, TCL_GLOBAL_ONLY);
        // A child interpreter (`interp create`) starts without tcl_library
        // and would look for lib/tcl8.6; the environment variable is the
        // first place it looks, so children find the library this one uses.
        // They take it as their tcl_library word for word, and scripts
        // treat [info library] as a list (`set auto_path [info library]`),
        // where a backslash escapes: children get the forward-slash form.
        WCHAR forward[TOBRISK_PATH_MAX];
        memcpy(forward, g_library_directory, sizeof forward);
        for (WCHAR *at = forward; *at != L'\0'; at++) {
            if (*at == L'\\') *at = L'/';
        }
        Tcl_SetVar2Ex(interp, "env", "TCL_LIBRARY", text_from_wide(forward, -1), TCL_GLOBAL_ONLY);
    }
}

// Tcl looks for its encodings beside the library under its own version's
// name and finds none there, so it starts with iso8859-1. init.tcl adds the
// encodings of tcl_library; now the ANSI code page can be set, as Tcl on
// Windows does ("cp1251", "cp932", ...). Without the encoding file the
// system encoding stays as it is.
static void use_system_encoding(void)
{
    Tcl_DString name;
    Tcl_SetSystemEncoding(NULL, Tcl_GetEncodingNameFromEnvironment(&name));
    Tcl_DStringFree(&name);
}

static bool init_tcl_and_tk(Tcl_Interp *interp)
{
    if (Tcl_Init(interp) != TCL_OK) {
        const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
        tobrisk_report("Tcl_Init", info != NULL ? info : "");
        tobrisk_report("Tcl_Init", "Failed to initialize Tcl!");
        return false;
    }
    use_system_encoding();
    if (Tcl_PkgRequire(interp, "Tk", "8.4", 0) == NULL) {
        tobrisk_report("Tcl_PkgRequire(Tk)", Tcl_GetStringResult(interp));
        tobrisk_report("Tcl_PkgRequire(Tk)", "Failed to initialize Tk");
        return false;
    }
    return true;
}

// Tcl on Windows asks Windows for the executable's name itself and only
// tells a name from none; the name goes over in UTF-8 all the same.
static void find_executable(void)
{
    char name[TOBRISK_PATH_MAX * 3];
    if (g_tcl_file_name[0] == L'\0' ||
        WideCharToMultiByte(CP_UTF8, 0, g_tcl_file_name, -1, name, sizeof name, NULL, NULL) == 0) {
        g_find_executable(NULL);
        return;
    }
    g_find_executable(name);
}

Tcl_Interp *interp_startup(void)
{
    g_tcl_file_name[0] = L'\0';
    if (g_interp != NULL) return g_interp;
    if (!bind_tcl()) return NULL;

    if (g_find_executable != NULL) find_executable();
    Tcl_Interp *interp = g_create_interp();
    if (interp == NULL) {
        tobrisk_report("Tcl_CreateInterp", "Failed to create main interpreter!");
        return NULL;
    }
    // Without stubs no Tcl call is possible, so this interpreter cannot
    // even be deleted; it is only forgotten.
    if (Tcl_InitStubs(interp, "8.4", 0) == NULL) {
        tobrisk_report("initstubs", "Failed to initialize Tcl stubs!");
        return NULL;
    }
    Tcl_SetPanicProc(tobrisk_panic);
    set_shell_variables(interp);
    if (!init_tcl_and_tk(interp)) {
        Tcl_DeleteInterp(interp);
        return NULL;
    }
    Tcl_Eval(interp, "wm withdraw .");
    // The host's message loop is the only event loop the scripts get. Tcl
    // starts with event servicing off; on, its notifier window services
    // `after` timers and Tk's events whenever the host dispatches messages.
    // Inside a call from the host it goes on when that call returns.
    if (g_host_calls == 0) Tcl_SetServiceMode(TCL_SERVICE_ALL);
    Tcl_SetVar(interp, "tobrisk_shutdown", "0", TCL_GLOBAL_ONLY);
    Tcl_Preserve(interp);
    g_interp = interp;
    g_runtime_count++;
    return interp;
}

Tcl_Interp *interp_get(void)
{
    return g_interp;
}

// While the host has called in, Tcl's event servicing is off. On, every
// window message that Tk's own work sends (CreateWindowEx sends WM_CREATE
// at once) would run pending Tcl events and idle handlers in the middle of
// that work: a toplevel mapped that way gets a second window, and its
// widgets are drawn in one outside the frame while the frame stays empty.
// `update` and `vwait` serve events all the same.
// The outermost call puts back the mode it found, so a script already
// running when the host calls in keeps servicing off.
void interp_enter_host_call(void)
{
    if (g_host_calls++ > 0) return;
    tobrisk_deep_hold();
    g_mode_before_call = g_interp != NULL ? Tcl_SetServiceMode(TCL_SERVICE_NONE) : TCL_SERVICE_ALL;
}

bool interp_in_host_call(void)
{
    return g_host_calls > 0;
}

static int service_window_events(void *unused)
{
    (void)unused;
    while (Tcl_ServiceEvent(TCL_WINDOW_EVENTS)) {
    }
    return 0;
}

// Tk's window events that came in meanwhile (focus, exposure, sizes) are
// handled as the call ends, with no Tk work under way, on the deep stack
// as their bindings are scripts; timers and idle handlers wait for the
// host's loop. Windows that the call made are then taken onto the deep
// stack.
void interp_leave_host_call(void)
{
    if (--g_host_calls > 0) return;
    if (g_interp != NULL) {
        tobrisk_deep_call(service_window_events, NULL);
        Tcl_SetServiceMode(g_mode_before_call);
        deep_windows_settle();
    }
    tobrisk_deep_release();
}

unsigned interp_runtime(void)
{
    return g_interp != NULL ? g_runtime_count : 0;
}

// One runtime serves every start-up of the process. Tcl cannot be
// initialised again once Tcl_Finalize has begun, and Tcl_Finalize does not
// wait for the reader and writer threads of busy pipes, so a finalised
// runtime could neither be reused nor unloaded safely; and each finalise
// and unload left about 2 MB of Tcl's and Tk's behind. So the teardown
// ends only the interpreter, and the library and its entries stay bound
// for the next start-up.
// Deleting the interpreter destroys Tk's windows, which runs their
// <Destroy> bindings; so it is done on the deep stack.
static int delete_interp(void *interp)
{
    Tcl_DeleteInterp((Tcl_Interp *)interp);
    return 0;
}

void interp_shutdown(void)
{
    if (g_interp == NULL) return;
    tobrisk_deep_call(delete_interp, g_interp);
    Tcl_Release(g_interp);
    g_interp = NULL;
}
