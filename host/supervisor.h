// The supervisor: tobrisk-host runs each session in a child process of
// itself and waits for it, so that whatever the plugin does to its process
// (a crash, a hang, an exit) the parent is still there to say so.
#ifndef TOBRISK_HOST_SUPERVISOR_H
#define TOBRISK_HOST_SUPERVISOR_H

#include <windows.h>

// How a session ends. The session's process exits with SessionExitBase plus
// one of these, so that the parent can tell them from a process that the
// plugin ended itself.
enum ExitStatus { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2, EXIT_HUNG = 3, EXIT_CRASHED = 4 };
const DWORD SessionExitBase = 0x54420000;

// The environment variable that hands a scratch profile folder, made and
// removed by the parent process, to the session.
extern const wchar_t ScratchProfileVariable[];

// True in the child process that runs the session.
bool is_session_process();
// Runs this program again as the session, with a scratch profile folder
// when `scratch_profile`, and returns the status to exit with.
int supervise(bool scratch_profile);

#endif
