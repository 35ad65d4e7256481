// Time in tobrisk-host: the thread's message loop, run between lines and
// during `wait`.
#include "message_loop.h"

#include <cstdio>

#include "http.h"
#include "watchdog.h"

void pump(Session &session, bool timers)
{
    http_deliver_due(session);
    MSG message;
    while (true) {
        BOOL got = timers ? PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)
                          : PeekMessageA(&message, nullptr, 0, WM_TIMER - 1, PM_REMOVE) ||
                                PeekMessageA(&message, nullptr, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE);
        if (!got) break;
        if (message.message == WM_QUIT) continue;
        // Tcl's timers arrive as WM_TIMER; what a message makes the plugin
        // do is shown under it.
        char name[32];
        std::snprintf(name, sizeof name, "window message 0x%04X", message.message);
        session.out.begin(message.message == WM_TIMER ? "timer" : name);
        {
            Busy busy(message.message == WM_TIMER ? "a timer" : "a window message");
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        session.out.end_quietly();
    }
    messenger::clear_calls();
    messenger::clear_ui_calls();
}

void wait(Session &session, int milliseconds)
{
    DWORD started = GetTickCount();
    while (true) {
        pump(session, true);
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= (DWORD)milliseconds) break;
        DWORD left = (DWORD)milliseconds - elapsed;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}
