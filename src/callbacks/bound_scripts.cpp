// Callbacks that run a bound script: a double-click on a script's
// contact-list entry, and a host event that a script subscribed to.
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"
#include "../text.h"
#include "../tobrisk.h"

// The script runs at the global level, whatever procedure is on the stack
// when the host calls back. It may release its own binding (a subscribed
// script that cancels its subscription): the script value it runs is held
// here, and the interpreter is taken beforehand and preserved.
static void eval_binding(CallbackBinding *binding, Tcl_Interp *interp, const char *what, const char *subject,
                         CallKind kind)
{
    Tcl_Obj *script = callback_binding_script(binding);
    callbacks_run(interp, script, what, subject, kind);
    Tcl_DecrRefCount(script);
}

extern "C" int32_t __cdecl TobriskTclListCallback(int32_t code, int32_t unused, const char *event,
                                                  void *data, void *userData)
{
    HostCall call;
    (void)code;
    (void)unused;
    (void)data;
    if (event == NULL || strcmp(event, "list_leftDoubleClick") != 0) return 0;
    // A released binding, or one of a runtime that has stopped, runs nothing.
    CallbackBinding *binding = callback_binding_live(userData);
    if (binding == NULL) return 0;
    Tcl_Interp *interp = binding->interp;
    Tcl_Preserve(interp);
    eval_binding(binding, interp, "double-click", "TobriskTclListCallback", CALL_DOUBLECLICK);
    Tcl_Release(interp);
    return 0;
}

// The chain fields that a connection change publishes in the array `event`.
// "cid" points at a 32-bit integer, the others at texts.
struct PublishedField {
    const char *name;
    const char *element;
    bool integer;
};
static const PublishedField PublishedFields[] = {
    { "cid", "connection_id", true },
    { "name", "name", false },
    { "medium", "medium", false },
    { "status", "status", false },
};
static const int PublishedFieldCount = (int)(sizeof PublishedFields / sizeof PublishedFields[0]);

// The names of the array and of its elements as Tcl values, made once for
// an interpreter and released with it. A login delivers events by the
// hundred; making the names anew for each event cost more than a small
// subscribed script itself.
struct EventNames {
    Tcl_Obj *array;
    Tcl_Obj *elements[PublishedFieldCount];
};
static const char EventNamesKey[] = "tobrisk event names";

static Tcl_Obj *kept_name(const char *text)
{
    Tcl_Obj *name = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(name);
    return name;
}

static void release_event_names(ClientData data, Tcl_Interp *interp)
{
    (void)interp;
    EventNames *names = (EventNames *)data;
    Tcl_DecrRefCount(names->array);
    for (Tcl_Obj *element : names->elements) Tcl_DecrRefCount(element);
    Tcl_Free((char *)names);
}

static const EventNames *event_names(Tcl_Interp *interp)
{
    EventNames *names = (EventNames *)Tcl_GetAssocData(interp, EventNamesKey, NULL);
    if (names != NULL) return names;
    names = (EventNames *)Tcl_Alloc(sizeof *names);
    names->array = kept_name("event");
    for (int index = 0; index < PublishedFieldCount; index++) {
        names->elements[index] = kept_name(PublishedFields[index].element);
    }
    Tcl_SetAssocData(interp, EventNamesKey, release_event_names, names);
    return names;
}

static void publish_field(Tcl_Interp *interp, const EventNames *names, const EventField *field)
{
    for (int index = 0; index < PublishedFieldCount; index++) {
        const PublishedField &published = PublishedFields[index];
        if (strcmp(field->name, published.name) != 0) continue;
        Tcl_Obj *value = published.integer
                             ? Tcl_NewIntObj(*(const int32_t *)field->value)
                             : text_from_host((const char *)field->value);
        Tcl_ObjSetVar2(interp, names->array, names->elements[index], value, TCL_GLOBAL_ONLY);
        return;
    }
}

// A link with no name or no value carries nothing to publish.
static void publish_chain(Tcl_Interp *interp, const EventField *field)
{
    const EventNames *names = event_names(interp);
    for (; field != NULL; field = field->next) {
        if (field->name == NULL || field->value == NULL) continue;
        publish_field(interp, names, field);
    }
}

struct EventDelivery {
    CallbackBinding *binding;
    const EventField *fields;
};

// On the deep stack as a whole: setting and unsetting `event` runs the
// traces a script put on it, which are the script's code.
static int deliver_event(void *argument)
{
    EventDelivery *delivery = (EventDelivery *)argument;
    Tcl_Interp *interp = delivery->binding->interp;
    Tcl_Preserve(interp);
    publish_chain(interp, delivery->fields);
    eval_binding(delivery->binding, interp, "event", "TobriskTclEventsCallback", CALL_EVENT);
    // A script's interpreter may have been deleted by the call's end.
    if (!Tcl_InterpDeleted(interp)) Tcl_UnsetVar2(interp, "event", NULL, TCL_GLOBAL_ONLY);
    Tcl_Release(interp);
    return 0;
}

extern "C" int32_t __cdecl TobriskTclEventsCallback(int32_t code, int32_t unused, const char *event,
                                                    void *data, void *userData)
{
    HostCall call;
    (void)unused;
    if (event == NULL || strcmp(event, "Connection: Change") != 0) return 0;
    if (code != 1) return 0;
    CallbackBinding *binding = callback_binding_live(userData);
    if (binding == NULL) return 0;
    EventDelivery delivery = { binding, (const EventField *)data };
    tobrisk_deep_call(deliver_event, &delivery);
    return 0;
}
