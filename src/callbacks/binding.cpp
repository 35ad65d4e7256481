// The bindings that the plugin hands to the host, and the registry of those
// not yet released. A callback looks its userData up here before it reads
// it, so a binding that was released, or one made by a runtime that has
// stopped, is recognised without touching its memory.
//
// The registry is also the record of what each script holds: every
// binding, and every entry or section that a script's interpreter adds
// without one, is tagged with the script's name and stays until the host
// confirms that it is gone.
#include <stdlib.h>
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"
#include "../tobrisk.h"

// What the plugin knows of a binding besides what the host sees. The
// host's userData points at `binding`, the first field.
struct KeptBinding {
    CallbackBinding binding;
    unsigned runtime;
    BindingKind kind;
    int32_t id;        // the subscription's or the entry's id; -1 unknown
    int32_t parent;    // the entry or section the entry lies under; -1 none
    int32_t section;   // the section the entry lies in; -1 none
    bool is_section;   // an entry that is a section, named by the script's own id
    bool handed;       // the host holds its address
    char *owner;       // the script's name; NULL for the main interpreter
    unsigned serial;   // the order in which records were made
    Tcl_Obj *script;   // the text as a Tcl value, made when first run
    bool doomed;       // marked while a removal is worked out
};

// Keys are the bindings' addresses. Made at the first binding, when Tcl is
// bound; the runtime stays loaded for the rest of the process.
static Tcl_HashTable g_registry;
static bool g_registry_ready = false;
static unsigned g_serial = 0;

// The records of each script, by its name: a table of their addresses. A
// script's questions and its unload then look only at its own, however
// many bindings the main interpreter has made.
static Tcl_HashTable g_owners;

static Tcl_HashTable *owner_records(const char *owner, bool create)
{
    int created;
    Tcl_HashEntry *entry = create ? Tcl_CreateHashEntry(&g_owners, owner, &created)
                                  : Tcl_FindHashEntry(&g_owners, owner);
    if (entry == NULL) return NULL;
    if (create && created) {
        Tcl_HashTable *records = (Tcl_HashTable *)Tcl_Alloc(sizeof *records);
        Tcl_InitHashTable(records, TCL_ONE_WORD_KEYS);
        Tcl_SetHashValue(entry, records);
    }
    return (Tcl_HashTable *)Tcl_GetHashValue(entry);
}

// Takes a record out of its script's table and makes it nobody's.
static void disown(KeptBinding *kept)
{
    if (kept->owner == NULL) return;
    Tcl_HashTable *records = owner_records(kept->owner, false);
    Tcl_HashEntry *entry = records != NULL ? Tcl_FindHashEntry(records, (const char *)kept) : NULL;
    if (entry != NULL) Tcl_DeleteHashEntry(entry);
    Tcl_Free(kept->owner);
    kept->owner = NULL;
}

