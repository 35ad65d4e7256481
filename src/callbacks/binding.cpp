#include <string.h>

#include "../callbacks.h"
#include "../interp.h"

CallbackBinding *callback_binding_new(Tcl_Interp *interp, const char *text)
{
    CallbackBinding *binding = (CallbackBinding *)Tcl_Alloc(sizeof *binding);
    binding->interp = interp;
    binding->text = text != NULL ? _strdup(text) : NULL;
    return binding;
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
