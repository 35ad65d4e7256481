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
