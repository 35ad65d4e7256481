// The callbacks that the plugin hands to the host, and the binding that
// carries an interpreter and a text to the callbacks that run scripts.
#ifndef TOBRISK_CALLBACKS_H
#define TOBRISK_CALLBACKS_H

#include <stdint.h>

#include <tcl.h>

#include "host.h"

// The interpreter a callback runs in and its text: a script for list
// entries and event subscriptions, a result variable's name (or NULL) for
// HTTP requests. Allocated with Tcl_Alloc; the text is a _strdup copy.
struct CallbackBinding {
    Tcl_Interp *interp;
    char *text;
};
HOST_RECORD_SIZE(CallbackBinding, 8);
HOST_FIELD_AT(CallbackBinding, text, 4);

// The userData of the enumeration callbacks; it lives on the stack of the
// command that asked the host, which calls back before it returns.
struct EnumerationState {
    uint32_t size;
    Tcl_Interp *interp;
    Tcl_Obj *list;
    int32_t in_progress;
};
HOST_RECORD_SIZE(EnumerationState, 16);
HOST_FIELD_AT(EnumerationState, interp, 4);
HOST_FIELD_AT(EnumerationState, list, 8);
HOST_FIELD_AT(EnumerationState, in_progress, 12);

CallbackBinding *callback_binding_new(Tcl_Interp *interp, const char *text);
// True only for the plugin's running interpreter: a binding may outlive
// the runtime it was made in.
bool callbacks_interp_live(Tcl_Interp *interp);

// Stores a value in a variable, a name such as "event(name)" or "page(x)";
// the outcome is not examined.
void callbacks_set_var(Tcl_Interp *interp, const char *name, Tcl_Obj *value, int flags);

extern "C" {
int32_t __cdecl aliasCallback(int32_t code, int32_t unused, const char *event, void *data, void *userData);
int32_t __cdecl TobriskTclListCallback(int32_t code, int32_t unused, const char *event, void *data,
                                       void *userData);
int32_t __cdecl TobriskTclEventsCallback(int32_t code, int32_t unused, const char *event, void *data,
                                         void *userData);
int32_t __cdecl connectCallback(int32_t code, int32_t unused, const char *event, void *data, void *userData);
int32_t __cdecl contactCallback(int32_t code, int32_t unused, const char *event, void *data, void *userData);
int32_t __cdecl alertCallback(int32_t code, int32_t unused, const char *event, void *data, void *userData);
int32_t __cdecl httpCallback(int32_t code, int32_t unused, const char *event, void *data, void *userData);
// As httpCallback, for a request that asked for the exact bytes.
int32_t __cdecl httpBinaryCallback(int32_t code, int32_t unused, const char *event, void *data,
                                   void *userData);
}

#endif
