// The host's message loop enters Tcl and Tk through window procedures:
// Tcl's notifier window runs due timers, idle callbacks and file events,
// and Tk's windows turn Windows messages into Tk's events, run their
// bindings and run button, scrollbar and menu commands themselves. Each of
// those windows gets a procedure of ours in front of its own, which runs
// the message on the deep stack; so nested input reached from a timer or a
// binding ends as a Tcl error there too, and not in an overflow of the
// host thread's stack.
#include <tcl.h>

#include "../interp.h"
#include "../tobrisk.h"

// Windows are told by their instance: Tcl makes its notifier window with
// its own, and Tk makes every window with Tk's (its own classes and the
// native buttons and scrollbars that it subclasses).
static HMODULE g_tcl_module = NULL;
static HMODULE g_tk_module = NULL;
static bool g_started = false;
static HHOOK g_creation_hook = NULL;

// Each window taken in, with its own procedure as the value.
static Tcl_HashTable g_procedures;
static bool g_procedures_ready = false;
static int g_entries_after_prune = 0;

// Windows made since the last settle. More than fit make the next settle
// look at every window of the thread instead.
enum { PENDING_MAX = 256 };
static HWND g_pending[PENDING_MAX];
static int g_pending_count = 0;
static bool g_pending_overflow = false;

static LRESULT CALLBACK deep_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

static bool made_by_tcl_or_tk(HMODULE instance)
{
    return instance != NULL && (instance == g_tcl_module || instance == g_tk_module);
}

// Puts our procedure in front of the window's own. A native control that
// Tk has made but not yet subclassed is left alone: Tk's procedure would
// then call ours as the one it replaced, and ours would call it again.
static void take_in(HWND window)
{
    if (!made_by_tcl_or_tk((HMODULE)GetWindowLongPtrW(window, GWLP_HINSTANCE))) return;
    WNDPROC own = (WNDPROC)GetWindowLongPtrW(window, GWLP_WNDPROC);
    if (own == NULL || own == deep_window_procedure) return;
    bool class_of_tcl_or_tk = made_by_tcl_or_tk((HMODULE)GetClassLongPtrW(window, GCLP_HMODULE));
    if (!class_of_tcl_or_tk && own == (WNDPROC)GetClassLongPtrW(window, GCLP_WNDPROC)) return;
    int created;
    Tcl_HashEntry *entry = Tcl_CreateHashEntry(&g_procedures, (const char *)window, &created);
    Tcl_SetHashValue(entry, (ClientData)own);
    SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)deep_window_procedure);
}

// Tk puts a procedure of its own on the inner window of a toplevel when it
// makes the toplevel's frame, which replaces ours; the frame's children
// are looked at with it.
static void take_in_with_children(HWND window)
{
    if (!IsWindow(window)) return;
    take_in(window);
    for (HWND child = GetWindow(window, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        take_in(child);
    }
}

static BOOL CALLBACK take_in_descendant(HWND window, LPARAM unused)
{
    (void)unused;
    take_in(window);
    return TRUE;
}

static BOOL CALLBACK take_in_top_level(HWND window, LPARAM unused)
{
    (void)unused;
    if (!made_by_tcl_or_tk((HMODULE)GetWindowLongPtrW(window, GWLP_HINSTANCE))) return TRUE;
    take_in(window);
    EnumChildWindows(window, take_in_descendant, 0);
    return TRUE;
}

static void take_in_all(void)
{
    EnumThreadWindows(GetCurrentThreadId(), take_in_top_level, 0);
}

// Entries of windows that are gone, or whose procedure was put back by
// their owner (Tk gives a native control its own back as it destroys it).
static void prune(void)
{
    if (g_procedures.numEntries < 2 * g_entries_after_prune + 64) return;
    Tcl_HashSearch search;
    Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_procedures, &search);
    while (entry != NULL) {
        HWND window = (HWND)Tcl_GetHashKey(&g_procedures, entry);
        Tcl_HashEntry *next = Tcl_NextHashEntry(&search);
        if (!IsWindow(window) || (WNDPROC)GetWindowLongPtrW(window, GWLP_WNDPROC) != deep_window_procedure) {
            Tcl_DeleteHashEntry(entry);
        }
        entry = next;
    }
    g_entries_after_prune = g_procedures.numEntries;
}

