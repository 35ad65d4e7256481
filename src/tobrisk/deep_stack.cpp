// Everything Tcl runs for the scripts runs on a fiber with a large
// reserved stack: the evaluations the plugin starts (init.tcl, the
// scripts' procedures, callbacks, the chat line) and, through
// deep_windows.cpp, the window procedures by which the host's message loop
// enters Tcl and Tk (timers, idle callbacks, file events, Tk's events and
// bindings). Tcl parses and compiles nested input recursively in C: a
// regular expression of 20,000 nested groups or 10,000 nested brackets
// overflows the host thread's stack, which no `catch` can turn into an
// error.
#include <tcl.h>

#include "../tobrisk.h"

// Reserved address space, not memory: pages are committed only as deep
// input reaches them.
static const SIZE_T DeepStackReserve = 128 * 1024 * 1024;
static const SIZE_T DeepStackCommit = 64 * 1024;

struct DeepCall {
    int (*work)(void *);
    void *argument;
    int result;
};

static LPVOID g_deep_fiber = NULL;
static bool g_thread_held = false;
static LPVOID g_caller_fiber = NULL;
static DeepCall *g_deep_call = NULL;
static bool g_on_deep_stack = false;

static VOID CALLBACK deep_fiber_main(LPVOID unused)
{
    (void)unused;
    for (;;) {
        g_deep_call->result = g_deep_call->work(g_deep_call->argument);
        SwitchToFiber(g_caller_fiber);
    }
}

// GetCurrentFiber reads the thread's block through the segment register,
// which GCC takes for an access outside an array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
static LPVOID current_fiber(void)
{
    return GetCurrentFiber();
}
#pragma GCC diagnostic pop

// The fiber is made once and kept: it is idle between calls, and a call
// costs two switches.
static bool deep_fiber_ready(void)
{
    if (g_deep_fiber == NULL) {
        g_deep_fiber = CreateFiberEx(DeepStackCommit, DeepStackReserve, 0, deep_fiber_main, NULL);
    }
    return g_deep_fiber != NULL;
}

// Runs work(argument) on the deep stack and returns its result. A call from
// the deep stack itself (a host that calls back during a service call)
// runs where it is. A thread that is not a fiber is made one for the call
// and given back as it was, so that a host that uses fibers of its own
// finds the thread as it left it. Where no fiber can be had, the work runs
// on the caller's stack.
int tobrisk_deep_call(int (*work)(void *), void *argument)
{
    if (g_on_deep_stack || !deep_fiber_ready()) return work(argument);
    bool converted = false;
    LPVOID caller;
    if (IsThreadAFiber()) {
        caller = current_fiber();
    } else {
        caller = ConvertThreadToFiber(NULL);
        if (caller == NULL) return work(argument);
        converted = true;
    }
    DeepCall call = { work, argument, 0 };
    DeepCall *outer_call = g_deep_call;
    g_deep_call = &call;
    g_caller_fiber = caller;
    g_on_deep_stack = true;
    SwitchToFiber(g_deep_fiber);
    g_on_deep_stack = false;
    g_deep_call = outer_call;
    if (converted) ConvertFiberToThread();
    return call.result;
}

// A call from the host makes several deep calls (its script, then Tk's
// window events as it ends); the thread is made a fiber once for all of
// them, which is most of what a deep call costs, and given back before the
// host gets it again.
void tobrisk_deep_hold(void)
{
    if (g_thread_held || IsThreadAFiber()) return;
    g_thread_held = ConvertThreadToFiber(NULL) != NULL;
}

void tobrisk_deep_release(void)
{
    if (!g_thread_held) return;
    g_thread_held = false;
    ConvertFiberToThread();
}

bool tobrisk_on_deep_stack(void)
{
    return g_on_deep_stack;
}

struct EvalCall {
    Tcl_Interp *interp;
    const char *script;
    Tcl_Obj *object;
};

// At the global level: a host may call back while a script's procedure is
// on the stack (inside a service call, `update` or `vwait`), and the
// callback's script must not run in that procedure's frame.
static int eval_global(void *argument)
{
    EvalCall *call = (EvalCall *)argument;
    return Tcl_EvalEx(call->interp, call->script, -1, TCL_EVAL_GLOBAL);
}

static int eval_object_global(void *argument)
{
    EvalCall *call = (EvalCall *)argument;
    return Tcl_EvalObjEx(call->interp, call->object, TCL_EVAL_GLOBAL);
}

static int eval_file(void *argument)
{
    EvalCall *call = (EvalCall *)argument;
    return Tcl_EvalFile(call->interp, call->script);
}

static int service_all(void *argument)
{
    (void)argument;
    return Tcl_ServiceAll();
}

int tobrisk_eval(Tcl_Interp *interp, const char *script)
{
    EvalCall call = { interp, script, NULL };
    return tobrisk_deep_call(eval_global, &call);
}

int tobrisk_eval_obj(Tcl_Interp *interp, Tcl_Obj *script)
{
    EvalCall call = { interp, NULL, script };
    return tobrisk_deep_call(eval_object_global, &call);
}

int tobrisk_eval_file(Tcl_Interp *interp, const char *path)
{
    EvalCall call = { interp, path, NULL };
    return tobrisk_deep_call(eval_file, &call);
}

void tobrisk_service_all(void)
{
    tobrisk_deep_call(service_all, NULL);
}
