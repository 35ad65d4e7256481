// What a script's supervised calls cost, and the clock that times them.
#include <string.h>

#include <windows.h>

#include "call_figures.h"

// In the order of CallKind.
static const char *const CallKindNames[CALL_KIND_COUNT] = {
    "event", "doubleclick", "timer", "http", "chat", "message", "load", "other",
};

const char *call_kind_name(CallKind kind)
{
    return CallKindNames[kind];
}

CallKind call_kind_named(const char *name)
{
    for (int kind = 0; kind < CALL_KIND_COUNT; kind++) {
        if (strcmp(name, CallKindNames[kind]) == 0) return (CallKind)kind;
    }
    return CALL_OTHER;
}

// The span that ticks are measured against: both counters read at its
// start, and the rate of the last reading.
static bool g_origin_set = false;
static uint64_t g_origin_ticks;
static LONGLONG g_origin_count;
static LONGLONG g_frequency;
static double g_ticks_per_us = 0;

void call_clock_calibrate(void)
{
    if (g_origin_set) return;
    LARGE_INTEGER count, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    g_origin_ticks = call_clock();
    g_origin_count = count.QuadPart;
    g_frequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    g_origin_set = true;
}

// The longer the span, the closer the rate; a counter that does not move
// (a system that forbids reading it) leaves ticks as nanoseconds.
static double ticks_per_us(void)
{
    call_clock_calibrate();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    uint64_t ticks = call_clock() - g_origin_ticks;
    double elapsed = (double)(count.QuadPart - g_origin_count) * 1e6 / (double)g_frequency;
    if (elapsed >= 1.0 && ticks > 0) g_ticks_per_us = (double)ticks / elapsed;
    return g_ticks_per_us > 0 ? g_ticks_per_us : 1000.0;
}

uint64_t call_clock_ticks_of(Tcl_WideInt microseconds)
{
    return microseconds > 0 ? (uint64_t)((double)microseconds * ticks_per_us()) : 0;
}

Tcl_WideInt call_clock_now_ms(void)
{
    Tcl_Time now;
    Tcl_GetTime(&now);
    return (Tcl_WideInt)now.sec * 1000 + now.usec / 1000;
}

static Tcl_WideInt microseconds_of(uint64_t ticks, double rate)
{
    return (Tcl_WideInt)((double)ticks / rate + 0.5);
}

void call_figures_init(CallFigures *figures)
{
    memset(figures, 0, sizeof *figures);
    figures->slowest_kind = CALL_OTHER;
    figures->slowest_what = NULL;
}

void call_figures_free(CallFigures *figures)
{
    if (figures->slowest_what != NULL) Tcl_DecrRefCount(figures->slowest_what);
    figures->slowest_what = NULL;
}

Tcl_Obj *call_figures_what(int count, Tcl_Obj *const what[])
{
    enum { Shown = 60 };
    Tcl_DString text;
    Tcl_DStringInit(&text);
    int shown = 0;
    bool space = false, cut = false;
    for (int index = 0; index < count && !cut; index++) {
        space = space || index > 0;
        for (const char *at = Tcl_GetString(what[index]); *at != '\0';) {
            if (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r') {
                space = true;
                at++;
                continue;
            }
            if (shown + (space && shown > 0) >= Shown) {
                cut = true;
                break;
            }
            if (space && shown > 0) {
                Tcl_DStringAppend(&text, " ", 1);
                shown++;
            }
            space = false;
            const char *next = Tcl_UtfNext(at);
            Tcl_DStringAppend(&text, at, (int)(next - at));
            shown++;
            at = next;
        }
    }
    if (cut) Tcl_DStringAppend(&text, "...", 3);
    Tcl_Obj *result = Tcl_NewStringObj(Tcl_DStringValue(&text), Tcl_DStringLength(&text));
    Tcl_DStringFree(&text);
    return result;
}

void call_figures_add(CallFigures *figures, CallKind kind, uint64_t ticks, int count, Tcl_Obj *const what[])
{
    figures->calls[kind]++;
    figures->ticks[kind] += ticks;
    if (figures->slowest_what != NULL && ticks <= figures->slowest_ticks) return;
    Tcl_Obj *text = call_figures_what(count, what);
    Tcl_IncrRefCount(text);
    call_figures_free(figures);
    figures->slowest_what = text;
    figures->slowest_ticks = ticks;
    figures->slowest_kind = kind;
    figures->slowest_at = call_clock_now_ms() - microseconds_of(ticks, ticks_per_us()) / 1000;
}

bool call_figures_over_half(uint64_t ticks, int budget_ms, int *ms)
{
    // A first look with the rate measured last, with room for its error;
    // only a call that may be slow reads the other counter.
    if (budget_ms <= 0 || (double)ticks < g_ticks_per_us * 450.0 * budget_ms) return false;
    double taken = (double)microseconds_of(ticks, ticks_per_us()) / 1000.0;
    if (taken * 2 <= budget_ms) return false;
    *ms = (int)(taken + 0.5);
    return true;
}

static Tcl_Obj *calls_and_time(Tcl_WideInt calls, Tcl_WideInt microseconds)
{
    Tcl_Obj *words[] = { Tcl_NewStringObj("calls", -1), Tcl_NewWideIntObj(calls), Tcl_NewStringObj("time", -1),
                         Tcl_NewWideIntObj(microseconds) };
    return Tcl_NewListObj(4, words);
}

Tcl_Obj *call_figures_dict(const CallFigures *figures)
{
    double rate = ticks_per_us();
    Tcl_Obj *kinds = Tcl_NewListObj(0, NULL);
    Tcl_WideInt calls = 0;
    uint64_t ticks = 0;
    for (int kind = 0; kind < CALL_KIND_COUNT; kind++) {
        Tcl_WideInt kind_calls = figures != NULL ? figures->calls[kind] : 0;
        uint64_t kind_ticks = figures != NULL ? figures->ticks[kind] : 0;
        calls += kind_calls;
        ticks += kind_ticks;
        Tcl_ListObjAppendElement(NULL, kinds, Tcl_NewStringObj(CallKindNames[kind], -1));
        Tcl_ListObjAppendElement(NULL, kinds, calls_and_time(kind_calls, microseconds_of(kind_ticks, rate)));
    }
    Tcl_Obj *slowest = Tcl_NewListObj(0, NULL);
    if (figures != NULL && figures->slowest_what != NULL) {
        Tcl_Obj *words[] = {
            Tcl_NewStringObj("time", -1), Tcl_NewWideIntObj(microseconds_of(figures->slowest_ticks, rate)),
            Tcl_NewStringObj("kind", -1), Tcl_NewStringObj(CallKindNames[figures->slowest_kind], -1),
            Tcl_NewStringObj("what", -1), figures->slowest_what,
            Tcl_NewStringObj("at", -1),   Tcl_NewWideIntObj(figures->slowest_at),
        };
        Tcl_SetListObj(slowest, 8, words);
    }
    Tcl_Obj *result = calls_and_time(calls, microseconds_of(ticks, rate));
    Tcl_ListObjAppendElement(NULL, result, Tcl_NewStringObj("kinds", -1));
    Tcl_ListObjAppendElement(NULL, result, kinds);
    Tcl_ListObjAppendElement(NULL, result, Tcl_NewStringObj("slowest", -1));
    Tcl_ListObjAppendElement(NULL, result, slowest);
    return result;
}
