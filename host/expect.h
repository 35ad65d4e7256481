// The `expect` lines: each kind of check looks through the session's journal
// from where its last passing check ended.
#ifndef TOBRISK_HOST_EXPECT_H
#define TOBRISK_HOST_EXPECT_H

#include <string>

#include "input.h"
#include "session.h"

// `expect KIND ...`: one check of what happened.
Next run_expect(Session &session, const Input &input);
// The kinds of check and their words, "answer TEXT|...", as the usage shows them.
std::string expect_usage();

// Before a `tcl` line: the failure of an earlier one that no `expect error`
// checked fails the run.
void settle_tcl_failure(Session &session);
// At the end of a scenario: an unchecked `tcl` failure, and each message box
// that no `expect box` matched unless boxes are allowed, fail the run.
void check_run_end(Session &session);

#endif
