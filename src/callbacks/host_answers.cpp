// Callbacks that collect what the host reports: enumerations, tray-alert
// clicks and finished HTTP requests.
#include <stdlib.h>
#include <string.h>

#include "../callbacks.h"
#include "../tobrisk.h"

#include <shellapi.h>

static Tcl_Obj *text_value(const char *text)
{
    return Tcl_NewStringObj(text != NULL ? text : "", -1);
}

// One element of an enumeration: the first text, the integer, then
// `text_count` more texts, in the entry's field order.
static void append_entry(EnumerationState *state, const EnumEntry *entry, int text_count)
{
    Tcl_Obj *element = Tcl_NewListObj(0, NULL);
    Tcl_ListObjAppendElement(state->interp, element, text_value(entry->first));
    Tcl_ListObjAppendElement(state->interp, element, Tcl_NewIntObj(entry->number));
    for (int index = 0; index < text_count; index++) {
        Tcl_ListObjAppendElement(state->interp, element, text_value(entry->texts[index]));
    }
    Tcl_ListObjAppendElement(state->interp, state->list, element);
}

static int32_t enumeration_event(const char *callback, const char *event, void *data, void *userData,
                                 int text_count)
{
    if (userData == NULL) {
        char text[TOBRISK_TEXT_MAX];
        _snprintf(text, sizeof text, "userData is NULL in %s()", callback);
        text[sizeof text - 1] = '\0';
        MessageBoxA(NULL, text, "Error", MB_OK);
        return 0;
    }
    EnumerationState *state = (EnumerationState *)userData;
    if (event == NULL) return 0;
    if (strcmp(event, "enum_start") == 0) {
        state->in_progress = 1;
    } else if (strcmp(event, "enum_finish") == 0) {
        state->in_progress = 0;
    } else if (strcmp(event, "enum_add") == 0 && data != NULL) {
        append_entry(state, (const EnumEntry *)data, text_count);
    }
    return 0;
}

extern "C" int32_t __cdecl connectCallback(int32_t code, int32_t unused, const char *event, void *data,
                                           void *userData)
{
    (void)code;
    (void)unused;
    return enumeration_event("connectCallback", event, data, userData, 3);
}

extern "C" int32_t __cdecl contactCallback(int32_t code, int32_t unused, const char *event, void *data,
                                           void *userData)
{
    (void)code;
    (void)unused;
    return enumeration_event("contactCallback", event, data, userData, 6);
}

// userData is the alert's link copy, or NULL for an alert without a link.
extern "C" int32_t __cdecl alertCallback(int32_t code, int32_t unused, const char *event, void *data,
                                         void *userData)
{
    (void)code;
    (void)unused;
    (void)data;
    if (event == NULL) return 0;
    char *link = (char *)userData;
    if (strcmp(event, "alert_linkClick") == 0) {
        if (link != NULL) ShellExecuteA(NULL, "open", link, NULL, NULL, SW_SHOW);
    } else if (strcmp(event, "alert_destroy") == 0) {
        free(link);
    }
    return 0;
}

// Stores exactly the bytes received, NUL bytes included, without any
// conversion of characters.
static void store_received(Tcl_Interp *interp, const char *name, const HttpCompletion *completion)
{
    if (completion == NULL || completion->bytes == NULL || completion->count < 0) return;
    callbacks_set_var(interp, name, Tcl_NewStringObj(completion->bytes, completion->count), 0);
}

// Any call is the request's one completion, which releases its binding.
// A binding made by an earlier runtime belongs to an allocator that is gone
// with it: only its text copy can still be freed.
extern "C" int32_t __cdecl httpCallback(int32_t code, int32_t unused, const char *event, void *data,
                                        void *userData)
{
    (void)code;
    (void)unused;
    (void)event;
    CallbackBinding *binding = (CallbackBinding *)userData;
    if (binding == NULL) return 0;
    bool live = callbacks_interp_live(binding->interp);
    if (live && binding->text != NULL) {
        store_received(binding->interp, binding->text, (const HttpCompletion *)data);
    }
    free(binding->text);
    if (live) Tcl_Free((char *)binding);
    return 0;
}
