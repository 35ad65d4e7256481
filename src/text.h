// Texts crossing the plugin's borders. The host speaks standard UTF-8,
// Windows UTF-16, and Tcl 8.6 a form of its own: UTF-8 in which a
// character beyond U+FFFF is the pair of 3-byte halves that UTF-16 would
// use, and in which such a 4-byte sequence as the host sends is invalid
// input to Tcl's string commands. Every text that enters or leaves Tcl
// passes through here. Plain ASCII is the same in all three and is handed
// on as it is.
#ifndef TOBRISK_TEXT_H
#define TOBRISK_TEXT_H

#include <windows.h>

#include <tcl.h>

// --- Host and Tcl ---------------------------------------------------------

// A Tcl value of a host text; NULL gives the empty text. Invalid UTF-8
// arrives as Tcl's decoder reads it: each stray byte as the character of
// its value.
Tcl_Obj *text_from_host(const char *text);
// The same for `count` bytes that need not be terminated.
Tcl_Obj *text_from_host_bytes(const char *bytes, int count);
// A host text in Tcl's form: the text itself when it is ASCII, else its
// conversion in `buffer`. `buffer` is initialised here; release it with
// text_release once the result is no longer used.
const char *text_to_tcl(const char *text, Tcl_DString *buffer);

// A Tcl text in standard, valid UTF-8 for the host: a pair of halves
// leaves as its 4-byte sequence, a lone half as U+FFFD. The text itself
// when it is ASCII, else its conversion in `buffer`, which is initialised
// here and released with text_release. NULL stays NULL.
const char *text_to_host(const char *text, Tcl_DString *buffer);

// Tcl_DStringFree for a buffer of the two above that is not used again.
// An ASCII text kept nothing in its buffer, so it costs no call into Tcl:
// the words of every command and event pass through here.
inline void text_release(Tcl_DString *buffer)
{
    if (buffer->string != buffer->staticSpace) Tcl_DStringFree(buffer);
}
// The same as a heap copy (_strdup) that the host keeps and the plugin
// releases with free.
char *text_host_copy(const char *text);

// --- Windows and Tcl ------------------------------------------------------

// A Tcl value of a UTF-16 text of `length` units, or up to its NUL with -1.
Tcl_Obj *text_from_wide(const WCHAR *text, int length);
// A UTF-16 text in Tcl's form, in `buffer` (initialised here).
const char *text_wide_to_tcl(const WCHAR *text, Tcl_DString *buffer);
// A Tcl value of a text in the ANSI code page, as an ANSI program hands
// over file names.
Tcl_Obj *text_from_ansi(const char *text);

// Drops a character that a cut at the end of `text` left incomplete, and
// the first half of a pair whose second half it cut off, so that a text
// cut to fit a buffer does not end in a stray letter. Calls no Tcl
// function.
void text_drop_cut_character(char *text);

// Converts a Tcl text to UTF-16 into `wide`, `capacity` units with the
// NUL, cut to fit and never through a pair; a lone half becomes U+FFFD.
// Calls no Tcl function, so it works before Tcl is bound and in a panic.
// strlen(text) + 1 units always suffice. Returns the units written.
int text_to_wide(const char *text, WCHAR *wide, int capacity);

#endif
