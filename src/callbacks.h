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

// A binding of the running runtime, registered until it is released. It
// is tagged with the script whose interpreter made it (none for the main
// interpreter): the registry is the one record of what each script holds.
CallbackBinding *callback_binding_new(Tcl_Interp *interp, const char *text, BindingKind kind);
// A record of a script's own that the host never sees: an entry or section
// added without a callback. NULL for the main interpreter, which keeps no
// such record.
CallbackBinding *callback_binding_held(Tcl_Interp *interp, BindingKind kind);
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
// What the host answered for the binding: a subscription's or a request's id, or an
// entry's own id and the entry or section it lies under (-1: none).
void callback_binding_note_id(CallbackBinding *binding, int32_t id);
void callback_binding_note_entry(CallbackBinding *binding, int32_t id, int32_t parent, int32_t section,
                                 bool is_section);
// Releases what the host has confirmed it will not call again: the
// bindings of a cancelled subscription, or those of the entries under a
// removed or cleared entry or section, and with `with_entry` its own.
void callback_bindings_release_subscription(int32_t id);
void callback_bindings_release_entries(int32_t id, bool is_section, bool with_entry);

// What a script holds, by kind. Entries are BINDING_LIST_ENTRY with
// `sections` false, sections the same kind with it true.
enum HeldKind { HELD_SUBSCRIPTION, HELD_ENTRY, HELD_SECTION, HELD_REQUEST };
// The ids of what script `owner` holds of one kind, in the order made.
Tcl_Obj *callback_bindings_held_ids(const char *owner, HeldKind kind);
// Whether script `owner` holds the thing; with a NULL owner, whether anyone does.
bool callback_bindings_holds(const char *owner, HeldKind kind, int32_t id);
// Lets a script's interpreter touch only what it holds: TCL_OK, or a Tcl
// error naming the owner. The main interpreter may touch anything.
int callback_bindings_check_owner(Tcl_Interp *interp, HeldKind kind, int32_t id);
// Ends the record of script `owner` once its holdings are released: what
// the host may still call stays registered but runs nothing; the rest goes.
void callback_bindings_disown(const char *owner);
// Makes every binding of script `owner`'s interpreter, which is being
// deleted, run nothing.
void callback_bindings_orphan(const char *owner, Tcl_Interp *interp);

// A script's own interpreter: the supervisor of plugin/lib/tobrisk makes it
// in the main interpreter and adopts it with ::tobrisk::_adopt, which gives
// it the plugin's commands. Its name for an adopted interpreter, NULL for
// any other.
const char *script_owner_name(Tcl_Interp *interp);
// Adopts interpreter `path` of `parent` for script `name`; TCL_ERROR with a
// message in `parent` when there is no such interpreter.
int script_owner_adopt(Tcl_Interp *parent, Tcl_Obj *path, Tcl_Obj *name);
// The adopted interpreter `path` of `parent`, or NULL.
Tcl_Interp *script_owner_find(Tcl_Interp *parent, Tcl_Obj *path);
// Counts an alert that the script raised.
void script_owner_count_alert(Tcl_Interp *interp);
int script_owner_alerts(Tcl_Interp *interp);
// The kinds of supervised call that a script's figures count
// (::tobrisk::stats); their names are in src/callbacks/call_figures.cpp.
// A call of a script's exported command is CALL_CHAT from the chat line,
// CALL_MESSAGE from anything else.
enum CallKind {
    CALL_EVENT,
    CALL_DOUBLECLICK,
    CALL_TIMER,
    CALL_HTTP,
    CALL_CHAT,
    CALL_MESSAGE,
    CALL_LOAD,
    CALL_OTHER,
    CALL_KIND_COUNT
};
// A kind's name, and the kind a name gives: CALL_OTHER for any name that is none.
const char *call_kind_name(CallKind kind);
CallKind call_kind_named(const char *name);

// Runs a host-to-script call in the interpreter of the binding: directly in
// the main one, through the supervisor's ::tobrisk::sv::run (its budget,
// its accounting, its error reports) in a script's own. `what` names the
// call in the script's log, `subject` in the main interpreter's box; it
// counts as a call of `kind`, and `ran` (NULL: the script itself) tells
// what ran. The caller preserves the interpreter, which the call may delete.
void callbacks_run(Tcl_Interp *interp, Tcl_Obj *script, const char *what, const char *subject, CallKind kind,
                   Tcl_Obj *ran = NULL);

// ::tobrisk::_deliver TOPIC IDS WORDS: a message of the bus, each of its
// subscriptions IDS run as a supervised call of the subscriber; the number
// reached.
int script_owner_deliver(Tcl_Interp *parent, int objc, Tcl_Obj *const objv[]);

// Runs an `after` script of an adopted interpreter as a supervised call
// named "timer"; its failure is the interpreter's background error, a
// time-out the supervisor's.
void script_owner_run_timer(Tcl_Interp *interp, Tcl_Obj *script);
// Gives an interpreter the `after` of script_timers.cpp.
void script_timers_install(Tcl_Interp *interp);

// Makes command `name` of `parent` call `command` in its adopted
// interpreter `path`, as a supervised call: a command the script exported.
int script_owner_export(Tcl_Interp *parent, Tcl_Obj *path, Tcl_Obj *name, Tcl_Obj *command);
// Calls command objv[0] with its arguments in adopted interpreter `interp`
// as a supervised call of `kind`, for `parent`, which gets its result or
// its error; the supervisor logs an error and counts a time-out. An
// interpreter that is no script's is an error.
int script_owner_call(Tcl_Interp *interp, Tcl_Interp *parent, int objc, Tcl_Obj *const objv[], CallKind kind);
// Brackets the chat line's evaluation, so that an exported command that it
// calls itself counts as CALL_CHAT; begin returns what end restores.
int script_owner_chat_begins(void);
void script_owner_chat_ends(int outer);
// The script's figures as ::tobrisk::stats gives them, without what the
// supervisor keeps itself; NULL: those of no call at all.
Tcl_Obj *script_owner_figures(Tcl_Interp *interp);
// Counts a call that the supervisor timed itself (::tobrisk::sv::run).
void script_owner_account(Tcl_Interp *interp, CallKind kind, Tcl_WideInt microseconds, Tcl_Obj *what);

// True only for the plugin's running interpreter, the chat alias's userData.
bool callbacks_interp_live(Tcl_Interp *interp);

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
