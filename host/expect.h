// The `expect` lines: what happened is noted here as it happens, and each
// kind of check looks through it from where its last passing check ended.
#ifndef TOBRISK_HOST_EXPECT_H
#define TOBRISK_HOST_EXPECT_H

#include <string>

#include "session.h"

// What the host saw the plugin do, in order. `shown` names the item when
// it was never expected (message boxes); empty: its text quoted.
enum class Seen { Box, Alert, Opened };
void note_seen(Seen kind, const std::string &text, const std::string &shown = "");
// The latest answer: a line sent, or a script's result.
void note_answer(const std::string &text);
// Before a `tcl` line: the failure of an earlier one that no `expect error`
// checked fails the run.
void settle_tcl_failure(Session &session);
// A `tcl` line's completion code and result; a failure is kept for
// `expect error`.
void note_tcl_result(int line, int code, const std::string &result);
// At the end of a scenario: an unchecked `tcl` failure, and each message box
// that no `expect box` matched unless boxes are allowed, fail the run.
void check_run_end(Session &session);

#endif
