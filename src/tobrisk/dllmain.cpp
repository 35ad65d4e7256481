// The DLL entry point only remembers the module handle. Anything more would
// run under the loader lock; all real work waits for plugin_main.
#include "../tobrisk.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)reason;
    (void)reserved;
    module_handle_set(module);
    return TRUE;
}
