// The window inside the preferences page that the start-up scripts fill
// with Tk: `::tobrisk::page made WINDOW` makes a toplevel with -use WINDOW
// there, and `::tobrisk::page gone WINDOW` removes it before the window
// goes. The window speaks the few messages with which Tk's embedded
// toplevel talks to its container, and keeps that toplevel the size of the
// page. The page itself, its template and its dialog procedure stay as
// they are; without a runtime the page holds no such window and shows what
// the template makes.
#include <stdio.h>
#include <stdint.h>
#include <string.h>

#include <tcl.h>

#include "../interp.h"
#include "../tobrisk.h"

// Tk's messages between an embedded toplevel and its container, in Tk's
// order from WM_USER.
enum {
    TK_CLAIMFOCUS = WM_USER, TK_GEOMETRYREQ, TK_ATTACHWINDOW, TK_DETACHWINDOW, TK_MOVEWINDOW,
    TK_RAISEWINDOW, TK_ICONIFY, TK_DEICONIFY, TK_WITHDRAW, TK_GETFRAMEWID, TK_OVERRIDEREDIRECT,
    TK_SETMENU, TK_STATE, TK_INFO
};
enum { TK_CONTAINER_VERIFY = 1, TK_CONTAINER_ISAVAILABLE = 2 };
static const int TkNormalState = 1;

static const char HostClass[] = "TobriskPageHost";
static HWND g_host = NULL;      // the window in the page, or none
static HWND g_embedded = NULL;  // Tk's toplevel in it, once attached

static void fit_embedded(HWND host)
{
    if (g_embedded == NULL) return;
    RECT area;
    GetClientRect(host, &area);
    MoveWindow(g_embedded, 0, 0, area.right, area.bottom, TRUE);
}

static LRESULT CALLBACK pageHostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case TK_INFO:
        if (wparam == TK_CONTAINER_VERIFY) return (LRESULT)window;
        if (wparam == TK_CONTAINER_ISAVAILABLE) return g_embedded == NULL;
        return 0;
    case TK_ATTACHWINDOW:
        if (g_embedded != NULL) return 0;
        g_embedded = (HWND)wparam;
        fit_embedded(window);
        return (LRESULT)window;
    case TK_DETACHWINDOW:
        g_embedded = NULL;
        return 1;
    case TK_GEOMETRYREQ:
        // The toplevel fills the page whatever size it asks for.
        fit_embedded(window);
        return 1;
    case TK_CLAIMFOCUS:
        if (g_embedded != NULL) SetFocus(g_embedded);
        return 1;
    case TK_STATE:
        // Always shown while the page is: Tk checks the state plus one.
        return (int)wparam < 0 ? TkNormalState + 1 : (LRESULT)wparam + 1;
    case TK_GETFRAMEWID:
        return (LRESULT)GetParent(window);
    case TK_MOVEWINDOW:
        return 0;
    case TK_ICONIFY:
    case TK_DEICONIFY:
    case TK_OVERRIDEREDIRECT:
        return 1;
    case TK_WITHDRAW:
    case TK_RAISEWINDOW:
    case TK_SETMENU:
        return 0;
    case WM_SIZE:
        fit_embedded(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Calls `::tobrisk::page WHAT WINDOW` if the start-up scripts have it; its
// result, 1 when it put something into the window.
static bool page_tell(Tcl_Interp *interp, const char *what, HWND window)
{
    char script[160];
    _snprintf(script, sizeof script, "if {[info commands ::tobrisk::page] eq {}} {return 0}; ::tobrisk::page %s %lu",
              what, (unsigned long)(uintptr_t)window);
    script[sizeof script - 1] = '\0';
    if (tobrisk_eval(interp, script) != TCL_OK) {
        tobrisk_report("::tobrisk::page", Tcl_GetStringResult(interp));
        return false;
    }
    return strcmp(Tcl_GetStringResult(interp), "1") == 0;
}

void page_host_open(HWND page)
{
    Tcl_Interp *interp = interp_get();
    if (interp == NULL || g_host != NULL) return;
    // The class lives as long as the window: a class left registered would
    // keep the address of this library's procedure after an unload.
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = pageHostProc;
    window_class.hInstance = module_handle();
    window_class.hCursor = LoadCursor(NULL, IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = HostClass;
    if (RegisterClassA(&window_class) == 0) return;
    RECT area;
    GetClientRect(page, &area);
    g_host = CreateWindowExA(0, HostClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, area.right,
                             area.bottom, page, NULL, module_handle(), NULL);
    if (g_host == NULL) {
        UnregisterClassA(HostClass, module_handle());
        return;
    }
    if (!page_tell(interp, "made", g_host)) page_host_close();
}

void page_host_close(void)
{
    if (g_host == NULL) return;
    HWND host = g_host;
    Tcl_Interp *interp = interp_get();
    if (interp != NULL) page_tell(interp, "gone", host);
    g_host = NULL;
    g_embedded = NULL;
    DestroyWindow(host);
    UnregisterClassA(HostClass, module_handle());
}
