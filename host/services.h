// The host's side of every service the plugin calls: each call is shown
// with its record's fields, answered from the model, and shown with its
// answer. Enumerations call the plugin back inside the call, as the
// messenger does.
#ifndef TOBRISK_HOST_SERVICES_H
#define TOBRISK_HOST_SERVICES_H

#include <cstdint>

#include "session.h"

int32_t answer_service(Session &session, messenger::HostCall &call);

#endif
