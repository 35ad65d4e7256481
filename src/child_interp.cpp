// A script's own interpreter, made as `interp create` makes one but without
// Tcl's search for its library in the new interpreter.
//
// `interp create` runs Tcl_Init in the child, which looks for init.tcl
// from env(TCL_LIBRARY) on and sources it. Both steps turn the library's
// path into its unique form, a lookup of every folder on the way that costs
// about a millisecond under Wine, each time, since a new interpreter starts
// from new texts. The main interpreter has done that lookup once for its
// own tcl_library, and Tcl keeps the result in the value: the child is
// given that same value and sources init.tcl through a path value made
// from it once, so that it finds the same library and runs the same
// init.tcl, and the lookups happen once per runtime instead of twice per
// child.
#include <string.h>

#include <tcl.h>

#include "interp.h"

// Tcl_Init evaluates this first when it is set; Tcl's own search is a
// procedure tclInit that Tcl_Init defines only when there is none.
static const char DeferredInit[] = "proc tclInit {} {rename tclInit {}}";

// TclSetPreInitScript, from Tcl's internal stubs table: every Tcl since
// 8.1 has it in slot 101. NULL when the table is not there.
typedef const char *SetPreInitFn(const char *script);
static SetPreInitFn *pre_init_setter(void)
{
    const TclStubHooks *hooks = tclStubsPtr->hooks;
    if (hooks == NULL || hooks->tclIntStubs == NULL) return NULL;
    struct InternalStubs {
        int magic;
        void *hooks;
        void (*slots[102])(void);
    };
    const InternalStubs *internal = (const InternalStubs *)hooks->tclIntStubs;
    if (internal->magic != TCL_STUB_MAGIC) return NULL;
    return (SetPreInitFn *)(void *)internal->slots[101];
}

// The parent's library and its init.tcl as values, kept with the parent.
struct Library {
    Tcl_Obj *directory;
    Tcl_Obj *init_file;
    Tcl_Obj *source;
};
static const char LibraryKey[] = "tobrisk child library";

static void forget_library(ClientData data, Tcl_Interp *interp)
{
    (void)interp;
    Library *library = (Library *)data;
    Tcl_DecrRefCount(library->directory);
    Tcl_DecrRefCount(library->init_file);
    Tcl_DecrRefCount(library->source);
    Tcl_Free((char *)library);
}

// Whether two paths are the same but for the kind of slash.
static bool same_but_slashes(const char *one, const char *other)
{
    for (; *one != '\0' && *other != '\0'; one++, other++) {
        bool slashes = (*one == '/' || *one == '\\') && (*other == '/' || *other == '\\');
        if (*one != *other && !slashes) return false;
    }
    return *one == *other;
}

// The library a child would find first: env(TCL_LIBRARY), worded as the
// child takes it, where it names the main interpreter's tcl_library; NULL
// otherwise, and then Tcl searches as it always does. Without a usable
// init.tcl there, the child is made again by Tcl's own search, which then
// reports what it could not find.
static const Library *known_library(Tcl_Interp *parent)
{
    Tcl_Obj *main_library = Tcl_GetVar2Ex(parent, "tcl_library", NULL, TCL_GLOBAL_ONLY);
    const char *environment = Tcl_GetVar2(parent, "env", "TCL_LIBRARY", TCL_GLOBAL_ONLY);
    Tcl_ResetResult(parent);
    if (main_library == NULL || environment == NULL ||
        !same_but_slashes(environment, Tcl_GetString(main_library))) {
        return NULL;
    }
    Library *library = (Library *)Tcl_GetAssocData(parent, LibraryKey, NULL);
    if (library == NULL || strcmp(Tcl_GetString(library->directory), environment) != 0) {
        Tcl_Obj *directory = Tcl_NewStringObj(environment, -1);
        Tcl_IncrRefCount(directory);
        Tcl_Obj *name = Tcl_NewStringObj("init.tcl", -1);
        Tcl_Obj *init_file = Tcl_FSJoinToPath(directory, 1, &name);
        Tcl_IncrRefCount(init_file);
        if (library == NULL) {
            library = (Library *)Tcl_Alloc(sizeof *library);
            library->source = Tcl_NewStringObj("source", -1);
            Tcl_IncrRefCount(library->source);
        } else {
            Tcl_DecrRefCount(library->directory);
            Tcl_DecrRefCount(library->init_file);
        }
        library->directory = directory;
        library->init_file = init_file;
        Tcl_SetAssocData(parent, LibraryKey, forget_library, library);
    }
    return library;
}

static int create(Tcl_Interp *parent, Tcl_Obj *path)
{
    Tcl_Obj *words[] = { Tcl_NewStringObj("interp", -1), Tcl_NewStringObj("create", -1), path };
    for (Tcl_Obj *word : words) Tcl_IncrRefCount(word);
    int code = Tcl_EvalObjv(parent, 3, words, TCL_EVAL_GLOBAL);
    for (Tcl_Obj *word : words) Tcl_DecrRefCount(word);
    return code;
}

// What Tcl's tclInit does once it has found the library: tcl_library set,
// init.tcl sourced at the global level, tclDefaultLibrary gone.
static bool initialise(Tcl_Interp *child, const Library *library)
{
    Tcl_ObjSetVar2(child, Tcl_NewStringObj("tcl_library", -1), NULL, library->directory, TCL_GLOBAL_ONLY);
    Tcl_Obj *words[] = { library->source, library->init_file };
    if (Tcl_EvalObjv(child, 2, words, TCL_EVAL_GLOBAL) != TCL_OK) return false;
    Tcl_UnsetVar(child, "tclDefaultLibrary", TCL_GLOBAL_ONLY);
    Tcl_ResetResult(child);
    return true;
}

int interp_create_child(Tcl_Interp *parent, Tcl_Obj *path)
{
    SetPreInitFn *set_pre_init = pre_init_setter();
    const Library *library = set_pre_init != NULL ? known_library(parent) : NULL;
    if (library == NULL) return create(parent, path);
    const char *before = set_pre_init(DeferredInit);
    if (before != NULL) {
        // The embedding has a start-up script of its own: Tcl's way, untouched.
        set_pre_init(before);
        return create(parent, path);
    }
    Tcl_IncrRefCount(path);
    int code = create(parent, path);
    set_pre_init(NULL);
    if (code == TCL_OK) {
        Tcl_Interp *child = Tcl_GetSlave(parent, Tcl_GetString(path));
        if (child == NULL || !initialise(child, library)) {
            // Tcl's own search decides.
            Tcl_Obj *words[] = { Tcl_NewStringObj("interp", -1), Tcl_NewStringObj("delete", -1), path };
            for (Tcl_Obj *word : words) Tcl_IncrRefCount(word);
            Tcl_EvalObjv(parent, 3, words, TCL_EVAL_GLOBAL);
            for (Tcl_Obj *word : words) Tcl_DecrRefCount(word);
            code = create(parent, path);
        }
    }
    Tcl_DecrRefCount(path);
    return code;
}
