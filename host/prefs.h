// The host's preferences window and the plugin's page in it: the window
// is made on first use, pages are the windows the plugin added with
// "dialogAdd", and "prefsShow" and "prefsAction" are sent from here.
#ifndef TOBRISK_HOST_PREFS_H
#define TOBRISK_HOST_PREFS_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "session.h"

HWND prefs_window();
void prefs_page_added(HWND window);
// False when the window was never added.
bool prefs_page_removed(HWND window);
// A window handed to the host: none, not-a-window, page-in-preferences
// or window.
std::string describe_window(HWND window);
// The latest page: whether it is shown and where.
std::string describe_page();

void prefs_show(Session &session, int show, const std::string &page);
void prefs_action(Session &session, int32_t action);

#endif
