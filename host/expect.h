// The `expect` lines: each kind of check looks through the session's journal
// from where its last passing check ended.
#ifndef TOBRISK_HOST_EXPECT_H
#define TOBRISK_HOST_EXPECT_H

#include <string>

#include "session.h"

// Before a `tcl` line: the failure of an earlier one that no `expect error`
// checked fails the run.
void settle_tcl_failure(Session &session);
// At the end of a scenario: an unchecked `tcl` failure, and each message box
// that no `expect box` matched unless boxes are allowed, fail the run.
void check_run_end(Session &session);

#endif
