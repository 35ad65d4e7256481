/* A plugin that writes through a null pointer when the host starts it, so
 * that the host's crash report can be tested. */
#include <stdint.h>
#include <string.h>

__declspec(dllexport) int32_t __cdecl plugin_version(void)
{
    return 2;
}

__declspec(dllexport) int32_t __cdecl plugin_main(const char *event, void *data)
{
    (void)data;
    if (event != NULL && strcmp(event, "start") == 0) {
        volatile int *nowhere = NULL;
        *nowhere = 1;
    }
    return 0;
}
