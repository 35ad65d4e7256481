// The message boxes that the plugin shows: texts as Tcl holds them, shown
// through the wide call so that every letter survives whatever the ANSI
// code page.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../text.h"
#include "../tobrisk.h"

// A text in UTF-16: in `small` when it fits, else on the heap.
static WCHAR *wide_text(const char *text, WCHAR *small, int capacity)
{
    int needed = (int)strlen(text) + 1;
    WCHAR *wide = needed <= capacity ? small : (WCHAR *)malloc(needed * sizeof(WCHAR));
    if (wide == NULL) {
        wide = small;
        needed = capacity;
    }
    text_to_wide(text, wide, needed);
    return wide;
}

static void wide_free(WCHAR *wide, const WCHAR *small)
{
    if (wide != small) free(wide);
}

int tobrisk_message_box(const char *text, const char *caption, UINT type)
{
    WCHAR small_text[TOBRISK_TEXT_MAX];
    WCHAR small_caption[TOBRISK_TEXT_MAX];
    WCHAR *wide = wide_text(text != NULL ? text : "", small_text, TOBRISK_TEXT_MAX);
    WCHAR *wide_caption = caption != NULL ? wide_text(caption, small_caption, TOBRISK_TEXT_MAX) : NULL;
    int button = MessageBoxW(NULL, wide, wide_caption, type);
    wide_free(wide, small_text);
    if (wide_caption != NULL) wide_free(wide_caption, small_caption);
    return button;
}

void tobrisk_report(const char *subject, const char *text)
{
    char caption[TOBRISK_TEXT_MAX];
    _snprintf(caption, sizeof caption, "Tobrisk Error (%s)", subject);
    caption[sizeof caption - 1] = '\0';
    tobrisk_message_box(text, caption, 0);
}
