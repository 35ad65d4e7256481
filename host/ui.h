// The host's side of the Windows calls that the host library takes from
// the plugin: message boxes are answered (by a queued button or the box's
// default one), beeps, opened links and the process's end are shown.
#ifndef TOBRISK_HOST_UI_H
#define TOBRISK_HOST_UI_H

#include "session.h"

int answer_windows_call(Session &session, const messenger::UiCall &call);

#endif
