// Evaluating scripts in the plugin's interpreter through the entry points
// of the Tcl library that the plugin loaded.
#include "messenger.h"

namespace messenger {
namespace {

using EvalExFn = int (*)(Tcl_Interp *, const char *, int, int);
using GetStringResultFn = const char *(*)(Tcl_Interp *);

FARPROC tcl_entry(const char *name)
{
    HMODULE tcl = GetModuleHandleA((plugin_folder() + "\\bin\\tcl84t.dll").c_str());
    return tcl ? GetProcAddress(tcl, name) : nullptr;
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
    int code = eval_ex(running, script.data(), (int)script.size(), 0);
    return {code, get_result(running)};
}

std::string eval_ok(const std::string &script)
{
    EvalResult result = eval(script);
    return result.code == 0 ? result.result : "";
}

} // namespace messenger
