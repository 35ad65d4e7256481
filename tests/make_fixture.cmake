# Makes a plugin folder for one test program from the assembled plugin
# folder. KIND says which runtime it gets:
#   full      the whole runtime (the tests write init.tcl themselves)
#   dist      the assembled folder as it is, its init.tcl and scripts too
#   none      Tobrisk.dll alone
#   nocreate  a bin/tcl84t.dll that exports no Tcl_CreateInterp
#   nointerp  a bin/tcl84t.dll whose Tcl_CreateInterp makes no interpreter
#   emptylib  Tcl's DLL with an empty lib/tcl8.4
#   notk      Tcl complete, Tk missing
# LIBRARY, when given, is another build of the plugin to put in the place
# of the assembled folder's.
# Usage: cmake -DDIST=... -DFIXTURE=... -DKIND=... [-DSTANDIN=... -DSTANDIN_NOINTERP=...] [-DLIBRARY=...]
#              -P make_fixture.cmake
file(REMOVE_RECURSE "${FIXTURE}")
file(MAKE_DIRECTORY "${FIXTURE}")
if(LIBRARY)
    file(COPY_FILE "${LIBRARY}" "${FIXTURE}/Tobrisk.dll")
else()
    file(COPY "${DIST}/Tobrisk.dll" DESTINATION "${FIXTURE}")
endif()
if(KIND STREQUAL "full")
    file(COPY "${DIST}/bin" "${DIST}/lib" DESTINATION "${FIXTURE}")
elseif(KIND STREQUAL "dist")
    file(COPY "${DIST}/" DESTINATION "${FIXTURE}")
elseif(KIND STREQUAL "nocreate")
    file(MAKE_DIRECTORY "${FIXTURE}/bin")
    file(COPY_FILE "${STANDIN}" "${FIXTURE}/bin/tcl84t.dll")
elseif(KIND STREQUAL "nointerp")
    file(MAKE_DIRECTORY "${FIXTURE}/bin")
    file(COPY_FILE "${STANDIN_NOINTERP}" "${FIXTURE}/bin/tcl84t.dll")
elseif(KIND STREQUAL "emptylib")
    file(COPY "${DIST}/bin" DESTINATION "${FIXTURE}")
    file(MAKE_DIRECTORY "${FIXTURE}/lib/tcl8.4")
elseif(KIND STREQUAL "notk")
    file(MAKE_DIRECTORY "${FIXTURE}/bin" "${FIXTURE}/lib")
    file(COPY_FILE "${DIST}/bin/tcl84t.dll" "${FIXTURE}/bin/tcl84t.dll")
    file(COPY "${DIST}/lib/tcl8.4" "${DIST}/lib/tcl8" DESTINATION "${FIXTURE}/lib")
elseif(NOT KIND STREQUAL "none")
    message(FATAL_ERROR "unknown fixture kind ${KIND}")
endif()
