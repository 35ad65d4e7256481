// What the messenger's user and network do that reaches the plugin: a
// connection changes, an entry is double-clicked, a line is typed into a
// message window, an alert is clicked or closed.
#ifndef TOBRISK_HOST_ACTIONS_H
#define TOBRISK_HOST_ACTIONS_H

#include <cstdint>
#include <string>

#include "session.h"

// Tells every subscription of the connection's new state.
void connection_change(Session &session, Connection &connection);
void click(Session &session, int32_t id);
void type_line(Session &session, const std::string &line);
void alert_click(Session &session, int32_t number);
void alert_close(Session &session, int32_t number);
// Closes every open alert, as the host does before "unload".
void close_alerts(Session &session);

#endif
