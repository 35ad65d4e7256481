// The host's side of the Windows calls that the host library takes from
// the plugin: message boxes are answered (by a queued button or the box's
// default one), beeps, opened links and the process's end are shown.
#ifndef TOBRISK_HOST_UI_H
#define TOBRISK_HOST_UI_H

#include <vector>

#include "session.h"

int answer_windows_call(Session &session, const messenger::UiCall &call);
// The buttons that the next message boxes answer with, in order.
void queue_buttons(const std::vector<int> &buttons);

#endif
