// The `expect` lines: what happened is noted here as it happens, and each
// kind of check looks through it from where its last passing check ended.
#ifndef TOBRISK_HOST_EXPECT_H
#define TOBRISK_HOST_EXPECT_H

#include <string>

// What the host saw the plugin do, in order.
enum class Seen { Box, Alert, Opened };
void note_seen(Seen kind, const std::string &text);
// The latest answer: a line sent, or a script's result.
void note_answer(const std::string &text);

#endif
