// The watchdog: a plugin call that runs longer than the timeout is
// reported as a hang and ends the session. A timeout of 0 turns it off.
#ifndef TOBRISK_HOST_WATCHDOG_H
#define TOBRISK_HOST_WATCHDOG_H

#include <string>

void watchdog_start(int timeout_seconds);
void watchdog_set_timeout(int timeout_seconds);

// Marks a visit to the plugin for as long as it lives.
struct Busy {
    explicit Busy(const std::string &what);
    ~Busy();
};

#endif
