/* Stands in for broken Tcl libraries. Built twice: without NO_INTERP it
   lacks Tcl_CreateInterp; with NO_INTERP it has a Tcl_CreateInterp that
   makes no interpreter, and no Tcl_FindExecutable. */
#ifdef NO_INTERP
__declspec(dllexport) void *Tcl_CreateInterp(void)
{
    return 0;
}
#else
__declspec(dllexport) void Tcl_FindExecutable(const char *name)
{
    (void)name;
}
#endif
