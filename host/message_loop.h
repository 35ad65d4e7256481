// Time in tobrisk-host: finished HTTP requests are delivered and the
// thread's window messages dispatched, each shown with what it made the
// plugin do.
#ifndef TOBRISK_HOST_MESSAGE_LOOP_H
#define TOBRISK_HOST_MESSAGE_LOOP_H

#include "session.h"

// Delivers finished HTTP requests and dispatches the thread's window
// messages; timer messages only when `timers` is true.
void pump(Session &session, bool timers);
// Pumps, timers included, for this long.
void wait(Session &session, int milliseconds);

#endif
