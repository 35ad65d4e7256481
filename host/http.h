// The host's HTTP: requests the plugin made are answered from files only
// (file:// names a file, http:// one below the www folder; nothing goes to
// the network) and completed when the host next pumps, or when told to.
#ifndef TOBRISK_HOST_HTTP_H
#define TOBRISK_HOST_HTTP_H

#include <cstdint>

#include "session.h"

// Completes one waiting request; false when there is no such request.
bool http_deliver(Session &session, int32_t number);
// Completes every waiting request, unless requests are held: then they wait
// until they are delivered by number or all at once.
void http_deliver_due(Session &session);
// Completes each waiting request once, empty, so that the plugin can
// release what it keeps for it.
void http_cancel_all(Session &session);

#endif
