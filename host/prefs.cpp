// The host's preferences window and the plugin's page in it.
#include "prefs.h"

#include <cstring>
#include <vector>

#include "words.h"

namespace {

HWND g_window = nullptr;        // the preferences window, once made
std::vector<HWND> g_pages;      // windows the plugin added with "dialogAdd"

} // namespace

void prefs_page_added(HWND window) { g_pages.push_back(window); }

bool prefs_page_removed(HWND window)
{
    for (auto page = g_pages.begin(); page != g_pages.end(); ++page) {
        if (*page != window) continue;
        g_pages.erase(page);
        return true;
    }
    return false;
}

std::string describe_window(HWND window)
{
    if (window == nullptr) return "none";
    if (!IsWindow(window)) return "not-a-window";
    return GetParent(window) == prefs_window() ? "page-in-preferences" : "window";
}

HWND prefs_window()
{
    if (g_window != nullptr) return g_window;
    static const char ClassName[] = "TobriskHostPreferences";
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = ClassName;
    RegisterClassA(&window_class);
    g_window = CreateWindowExA(0, ClassName, "Preferences", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                               CW_USEDEFAULT, CW_USEDEFAULT, 640, 520, nullptr, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
    return g_window;
}

std::string describe_page()
{
    if (g_pages.empty()) return "page window: none";
    HWND page = g_pages.back();
    if (!IsWindow(page)) return "page window: destroyed";
    std::string where = GetParent(page) == g_window ? "in the preferences window" : "outside the preferences window";
    // The page's own state: its parent may be hidden while the page is not.
    bool shown = (GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE) != 0;
    return std::string("page window: ") + (shown ? "shown " : "hidden ") + where;
}

void prefs_show(Session &session, int show, const std::string &page)
{
    HWND parent = prefs_window();
    if (session.options.gui) ShowWindow(parent, show == 1 ? SW_SHOW : SW_HIDE);
    PrefsShowRecord record;
    std::memset(&record, 0, sizeof record);
    record.unused0 = sizeof record;
    record.show = show;
    record.page = page.c_str();
    record.parent = parent;
    record.x = 8;
    record.y = 8;
    session.send_event("prefsShow", &record);
    if (record.name[0] != '\0') {
        std::string name(record.name, strnlen(record.name, sizeof record.name));
        std::string description(record.description, strnlen(record.description, sizeof record.description));
        session.out.line("page " + quoted(name) + ": " + quoted(description));
    } else {
        session.out.line("the plugin did not answer for the page " + quoted(page));
    }
    session.out.line(describe_page());
}

void prefs_action(Session &session, int32_t action)
{
    PrefsActionRecord record = {sizeof record, action};
    session.send_event("prefsAction", &record);
    session.out.line(describe_page());
}
