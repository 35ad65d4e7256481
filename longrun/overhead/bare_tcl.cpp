#include "bare_tcl.h"

#include <tcl.h>

#include "measure.h"

namespace {

using CreateInterpFn = Tcl_Interp *(*)(void);
using FindExecutableFn = void (*)(const char *);

Tcl_Interp *g_attached = nullptr;

template <typename Entry> Entry entry_of(HMODULE library, const char *name)
{
    return (Entry)(void *)GetProcAddress(library, name);
}

bool fail(std::string &error, const std::string &why)
{
    error = why;
    return false;
}

} // namespace

bool bare_start(const std::string &folder, BareTcl &bare, std::string &error)
{
    bare = {nullptr, nullptr};
    std::string file_name = folder + "\\bin\\tcl84t.dll";
    bare.library = LoadLibraryA(file_name.c_str());
    if (bare.library == nullptr) return fail(error, "cannot load " + file_name);
    auto find_executable = entry_of<FindExecutableFn>(bare.library, "Tcl_FindExecutable");
    auto create_interp = entry_of<CreateInterpFn>(bare.library, "Tcl_CreateInterp");
    if (find_executable == nullptr || create_interp == nullptr) return fail(error, "no Tcl entries");
    find_executable(file_name.c_str());
    // Without stubs no Tcl call is possible: such an interpreter is only
    // forgotten.
    Tcl_Interp *interp = create_interp();
    if (interp == nullptr || Tcl_InitStubs(interp, "8.4", 0) == nullptr) return fail(error, "no interpreter");
    bare.interp = g_attached = interp;
    std::string library_directory = folder + "\\lib\\tcl8.4";
    Tcl_SetVar(bare.interp, "tcl_library", library_directory.c_str(), TCL_GLOBAL_ONLY);
    if (Tcl_Init(bare.interp) != TCL_OK) return fail(error, Tcl_GetStringResult(bare.interp));
    if (Tcl_PkgRequire(bare.interp, "Tk", "8.4", 0) == nullptr) {
        return fail(error, Tcl_GetStringResult(bare.interp));
    }
    Tcl_Eval(bare.interp, "wm withdraw .");
    return true;
}

// As the plugin stops: the interpreter ends and the runtime stays loaded,
// since Tcl cannot start again in this process once it has been finalised.
void bare_stop(BareTcl &bare)
{
    if (bare.interp != nullptr) Tcl_DeleteInterp(bare.interp);
    bare = {nullptr, nullptr};
    g_attached = nullptr;
}

bool stubs_attach(Tcl_Interp *interp)
{
    g_attached = interp;
    return interp != nullptr && Tcl_InitStubs(interp, "8.4", 0) != nullptr;
}

int stubs_eval(const char *script) { return Tcl_Eval(g_attached, script); }

std::string stubs_result() { return Tcl_GetStringResult(g_attached); }

void stubs_set_element(const char *array, const char *element, const char *value)
{
    Tcl_SetVar2(g_attached, array, element, value, TCL_GLOBAL_ONLY);
}

void stubs_unset(const char *name) { Tcl_UnsetVar2(g_attached, name, nullptr, TCL_GLOBAL_ONLY); }

double stubs_time_published_eval(const char *script, const ConnectionChange &change, long count)
{
    const char *const element_names[] = {"connection_id", "name", "medium", "status"};
    Tcl_Obj *array = Tcl_NewStringObj("event", -1);
    Tcl_IncrRefCount(array);
    Tcl_Obj *elements[4];
    for (int index = 0; index < 4; index++) {
        elements[index] = Tcl_NewStringObj(element_names[index], -1);
        Tcl_IncrRefCount(elements[index]);
    }
    double started = microseconds_now();
    for (long round = 0; round < count; round++) {
        Tcl_ObjSetVar2(g_attached, array, elements[0], Tcl_NewIntObj(change.cid), TCL_GLOBAL_ONLY);
        Tcl_ObjSetVar2(g_attached, array, elements[1], Tcl_NewStringObj(change.name, -1), TCL_GLOBAL_ONLY);
        Tcl_ObjSetVar2(g_attached, array, elements[2], Tcl_NewStringObj(change.medium, -1), TCL_GLOBAL_ONLY);
        Tcl_ObjSetVar2(g_attached, array, elements[3], Tcl_NewStringObj(change.status, -1), TCL_GLOBAL_ONLY);
        Tcl_Eval(g_attached, script);
        Tcl_UnsetVar2(g_attached, "event", nullptr, 0);
    }
    double each = (microseconds_now() - started) / (double)count;
    Tcl_DecrRefCount(array);
    for (Tcl_Obj *element : elements) Tcl_DecrRefCount(element);
    return each;
}
