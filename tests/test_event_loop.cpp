// The host's message loop is the scripts' event loop: `after` scripts run
// when the host dispatches its thread's messages, and the stop services
// what is due once more before the interpreter goes.
#include <gtest/gtest.h>

#include "support.h"

namespace {

// Dispatches the thread's messages until the script yields 1, for at most
// ten seconds: a busy machine may take a while to get round to a timer.
bool pump_until(const std::string &condition)
{
    DWORD started = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (messenger::eval_ok(condition) == "1") return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - started < 10000);
    return false;
}

class EventLoop : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(load_and_start_plugin());
        ASSERT_NE(nullptr, messenger::interp());
    }
};

TEST_F(EventLoop, AfterScriptsRunWhenTheHostDispatchesMessages)
{
    messenger::eval_ok("after 20 {set ::fired timer}; after idle {set ::idle done}");
    EXPECT_EQ("0", messenger::eval_ok("info exists ::fired"));
    EXPECT_TRUE(pump_until("expr {[info exists ::fired] && [info exists ::idle]}"));
    EXPECT_EQ("timer", messenger::eval_ok("set ::fired"));
    EXPECT_EQ("done", messenger::eval_ok("set ::idle"));
    messenger::stop();
    messenger::unload();
}

TEST_F(EventLoop, StopRunsTheTimersThatAreDue)
{
    messenger::eval_ok("after 0 {vellumar versionRequest}");
    Sleep(50);
    messenger::clear_calls();
    messenger::stop();
    std::vector<std::string> services = messenger::services_called();
    EXPECT_NE(services.end(), std::find(services.begin(), services.end(), "versionRequest"));
    messenger::unload();
}

// Tcl's windows outlive the plugin's library: from "load" to "unload" the
// notifier's messages go through the plugin's procedure, and after
// "unload" through Tcl's own again, which the window's class keeps.
TEST_F(EventLoop, UnloadGivesTclsWindowsTheirOwnProcedureBack)
{
    HWND notifier = messenger::notifier_window();
    ASSERT_NE(nullptr, notifier);
    LONG_PTR tcl_procedure = GetClassLongPtrW(notifier, GCLP_WNDPROC);
    EXPECT_NE(tcl_procedure, GetWindowLongPtrW(notifier, GWLP_WNDPROC));
    messenger::stop();
    messenger::unload();
    EXPECT_EQ(tcl_procedure, GetWindowLongPtrW(notifier, GWLP_WNDPROC));
}

} // namespace
