// Conversions between the host's UTF-8, Windows' UTF-16 and Tcl's own form
// of UTF-8. Host texts go through Tcl's "utf-8" encoding both ways, which
// turns 4-byte sequences into pairs of halves and back; what it lets
// through unpaired is mended here.
#include <string.h>

#include "text.h"

static const char Replacement[] = "\xEF\xBF\xBD";   // U+FFFD in UTF-8
static const WCHAR WideReplacement = 0xFFFD;

// The length of a text that is plain ASCII, or -1.
static int ascii_length(const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    for (; *p != 0; p++) {
        if (*p >= 0x80) return -1;
    }
    return (int)(p - (const unsigned char *)text);
}

static bool is_ascii(const char *text)
{
    return ascii_length(text) >= 0;
}

// Tcl_DStringInit without the call into Tcl, for the buffer of an ASCII
// text, which stays empty.
static void empty_buffer(Tcl_DString *buffer)
{
    buffer->string = buffer->staticSpace;
    buffer->length = 0;
    buffer->spaceAvl = TCL_DSTRING_STATIC_SIZE;
    buffer->staticSpace[0] = '\0';
}

static bool is_trail(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// --- Host and Tcl ---------------------------------------------------------

// Host bytes in Tcl's form; `text` must be terminated behind its `count`
// bytes, since Tcl's decoder looks up to two bytes past a stray trail byte.
static void decode_host(const char *text, int count, Tcl_DString *buffer)
{
    Tcl_Encoding utf8 = Tcl_GetEncoding(NULL, "utf-8");
    Tcl_ExternalToUtfDString(utf8, text, count, buffer);
    Tcl_FreeEncoding(utf8);
}

static Tcl_Obj *value_of(Tcl_DString *buffer)
{
    Tcl_Obj *value = Tcl_NewStringObj(Tcl_DStringValue(buffer), Tcl_DStringLength(buffer));
    Tcl_DStringFree(buffer);
    return value;
}

Tcl_Obj *text_from_host(const char *text)
{
    if (text == NULL) return Tcl_NewObj();
    int length = ascii_length(text);
    if (length >= 0) return Tcl_NewStringObj(text, length);
    Tcl_DString buffer;
    decode_host(text, -1, &buffer);
    return value_of(&buffer);
}

Tcl_Obj *text_from_host_bytes(const char *bytes, int count)
{
    if (bytes == NULL || count <= 0) return Tcl_NewObj();
    Tcl_DString terminated;
    Tcl_DStringInit(&terminated);
    Tcl_DStringAppend(&terminated, bytes, count);
    Tcl_DString buffer;
    decode_host(Tcl_DStringValue(&terminated), count, &buffer);
    Tcl_DStringFree(&terminated);
    return value_of(&buffer);
}

const char *text_to_tcl(const char *text, Tcl_DString *buffer)
{
    if (text == NULL || is_ascii(text)) {
        empty_buffer(buffer);
        return text;
    }
    decode_host(text, -1, buffer);
    return Tcl_DStringValue(buffer);
}

// The length of the valid UTF-8 sequence that begins at `p`, or 0: no
// overlong forms, no halves of pairs, nothing beyond U+10FFFF.
static int valid_sequence(const unsigned char *p, int left)
{
    unsigned char lead = p[0];
    if (lead < 0x80) return 1;
    if (lead < 0xC2 || lead > 0xF4) return 0;
    int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (left < length) return 0;
    for (int index = 1; index < length; index++) {
        if (!is_trail(p[index])) return 0;
    }
    unsigned char second = p[1];
    if (lead == 0xE0 && second < 0xA0) return 0;
    if (lead == 0xED && second >= 0xA0) return 0;
    if (lead == 0xF0 && second < 0x90) return 0;
    if (lead == 0xF4 && second >= 0x90) return 0;
    return length;
}

// The 3-byte form of a half of a pair, U+D800 to U+DFFF.
static bool is_half(const unsigned char *p, int left)
{
    return left >= 3 && p[0] == 0xED && p[1] >= 0xA0 && is_trail(p[1]) && is_trail(p[2]);
}

// Replaces what is no UTF-8 with U+FFFD: a half as a whole, any other
// stray byte by itself.
static void mend_utf8(Tcl_DString *text)
{
    const unsigned char *bytes = (const unsigned char *)Tcl_DStringValue(text);
    int length = Tcl_DStringLength(text);
    int at = 0;
    while (at < length) {
        int valid = valid_sequence(bytes + at, length - at);
        if (valid == 0) break;
        at += valid;
    }
    if (at == length) return;
    Tcl_DString mended;
    Tcl_DStringInit(&mended);
    Tcl_DStringAppend(&mended, (const char *)bytes, at);
    while (at < length) {
        int valid = valid_sequence(bytes + at, length - at);
        if (valid > 0) {
            Tcl_DStringAppend(&mended, (const char *)bytes + at, valid);
            at += valid;
        } else {
            Tcl_DStringAppend(&mended, Replacement, 3);
            at += is_half(bytes + at, length - at) ? 3 : 1;
        }
    }
    Tcl_DStringSetLength(text, 0);
    Tcl_DStringAppend(text, Tcl_DStringValue(&mended), Tcl_DStringLength(&mended));
    Tcl_DStringFree(&mended);
}

const char *text_to_host(const char *text, Tcl_DString *buffer)
{
    if (text == NULL || is_ascii(text)) {
        empty_buffer(buffer);
        return text;
    }
    Tcl_Encoding utf8 = Tcl_GetEncoding(NULL, "utf-8");
    Tcl_UtfToExternalDString(utf8, text, -1, buffer);
    Tcl_FreeEncoding(utf8);
    mend_utf8(buffer);
    return Tcl_DStringValue(buffer);
}

char *text_host_copy(const char *text)
{
    Tcl_DString buffer;
    char *copy = _strdup(text_to_host(text != NULL ? text : "", &buffer));
    text_release(&buffer);
    return copy;
}

// --- Windows and Tcl ------------------------------------------------------

// With Tcl 8.6's default build a Tcl character is one UTF-16 unit, so
// UTF-16 goes into Tcl as it is.
static_assert(sizeof(Tcl_UniChar) == sizeof(WCHAR), "Tcl characters are UTF-16 units");

Tcl_Obj *text_from_wide(const WCHAR *text, int length)
{
    return Tcl_NewUnicodeObj((const Tcl_UniChar *)text, length);
}

const char *text_wide_to_tcl(const WCHAR *text, Tcl_DString *buffer)
{
    Tcl_DStringInit(buffer);
    return Tcl_UniCharToUtfDString((const Tcl_UniChar *)text, (int)wcslen(text), buffer);
}

Tcl_Obj *text_from_ansi(const char *text)
{
    if (text == NULL) return Tcl_NewObj();
    if (is_ascii(text)) return Tcl_NewStringObj(text, -1);
    // One ANSI byte never makes more than one UTF-16 unit.
    int capacity = (int)strlen(text) + 1;
    Tcl_DString buffer;
    Tcl_DStringInit(&buffer);
    Tcl_DStringSetLength(&buffer, capacity * (int)sizeof(WCHAR));
    WCHAR *wide = (WCHAR *)Tcl_DStringValue(&buffer);
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity);
    Tcl_Obj *value = text_from_wide(wide, units > 0 ? units - 1 : 0);
    Tcl_DStringFree(&buffer);
    return value;
}

