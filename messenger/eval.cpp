// Evaluating scripts in the plugin's interpreter through the entry points
// of the Tcl library that the plugin loaded.
#include "messenger.h"

#include <functional>

namespace messenger {
namespace {

using EvalExFn = int (*)(Tcl_Interp *, const char *, int, int);
using GetStringResultFn = const char *(*)(Tcl_Interp *);
using SetServiceModeFn = int (*)(int);

FARPROC tcl_entry(const char *name)
{
    HMODULE tcl = GetModuleHandleW(wide_of(plugin_folder() + "\\bin\\tcl84t.dll").c_str());
    return tcl ? GetProcAddress(tcl, name) : nullptr;
}

using GetEncodingFn = void *(*)(Tcl_Interp *, const char *);
using FreeEncodingFn = void (*)(void *);
using ConvertFn = int (*)(Tcl_Interp *, void *, const char *, int, int, void **, char *, int, int *, int *,
                          int *);

// Converts between UTF-8 and Tcl's own form of it with Tcl's "utf-8"
// encoding, as the plugin converts the host's texts; `entry` names the
// direction, Tcl_ExternalToUtf or Tcl_UtfToExternal.
std::string tcl_convert(const char *entry, const std::string &text)
{
    auto get_encoding = (GetEncodingFn)(void *)tcl_entry("Tcl_GetEncoding");
    auto free_encoding = (FreeEncodingFn)(void *)tcl_entry("Tcl_FreeEncoding");
    auto convert = (ConvertFn)(void *)tcl_entry(entry);
    if (get_encoding == nullptr || free_encoding == nullptr || convert == nullptr) return text;
    void *utf8 = get_encoding(nullptr, "utf-8");
    // A byte never grows beyond two, and Tcl keeps some room spare.
    std::string converted(text.size() * 2 + 16, '\0');
    void *state = nullptr;
    int read = 0, wrote = 0, characters = 0;
    const int start_and_end = 1 | 2;
    convert(nullptr, utf8, text.data(), (int)text.size(), start_and_end, &state, &converted[0],
            (int)converted.size(), &read, &wrote, &characters);
    free_encoding(utf8);
    converted.resize(wrote);
    return converted;
}

// Scripts evaluated here run on a fiber with a large reserved stack, as
// the plugin runs everything Tcl does for its scripts: Tcl parses nested
// brackets and compiles nested regular expressions recursively in C, and
// input that the plugin turns into a Tcl error must not overflow this
// program's stack instead.
const SIZE_T EvalStackReserve = 128 * 1024 * 1024;

struct FiberCall {
    std::function<void()> work;
    LPVOID caller = nullptr;
};
FiberCall *g_fiber_call = nullptr;

VOID CALLBACK eval_fiber_main(LPVOID)
{
    for (;;) {
        g_fiber_call->work();
        SwitchToFiber(g_fiber_call->caller);
    }
}

// GetCurrentFiber reads the thread's block through the segment register,
// which GCC takes for an access outside an array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
LPVOID current_fiber() { return GetCurrentFiber(); }
#pragma GCC diagnostic pop

// Runs work on the kept fiber; a call made on it (a script that runs into
// the host, which evaluates again) runs where it is. The thread is made a
// fiber for the call only.
void on_deep_stack(const std::function<void()> &work)
{
    static LPVOID fiber = CreateFiberEx(64 * 1024, EvalStackReserve, 0, eval_fiber_main, nullptr);
    if (fiber == nullptr || g_fiber_call != nullptr) return work();
    bool converted = !IsThreadAFiber();
    LPVOID caller = converted ? ConvertThreadToFiber(nullptr) : current_fiber();
    if (caller == nullptr) return work();
    FiberCall call{work, caller};
    g_fiber_call = &call;
    SwitchToFiber(fiber);
    g_fiber_call = nullptr;
    if (converted) ConvertFiberToThread();
}

} // namespace

EvalResult eval(const std::string &script)
{
    auto eval_ex = (EvalExFn)(void *)tcl_entry("Tcl_EvalEx");
    auto get_result = (GetStringResultFn)(void *)tcl_entry("Tcl_GetStringResult");
    Tcl_Interp *running = interp();
    if (eval_ex == nullptr || get_result == nullptr || running == nullptr) {
        return {-1, "no interpreter"};
    }
    std::string tcl_script = tcl_convert("Tcl_ExternalToUtf", script);
    // Evaluated as a call from the messenger into the plugin is: with
    // Tcl's event servicing off until the script is done.
    auto set_service_mode = (SetServiceModeFn)(void *)tcl_entry("Tcl_SetServiceMode");
    const int service_none = 0;
    int mode = set_service_mode ? set_service_mode(service_none) : service_none;
    int code = 0;
    on_deep_stack([&] { code = eval_ex(running, tcl_script.data(), (int)tcl_script.size(), 0); });
    if (set_service_mode) set_service_mode(mode);
    return {code, tcl_convert("Tcl_UtfToExternal", get_result(running))};
}

std::string eval_ok(const std::string &script)
{
    EvalResult result = eval(script);
    return result.code == 0 ? result.result : "";
}

namespace {

BOOL CALLBACK find_notifier(HWND window, LPARAM found)
{
    WCHAR name[16];
    if (GetClassNameW(window, name, 16) == 0 || lstrcmpW(name, L"TclNotifier") != 0) return TRUE;
    *(HWND *)found = window;
    return FALSE;
}

} // namespace

HWND notifier_window()
{
    HWND notifier = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), find_notifier, (LPARAM)&notifier);
    return notifier;
}

} // namespace messenger
