// Callbacks that collect what the host reports: enumerations, tray-alert
// clicks and finished HTTP requests.
#include <stdlib.h>
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"
#include "../text.h"
#include "../tobrisk.h"

#include <shellapi.h>

// One element of an enumeration: the first text, the integer, then
// `text_count` more texts, in the entry's field order.
static void append_entry(EnumerationState *state, const EnumEntry *entry, int text_count)
{
    Tcl_Obj *element = Tcl_NewListObj(0, NULL);
    Tcl_ListObjAppendElement(state->interp, element, text_from_host(entry->first));
    Tcl_ListObjAppendElement(state->interp, element, Tcl_NewIntObj(entry->number));
    for (int index = 0; index < text_count; index++) {
        Tcl_ListObjAppendElement(state->interp, element, text_from_host(entry->texts[index]));
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
        tobrisk_message_box(text, "Error", MB_OK);
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
    HostCall call;
    (void)code;
    (void)unused;
    return enumeration_event("connectCallback", event, data, userData, 3);
}

extern "C" int32_t __cdecl contactCallback(int32_t code, int32_t unused, const char *event, void *data,
                                           void *userData)
{
    HostCall call;
    (void)code;
    (void)unused;
    return enumeration_event("contactCallback", event, data, userData, 6);
}

// The link copy is the host's kind of text, standard UTF-8.
static void open_link(const char *link)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, link, -1, NULL, 0);
    if (units <= 0) return;
    WCHAR *wide = (WCHAR *)malloc(units * sizeof(WCHAR));
    if (wide == NULL) return;
    MultiByteToWideChar(CP_UTF8, 0, link, -1, wide, units);
    ShellExecuteW(NULL, L"open", wide, NULL, NULL, SW_SHOW);
    free(wide);
}

// userData is the alert's link copy, or NULL for an alert without a link.
extern "C" int32_t __cdecl alertCallback(int32_t code, int32_t unused, const char *event, void *data,
                                         void *userData)
{
    HostCall call;
    (void)code;
    (void)unused;
    (void)data;
    if (event == NULL) return 0;
    char *link = (char *)userData;
    if (strcmp(event, "alert_linkClick") == 0) {
        if (link != NULL) open_link(link);
    } else if (strcmp(event, "alert_destroy") == 0) {
        free(link);
    }
    return 0;
}

// A text body arrives as the characters its UTF-8 names; a binary one as
// exactly the bytes received, NUL bytes included.
// In a script's own interpreter the store is a call like any other, under
// the script's budget: the variable's traces are the script's code.
static void store_received(Tcl_Interp *interp, const char *name, const HttpCompletion *completion,
                           bool binary)
{
    if (completion == NULL || completion->bytes == NULL || completion->count < 0) return;
    Tcl_Obj *value = binary ? Tcl_NewByteArrayObj((const unsigned char *)completion->bytes, completion->count)
                            : text_from_host_bytes(completion->bytes, completion->count);
    // A store on the deep stack: the variable's traces are the script's
    // code. In the main interpreter its outcome is not examined.
    Tcl_Obj *words[] = { Tcl_NewStringObj("::set", -1), Tcl_NewStringObj(name, -1), value };
    Tcl_Obj *store = Tcl_NewListObj(3, words);
    Tcl_IncrRefCount(store);
    Tcl_Preserve(interp);
    if (script_owner_name(interp) == NULL) {
        tobrisk_eval_obj(interp, store);
    } else {
        // What ran, for the script's figures: the store without the body.
        Tcl_Obj *ran = Tcl_NewListObj(2, words);
        Tcl_IncrRefCount(ran);
        callbacks_run(interp, store, "HTTP answer", binary ? "httpBinaryCallback" : "httpCallback", CALL_HTTP, ran);
        Tcl_DecrRefCount(ran);
    }
    Tcl_Release(interp);
    Tcl_DecrRefCount(store);
}

// Any call is the request's one completion, which releases its binding; a
// second call finds it released and does nothing. A binding made by a
// runtime that has stopped is released without storing anything.
static int32_t http_completion(void *data, void *userData, bool binary)
{
    CallbackBinding *binding = callback_binding_live(userData);
    if (binding != NULL && binding->text != NULL) {
        store_received(binding->interp, binding->text, (const HttpCompletion *)data, binary);
    }
    callback_binding_release(userData);
    return 0;
}

extern "C" int32_t __cdecl httpCallback(int32_t code, int32_t unused, const char *event, void *data,
                                        void *userData)
{
    HostCall call;
    (void)code;
    (void)unused;
    (void)event;
    return http_completion(data, userData, false);
}

extern "C" int32_t __cdecl httpBinaryCallback(int32_t code, int32_t unused, const char *event, void *data,
                                              void *userData)
{
    HostCall call;
    (void)code;
    (void)unused;
    (void)event;
    return http_completion(data, userData, true);
}
