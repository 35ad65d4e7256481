/* Stands in for a Tcl library that lacks Tcl_CreateInterp. */
__declspec(dllexport) void Tcl_FindExecutable(const char *name)
{
    (void)name;
}
