// What a script's supervised calls cost: calls and time by kind, and the
// slowest call with what ran and when. Kept in the plugin's record of the
// script's interpreter, so the figures start afresh with each load.
#ifndef TOBRISK_CALL_FIGURES_H
#define TOBRISK_CALL_FIGURES_H

#include <stdint.h>

#include <tcl.h>

#include "../callbacks.h"

struct CallFigures {
    Tcl_WideInt calls[CALL_KIND_COUNT];
    uint64_t ticks[CALL_KIND_COUNT];     // of call_clock()
    uint64_t slowest_ticks;
    CallKind slowest_kind;
    Tcl_Obj *slowest_what;               // held; NULL before the first call
    Tcl_WideInt slowest_at;              // when it began, by Tcl's clock in ms
};

// The processor's time-stamp counter. Under Wine it costs about 10 ns to
// read, where QueryPerformanceCounter costs 150 to 250 ns and Tcl's clock,
// which reads it, as much; the tick count moves in 16 ms steps. Its ticks
// are turned into time against QueryPerformanceCounter, over the whole
// span since the first reading, only when figures are read or a call may
// have been slow.
static inline uint64_t call_clock(void)
{
    return __builtin_ia32_rdtsc();
}

// The ticks from `started` to now; none if the counter went back, as it
// may between processors whose counters differ.
static inline uint64_t call_clock_since(uint64_t started)
{
    uint64_t now = call_clock();
    return now > started ? now - started : 0;
}

// Starts the span that ticks are measured against, once per process.
void call_clock_calibrate(void);
// Microseconds as ticks, for a call timed with Tcl's clock instead.
uint64_t call_clock_ticks_of(Tcl_WideInt microseconds);
// Tcl's clock in milliseconds, as `clock milliseconds` reads it.
Tcl_WideInt call_clock_now_ms(void);

void call_figures_init(CallFigures *figures);
void call_figures_free(CallFigures *figures);
// Counts a call of `kind` that took `ticks`; `count` words tell what ran
// (a script, or a command and its arguments), read only when it is the
// slowest so far.
void call_figures_add(CallFigures *figures, CallKind kind, uint64_t ticks, int count, Tcl_Obj *const what[]);
// Whether a call of `ticks` used more than half of a budget of `budget_ms`;
// its milliseconds in `ms` when it did.
bool call_figures_over_half(uint64_t ticks, int budget_ms, int *ms);
// `calls N time US kinds {KIND {calls N time US} ...} slowest {...}`, with
// a zero reference; NULL figures are those of no call at all.
Tcl_Obj *call_figures_dict(const CallFigures *figures);
// What ran, on one line and shortened: the words joined by spaces, runs of
// white space made one space.
Tcl_Obj *call_figures_what(int count, Tcl_Obj *const what[]);

#endif
