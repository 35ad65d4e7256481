// The plugin's lifecycle as the host drives it through the session: the
// host library's calls answered for as long as a session runs, and the
// steps that take more than one event: before "unload" the host ends what
// the plugin still has with it, and a run ends with "stop" and "unload"
// where they are due.
#ifndef TOBRISK_HOST_LIFECYCLE_H
#define TOBRISK_HOST_LIFECYCLE_H

#include "session.h"

// While it lives, the plugin's service calls and Windows calls reach the
// session's answers.
class Answering {
public:
    explicit Answering(Session &session);
    ~Answering();
    Answering(const Answering &) = delete;
    Answering &operator=(const Answering &) = delete;
};

// Ends the plugin's open alerts and waiting requests, then sends "unload".
void unload_plugin(Session &session);
// Sends "stop" and "unload" where they are due.
void finish_plugin(Session &session);
// Stops and unloads the plugin where that is due, then loads and starts it.
void reload_plugin(Session &session);

#endif
