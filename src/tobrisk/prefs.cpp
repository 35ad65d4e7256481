// The plugin's page in the host's preferences: a child dialog made from
// template 101 that shows the plugin's name and a line about it.
#include <string.h>

#include "../tobrisk.h"
#include "resource.h"

static const char PageName[] = TOBRISK_NAME;
static const char PageDescription[] = "Tcl scripting as a Vellumar plugin";

static HWND g_pane = NULL;
static HBITMAP g_bitmap = NULL;

// The page handles no message itself: it is what the template makes it.
static INT_PTR CALLBACK prefsDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    (void)window;
    (void)message;
    (void)wparam;
    (void)lparam;
    return 0;
}

HWND pane_create(HINSTANCE module, int template_id, HWND parent, DLGPROC procedure)
{
    HWND window = CreateDialogParamA(module, MAKEINTRESOURCEA(template_id), parent, procedure, 0);
    if (window == NULL) return NULL;
    DialogRecord record = {};
    record.size = sizeof record;
    record.window = window;
    host_send(SERVICE_dialogAdd, &record);
    return (HWND)record.window;
}

void pane_destroy(HWND window)
{
    DialogRecord record = {};
    record.size = sizeof record;
    record.window = window;
    host_send(SERVICE_dialogRemove, &record);
    DestroyWindow(window);
}

void prefs_register(void)
{
    if (g_bitmap == NULL) g_bitmap = LoadBitmapA(module_handle(), MAKEINTRESOURCEA(IDB_TOBRISK));
    PrefsInitRecord record = {};
    record.size = sizeof record;
    record.one = 1;
    record.name = PageName;
    record.bitmap = 0;
    host_send(SERVICE_prefsInitialize, &record);
}

static void pane_close(void)
{
    if (g_pane == NULL) return;
    page_host_close();
    pane_destroy(g_pane);
    g_pane = NULL;
}

// A page that could not be created is neither registered nor shown; the
// next "prefsShow" tries again.
static void pane_show(const PrefsShowRecord *record)
{
    if (g_pane == NULL) {
        g_pane = pane_create(module_handle(), IDD_PREFS, (HWND)record->parent, prefsDialogProc);
        if (g_pane == NULL) return;
        SetWindowPos(g_pane, NULL, record->x, record->y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        page_host_open(g_pane);
    }
    ShowWindow(g_pane, SW_SHOW);
}

void prefs_show(PrefsShowRecord *record)
{
    if (record == NULL || record->page == NULL) return;
    if (strcmp(record->page, PageName) != 0) return;
    memcpy(record->name, PageName, sizeof PageName);
    memcpy(record->description, PageDescription, sizeof PageDescription);
    record->zero = 0;
    if (record->show == 1) {
        pane_show(record);
    } else if (record->show == 0 && g_pane != NULL) {
        ShowWindow(g_pane, SW_HIDE);
    }
}

void prefs_action(const PrefsActionRecord *record)
{
    if (record == NULL) return;
    if (record->action == 0 || record->action == 2) pane_close();
}

// Frees the bitmap, then removes and destroys an open page.
void prefs_unload(void)
{
    if (g_bitmap != NULL) {
        DeleteObject(g_bitmap);
        g_bitmap = NULL;
    }
    pane_close();
}