// One character of Tcl's form at `p`, read as Tcl reads it: a well-formed
// sequence gives its code (a half of a pair included, 0 for Tcl's C0 80),
// any other byte the character of its value. Returns the bytes used; the
// text must be terminated, which ends every sequence early.
static int read_tcl_character(const unsigned char *p, unsigned *code)
{
    unsigned lead = p[0];
    if (lead >= 0xC0 && lead < 0xE0 && is_trail(p[1])) {
        unsigned value = ((lead & 0x1F) << 6) | (p[1] & 0x3F);
        if (value >= 0x80 || value == 0) {
            *code = value;
            return 2;
        }
    } else if (lead >= 0xE0 && lead < 0xF0 && is_trail(p[1]) && is_trail(p[2])) {
        unsigned value = ((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        if (value >= 0x800) {
            *code = value;
            return 3;
        }
    } else if (lead >= 0xF0 && lead < 0xF5 && is_trail(p[1]) && is_trail(p[2]) && is_trail(p[3])) {
        unsigned value = ((lead & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        if (value >= 0x10000 && value <= 0x10FFFF) {
            *code = value;
            return 4;
        }
    }
    *code = lead;
    return 1;
}

void text_drop_cut_character(char *text)
{
    size_t end = strlen(text);
    size_t lead = end;
    while (lead > 0 && end - lead < 3 && is_trail((unsigned char)text[lead - 1])) lead--;
    if (lead == 0) return;
    lead--;
    unsigned char byte = (unsigned char)text[lead];
    size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (end - lead < needed) {
        text[lead] = '\0';
        end = lead;
    }
    const unsigned char *last = (const unsigned char *)text + end - 3;
    if (end >= 3 && last[0] == 0xED && last[1] >= 0xA0 && last[1] <= 0xAF && is_trail(last[2])) {
        text[end - 3] = '\0';
    }
}

static bool is_high_half(unsigned code) { return code >= 0xD800 && code <= 0xDBFF; }
static bool is_low_half(unsigned code) { return code >= 0xDC00 && code <= 0xDFFF; }

int text_to_wide(const char *text, WCHAR *wide, int capacity)
{
    if (capacity <= 0) return 0;
    int written = 0;
    const unsigned char *p = (const unsigned char *)(text != NULL ? text : "");
    while (*p != 0) {
        unsigned code;
        p += read_tcl_character(p, &code);
        if (code == 0) break;   // Tcl's NUL ends a Windows text
        WCHAR units[2];
        int count = 1;
        if (code > 0xFFFF) {
            code -= 0x10000;
            units[0] = (WCHAR)(0xD800 + (code >> 10));
            units[1] = (WCHAR)(0xDC00 + (code & 0x3FF));
            count = 2;
        } else if (is_high_half(code)) {
            unsigned low;
            int used = read_tcl_character(p, &low);
            if (*p != 0 && is_low_half(low)) {
                p += used;
                units[1] = (WCHAR)low;
                count = 2;
            }
            units[0] = count == 2 ? (WCHAR)code : WideReplacement;
        } else {
            units[0] = is_low_half(code) ? WideReplacement : (WCHAR)code;
        }
        if (written + count >= capacity) break;
        for (int index = 0; index < count; index++) wide[written++] = units[index];
    }
    wide[written] = 0;
    return written;
}