void deep_windows_settle(void)
{
    if (!g_started || (g_pending_count == 0 && !g_pending_overflow)) return;
    // Taking a window in makes no window, so the list stays as it is.
    if (g_pending_overflow) {
        take_in_all();
    } else {
        for (int index = 0; index < g_pending_count; index++) take_in_with_children(g_pending[index]);
    }
    g_pending_count = 0;
    // Without the hook nothing notes new windows, so each settle looks at
    // all of them.
    g_pending_overflow = g_creation_hook == NULL;
    prune();
}

// Only the windows that Tcl and Tk make are noted; the host's own are
// none of the plugin's business.
static LRESULT CALLBACK creation_hook(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_CREATEWND && g_started) {
        const CBT_CREATEWNDW *creation = (const CBT_CREATEWNDW *)lparam;
        if (made_by_tcl_or_tk((HMODULE)creation->lpcs->hInstance)) {
            if (g_pending_count < PENDING_MAX) {
                g_pending[g_pending_count++] = (HWND)wparam;
            } else {
                g_pending_overflow = true;
            }
        }
    }
    return CallNextHookEx(g_creation_hook, code, wparam, lparam);
}

struct WindowCall {
    WNDPROC procedure;
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT result;
};

static int call_window(void *argument)
{
    WindowCall *call = (WindowCall *)argument;
    call->result = CallWindowProcW(call->procedure, call->window, call->message, call->wparam, call->lparam);
    return 0;
}

// Windows made under a message are taken in once it has been handled, and
// only when no Tcl or Tk code is under way around it (a call from the
// host, `update`, a script's modal loop): Tk subclasses a control right
// after making it, and that has to have happened.
static LRESULT CALLBACK deep_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    Tcl_HashEntry *entry = g_procedures_ready ? Tcl_FindHashEntry(&g_procedures, (const char *)window) : NULL;
    if (entry == NULL) return DefWindowProcW(window, message, wparam, lparam);
    WindowCall call = { (WNDPROC)Tcl_GetHashValue(entry), window, message, wparam, lparam, 0 };
    bool outermost = !tobrisk_on_deep_stack();
    tobrisk_deep_call(call_window, &call);
    if (message == WM_NCDESTROY) {
        entry = Tcl_FindHashEntry(&g_procedures, (const char *)window);
        if (entry != NULL) Tcl_DeleteHashEntry(entry);
    }
    if (outermost && !interp_in_host_call() && Tcl_GetServiceMode() == TCL_SERVICE_ALL) deep_windows_settle();
    return call.result;
}

// The module whose code a command of the interpreter runs.
static HMODULE module_of_command(Tcl_Interp *interp, const char *name)
{
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, name, &info)) return NULL;
    void *code = info.objProc != NULL ? (void *)info.objProc : (void *)info.proc;
    HMODULE module = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCWSTR)code, &module);
    return module;
}

void deep_windows_start(Tcl_Interp *interp)
{
    if (g_tcl_module == NULL) g_tcl_module = module_of_command(interp, "set");
    if (g_tk_module == NULL) g_tk_module = module_of_command(interp, "winfo");
    if (!g_procedures_ready) {
        Tcl_InitHashTable(&g_procedures, TCL_ONE_WORD_KEYS);
        g_procedures_ready = true;
    }
    if (g_creation_hook == NULL) {
        g_creation_hook = SetWindowsHookExW(WH_CBT, creation_hook, NULL, GetCurrentThreadId());
    }
    g_started = true;
    // The notifier's window, and what Tk made as it started.
    take_in_all();
    g_pending_overflow = g_creation_hook == NULL;
}

void deep_windows_stop(void)
{
    if (g_creation_hook != NULL) UnhookWindowsHookEx(g_creation_hook);
    g_creation_hook = NULL;
    g_started = false;
    g_pending_count = 0;
    g_pending_overflow = false;
    if (!g_procedures_ready) return;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_procedures, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        HWND window = (HWND)Tcl_GetHashKey(&g_procedures, entry);
        if (IsWindow(window) && (WNDPROC)GetWindowLongPtrW(window, GWLP_WNDPROC) == deep_window_procedure) {
            SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)Tcl_GetHashValue(entry));
        }
    }
    Tcl_DeleteHashTable(&g_procedures);
    Tcl_InitHashTable(&g_procedures, TCL_ONE_WORD_KEYS);
    g_entries_after_prune = 0;
}
