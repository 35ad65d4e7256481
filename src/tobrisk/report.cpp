#include <stdio.h>

#include "../tobrisk.h"

void tobrisk_report(const char *subject, const char *text)
{
    char caption[TOBRISK_TEXT_MAX];
    _snprintf(caption, sizeof caption, "Tobrisk Error (%s)", subject);
    caption[sizeof caption - 1] = '\0';
    MessageBoxA(NULL, text, caption, 0);
}