static KeptBinding *make_record(Tcl_Interp *interp, const char *text, BindingKind kind, const char *owner)
{
    if (!g_registry_ready) {
        Tcl_InitHashTable(&g_registry, TCL_ONE_WORD_KEYS);
        Tcl_InitHashTable(&g_owners, TCL_STRING_KEYS);
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
    kept->is_section = false;
    kept->handed = true;
    kept->owner = NULL;
    if (owner != NULL) {
        // From Tcl's allocator: _strdup copies are the ones handed to the host.
        kept->owner = Tcl_Alloc((unsigned)strlen(owner) + 1);
        strcpy(kept->owner, owner);
    }
    kept->serial = ++g_serial;
    kept->doomed = false;
    kept->script = NULL;
    int created;
    Tcl_SetHashValue(Tcl_CreateHashEntry(&g_registry, (const char *)kept, &created), kept);
    if (owner != NULL) Tcl_CreateHashEntry(owner_records(owner, true), (const char *)kept, &created);
    return kept;
}

CallbackBinding *callback_binding_new(Tcl_Interp *interp, const char *text, BindingKind kind)
{
    return &make_record(interp, text, kind, script_owner_name(interp))->binding;
}

CallbackBinding *callback_binding_held(Tcl_Interp *interp, BindingKind kind)
{
    const char *owner = script_owner_name(interp);
    if (owner == NULL) return NULL;
    KeptBinding *kept = make_record(interp, NULL, kind, owner);
    kept->handed = false;
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
    disown(kept);
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

void callback_binding_note_id(CallbackBinding *binding, int32_t id)
{
    KeptBinding *kept = kept_of(binding);
    if (kept != NULL) kept->id = id;
}

void callback_binding_note_entry(CallbackBinding *binding, int32_t id, int32_t parent, int32_t section,
                                 bool is_section)
{
    KeptBinding *kept = kept_of(binding);
    if (kept == NULL) return;
    kept->id = id;
    kept->parent = parent;
    kept->section = section;
    kept->is_section = is_section;
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
void callback_bindings_release_entries(int32_t id, bool is_section, bool with_entry)
{
    if (!g_registry_ready) return;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(&g_registry, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashValue(entry);
        kept->doomed = with_entry && kept->kind == BINDING_LIST_ENTRY && kept->id == id &&
                       kept->is_section == is_section;
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

// --- What each script holds ---------------------------------------------------

static bool is_kind(const KeptBinding *kept, HeldKind kind)
{
    switch (kind) {
    case HELD_SUBSCRIPTION: return kept->kind == BINDING_SUBSCRIPTION;
    case HELD_ENTRY:        return kept->kind == BINDING_LIST_ENTRY && !kept->is_section;
    case HELD_SECTION:      return kept->kind == BINDING_LIST_ENTRY && kept->is_section;
    case HELD_REQUEST:      return kept->kind == BINDING_HTTP;
    }
    return false;
}

static bool owned_by(const KeptBinding *kept, const char *owner)
{
    return kept->owner != NULL && strcmp(kept->owner, owner) == 0;
}

// Held now: not retired, and made by the running runtime.
static bool current(const KeptBinding *kept)
{
    return kept->runtime != 0 && kept->runtime == interp_runtime();
}

static KeptBinding *find_in(Tcl_HashTable *table, HeldKind kind, int32_t id, bool want_owner)
{
    KeptBinding *found = NULL;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(table, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashKey(table, entry);
        if (!current(kept) || kept->id != id || !is_kind(kept, kind)) continue;
        if (!want_owner || kept->owner != NULL) return kept;
        if (found == NULL) found = kept;
    }
    return found;
}

// The record of the thing the host knows by `id`: one of `owner`'s, else
// another script's, else the main interpreter's; NULL when there is none.
// Only a refusal looks beyond the script's own records.
static KeptBinding *find_held(const char *owner, HeldKind kind, int32_t id)
{
    if (!g_registry_ready) return NULL;
    Tcl_HashTable *own = owner != NULL ? owner_records(owner, false) : NULL;
    KeptBinding *kept = own != NULL ? find_in(own, kind, id, false) : NULL;
    return kept != NULL ? kept : find_in(&g_registry, kind, id, true);
}

static int by_serial(const void *left, const void *right)
{
    unsigned a = (*(KeptBinding *const *)left)->serial;
    unsigned b = (*(KeptBinding *const *)right)->serial;
    return a < b ? -1 : a > b ? 1 : 0;
}

// The live records of `owner`, of one kind or of all (`kind` < 0), in the
// order made; the caller frees the array with Tcl_Free.
static KeptBinding **records_of(const char *owner, int kind, int *count, bool any_runtime = false)
{
    *count = 0;
    Tcl_HashTable *own = g_registry_ready ? owner_records(owner, false) : NULL;
    if (own == NULL) return NULL;
    KeptBinding **records = (KeptBinding **)Tcl_Alloc((own->numEntries + 1) * sizeof *records);
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(own, &search); entry != NULL;
         entry = Tcl_NextHashEntry(&search)) {
        KeptBinding *kept = (KeptBinding *)Tcl_GetHashKey(own, entry);
        if (!any_runtime && !current(kept)) continue;
        if (kind >= 0 && !is_kind(kept, (HeldKind)kind)) continue;
        records[(*count)++] = kept;
    }
    qsort(records, *count, sizeof *records, by_serial);
    return records;
}

Tcl_Obj *callback_bindings_held_ids(const char *owner, HeldKind kind)
{
    Tcl_Obj *ids = Tcl_NewListObj(0, NULL);
    int count;
    KeptBinding **records = records_of(owner, kind, &count);
    for (int index = 0; index < count; index++) {
        Tcl_ListObjAppendElement(NULL, ids, Tcl_NewIntObj(records[index]->id));
    }
    if (records != NULL) Tcl_Free((char *)records);
    return ids;
}

bool callback_bindings_holds(const char *owner, HeldKind kind, int32_t id)
{
    KeptBinding *kept = find_held(owner, kind, id);
    return kept != NULL && (owner == NULL || owned_by(kept, owner));
}

int callback_bindings_check_owner(Tcl_Interp *interp, HeldKind kind, int32_t id)
{
    const char *owner = script_owner_name(interp);
    if (owner == NULL) return TCL_OK;
    KeptBinding *kept = find_held(owner, kind, id);
    if (kept != NULL && owned_by(kept, owner)) return TCL_OK;
    static const char *const Things[] = { "subscription", "entry", "section", "request" };
    char text[TOBRISK_TEXT_MAX];
    if (kept == NULL) {
        _snprintf(text, sizeof text, "%s %ld was not made by the script %s", Things[kind], (long)id, owner);
    } else if (kept->owner == NULL) {
        _snprintf(text, sizeof text, "%s %ld belongs to the main interpreter", Things[kind], (long)id);
    } else {
        _snprintf(text, sizeof text, "%s %ld belongs to the script %s", Things[kind], (long)id, kept->owner);
    }
    text[sizeof text - 1] = '\0';
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_ERROR;
}

// A record the host holds the address of stays registered, so that a late
// call finds it, but runs nothing and belongs to nobody.
static void retire(KeptBinding *kept)
{
    if (!kept->handed) {
        release(kept);
        return;
    }
    kept->runtime = 0;
    disown(kept);
}

void callback_bindings_disown(const char *owner)
{
    int count;
    KeptBinding **records = records_of(owner, -1, &count);
    for (int index = 0; index < count; index++) retire(records[index]);
    if (records != NULL) Tcl_Free((char *)records);
}

// Everything an adopted interpreter binds is its script's, so its own
// records are the ones to look at.
void callback_bindings_orphan(const char *owner, Tcl_Interp *interp)
{
    int count;
    KeptBinding **records = records_of(owner, -1, &count, true);
    for (int index = 0; index < count; index++) {
        if (records[index]->binding.interp == interp) retire(records[index]);
    }
    if (records != NULL) Tcl_Free((char *)records);
}

bool callbacks_interp_live(Tcl_Interp *interp)
{
    return interp != NULL && interp == interp_get();
}
