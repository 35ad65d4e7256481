// What the parts of the host library share among themselves and keep from
// its users: the import patcher and the standard handles the process gave up.
#ifndef TOBRISK_MESSENGER_INTERNAL_H
#define TOBRISK_MESSENGER_INTERNAL_H

#include "messenger.h"

namespace messenger {

// Points the plugin's imports of blocking or fatal Windows calls (with
// patch_ui) and of _strdup and free (with patch_heap) at the recorders.
void patch_imports(HMODULE module, bool patch_ui, bool patch_heap);

// A standard handle as the process had it before drop_standard_handles,
// or the current one when none was dropped.
HANDLE saved_standard_handle(DWORD kind);

} // namespace messenger

#endif
