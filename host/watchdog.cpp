// The watchdog: the main thread marks the time it enters the plugin; a
// second thread ends the process when one such call does not come back in
// time.
#include "watchdog.h"

#include <windows.h>

#include <cstdio>

#include "supervisor.h"

namespace {

CRITICAL_SECTION g_watch_lock;
std::string g_watch_what;
DWORD g_watch_since = 0;
bool g_watch_busy = false;
int g_watch_depth = 0;
DWORD g_watch_timeout_ms = 0;

DWORD WINAPI watchdog_thread(void *)
{
    while (true) {
        Sleep(100);
        EnterCriticalSection(&g_watch_lock);
        bool hung = g_watch_busy && g_watch_timeout_ms > 0 && GetTickCount() - g_watch_since > g_watch_timeout_ms;
        std::string what = g_watch_what;
        LeaveCriticalSection(&g_watch_lock);
        if (!hung) continue;
        std::printf("error: the plugin hangs: %s has not returned after %lu s\n", what.c_str(),
                    (unsigned long)(g_watch_timeout_ms / 1000));
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), SessionExitBase + EXIT_HUNG);
    }
    return 0;
}

} // namespace

void watchdog_start(int timeout_seconds)
{
    InitializeCriticalSection(&g_watch_lock);
    watchdog_set_timeout(timeout_seconds);
    HANDLE thread = CreateThread(nullptr, 0, watchdog_thread, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void watchdog_set_timeout(int timeout_seconds)
{
    EnterCriticalSection(&g_watch_lock);
    g_watch_timeout_ms = timeout_seconds > 0 ? (DWORD)timeout_seconds * 1000 : 0;
    LeaveCriticalSection(&g_watch_lock);
}

// Only the outermost call is timed: a callback inside a service call
// inside plugin_main is all one visit to the plugin.
Busy::Busy(const std::string &what)
{
    if (g_watch_depth++ > 0) return;
    EnterCriticalSection(&g_watch_lock);
    g_watch_what = what;
    g_watch_since = GetTickCount();
    g_watch_busy = true;
    LeaveCriticalSection(&g_watch_lock);
}

Busy::~Busy()
{
    if (--g_watch_depth > 0) return;
    EnterCriticalSection(&g_watch_lock);
    g_watch_busy = false;
    LeaveCriticalSection(&g_watch_lock);
}
