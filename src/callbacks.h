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

// What a binding is for: what tells the plugin that the host is done with it.
enum BindingKind { BINDING_LIST_ENTRY, BINDING_SUBSCRIPTION, BINDING_HTTP };

// A binding of the running runtime, registered until it is released.
CallbackBinding *callback_binding_new(Tcl_Interp *interp, const char *text, BindingKind kind);
// The binding behind a callback's userData when it is registered and was
// made by the running runtime; NULL otherwise. The pointer is looked up,
// not read, so a released binding is safe to be asked about.
CallbackBinding *callback_binding_live(void *userData);
// The script of a live binding as a Tcl value, with a reference for the
// caller to drop; it stays valid if the binding is released meanwhile.
Tcl_Obj *callback_binding_script(CallbackBinding *binding);
// True while the binding is registered, whatever runtime made it.
bool callback_binding_known(void *userData);
// Frees a registered binding and its text; anything else is left alone.
void callback_binding_release(void *userData);
// What the host answered for the binding: a subscription's id, or an
// entry's own id and the entry or section it lies under (-1: none).
void callback_binding_note_subscription(CallbackBinding *binding, int32_t id);
void callback_binding_note_entry(CallbackBinding *binding, int32_t id, int32_t parent, int32_t section);
// Releases what the host has confirmed it will not call again: the
// bindings of a cancelled subscription, or those of the entries under a
// removed or cleared entry or section, and with `with_entry` its own.
void callback_bindings_release_subscription(int32_t id);
void callback_bindings_release_entries(int32_t id, bool with_entry);

// True only for the plugin's running interpreter, the chat alias's userData.
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
