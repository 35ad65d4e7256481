// The bindings that the plugin hands to the host, and the registry of those
// not yet released. A callback looks its userData up here before it reads
// it, so a binding that was released, or one made by a runtime that has
// stopped, is recognised without touching its memory.
#include <stdlib.h>
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"

// What the plugin knows of a binding besides what the host sees. The
// host's userData points at `binding`, the first field.
struct KeptBinding {
    CallbackBinding binding;
    unsigned runtime;
    BindingKind kind;
    int32_t id;        // the subscription's or the entry's id; -1 unknown
    int32_t parent;    // the entry or section the entry lies under; -1 none
    int32_t section;   // the section the entry lies in; -1 none
    Tcl_Obj *script;   // the text as a Tcl value, made when first run
    bool doomed;       // marked while a removal is worked out
};

// Keys are the bindings' addresses. Made at the first binding, when Tcl is
// bound; the runtime stays loaded for the rest of the process.
static Tcl_HashTable g_registry;
static bool g_registry_ready = false;

CallbackBinding *callback_binding_new(Tcl_Interp *interp, const char *text, BindingKind kind)
{
    if (!g_registry_ready) {
        Tcl_InitHashTable(&g_registry, TCL_ONE_WORD_KEYS);
        g_registry_ready = true;
    }
    KeptBinding *kept = (KeptBinding *)Tcl_Alloc(sizeof *kept);
    kept->binding.interp = interp;
    kept->binding.text = text != NULL ? _strdup(text) : NULL;
    kept->runtime = interp_runtime();
    kept->kind = kind;
    kept->id = -1;
    kept->parent = -1;
    kept->section = -1;
    kept->doomed = false;
    kept->script = NULL;
    int created;
    Tcl_SetHashValue(Tcl_CreateHashEntry(&g_registry, (const char *)kept, &created), kept);
    return &kept->binding;
}

static KeptBinding *kept_of(void *userData)
{
    if (!g_registry_ready || userData == NULL) return NULL;
    Tcl_HashEntry *entry = Tcl_FindHashEntry(&g_registry, (const char *)userData);
    return entry != NULL ? (KeptBinding *)Tcl_GetHashValue(entry) : NULL;
}

bool callback_binding_known(void *userData)
{
    return kept_of(userData) != NULL;
}

CallbackBinding *callback_binding_live(void *userData)
{
    KeptBinding *kept = kept_of(userData);
    if (kept == NULL || kept->runtime == 0 || kept->runtime != interp_runtime()) return NULL;
    return &kept->binding;
}

// Released records wait here before they are freed, so that a new
// binding does not get the address of one just released: a host that
// calls a binding late, against its own confirmation, then finds nothing
// registered there instead of another script. The wait is bounded, and so
// is the memory it holds (the texts are freed at once).
enum { QuarantineSize = 1024 };
static KeptBinding *g_quarantine[QuarantineSize];
static int g_quarantine_next = 0;

// The text copy with free; the record, after its wait, with Tcl_Free.
static void release(KeptBinding *kept)
{
    Tcl_DeleteHashEntry(Tcl_FindHashEntry(&g_registry, (const char *)kept));
    free(kept->binding.text);
    kept->binding.text = NULL;
    if (kept->script != NULL) Tcl_DecrRefCount(kept->script);
    kept->script = NULL;
    KeptBinding *&slot = g_quarantine[g_quarantine_next];
    if (slot != NULL) Tcl_Free((char *)slot);
    slot = kept;
    g_quarantine_next = (g_quarantine_next + 1) % QuarantineSize;
}

void callback_binding_release(void *userData)
{
    KeptBinding *kept = kept_of(userData);
    if (kept != NULL) release(kept);
}

// The value keeps the script compiled from one event to the next.
Tcl_Obj *callback_binding_script(CallbackBinding *binding)
{
    KeptBinding *kept = (KeptBinding *)binding;
    if (kept->script == NULL) {
        kept->script = Tcl_NewStringObj(binding->text != NULL ? binding->text : "", -1);
        Tcl_IncrRefCount(kept->script);
    }
    Tcl_IncrRefCount(kept->script);
    return kept->script;
}

void callback_binding_note_subscription(CallbackBinding *binding, int32_t id)
{
    KeptBinding *kept = kept_of(binding);
    if (kept != NULL) kept->id = id;
}

void callback_binding_note_entry(CallbackBinding *binding, int32_t id, int32_t parent, int32_t section)
{
    KeptBinding *kept = kept_of(binding);
    if (kept == NULL) return;
    kept->id = id;
    kept->parent = parent;
    kept->section = section;
}

// Releases every binding marked doomed. They are gathered first, so that
// the table does not change while it is walked.
static void release_doomed(void)
{
    int count = 0;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_registry, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        if (((KeptBinding *)Tcl_GetHashValue(entry))->doomed) count++;
    }
    if (count == 0) return;
    KeptBinding **doomed = (KeptBinding **)Tcl_Alloc(count * sizeof *doomed);
    int found = 0;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_registry, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashValue(entry);
        if (kept->doomed) doomed[found++] = kept;
    }
    for (int index = 0; index < found; index++) release(doomed[index]);
    Tcl_Free((char *)doomed);
}

void callback_bindings_release_subscription(int32_t id)
{
    if (!g_registry_ready) return;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_registry, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashValue(entry);
        kept->doomed = kept->kind == BINDING_SUBSCRIPTION && kept->id == id;
    }
    release_doomed();
}

// Marks the entries that lie under one of the ids in `gone` and adds their
// own ids to it; true when it found any.
static bool doom_entries_under(Tcl_HashTable *gone)
{
    bool found = false;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_registry, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashValue(entry);
        if (kept->kind != BINDING_LIST_ENTRY || kept->doomed) continue;
        bool under = (kept->parent != -1 && Tcl_FindHashEntry(gone, (const char *)(intptr_t)kept->parent)) ||
                     (kept->section != -1 && Tcl_FindHashEntry(gone, (const char *)(intptr_t)kept->section));
        if (!under) continue;
        kept->doomed = true;
        int created;
        Tcl_CreateHashEntry(gone, (const char *)(intptr_t)kept->id, &created);
        found = true;
    }
    return found;
}

// The host removes an entry with everything under it, and clears one by
// removing only what lies under it.
void callback_bindings_release_entries(int32_t id, bool with_entry)
{
    if (!g_registry_ready) return;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_registry, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashValue(entry);
        kept->doomed = with_entry && kept->kind == BINDING_LIST_ENTRY && kept->id == id;
    }
    Tcl_HashTable gone;
    Tcl_InitHashTable(&gone, TCL_ONE_WORD_KEYS);
    int created;
    Tcl_CreateHashEntry(&gone, (const char *)(intptr_t)id, &created);
    while (doom_entries_under(&gone)) {
    }
    Tcl_DeleteHashTable(&gone);
    release_doomed();
}

bool callbacks_interp_live(Tcl_Interp *interp)
{
    return interp != NULL && interp == interp_get();
}

void callbacks_set_var(Tcl_Interp *interp, const char *name, Tcl_Obj *value, int flags)
{
    // Tcl_ObjSetVar2 takes over the value but not the name, which is
    // released here.
    Tcl_Obj *name_object = Tcl_NewStringObj(name, -1);
    Tcl_IncrRefCount(name_object);
    Tcl_ObjSetVar2(interp, name_object, NULL, value, flags);
    Tcl_DecrRefCount(name_object);
}
