# Checks that the plugin exports exactly its two entry points and that the
# plugin and its Tcl/Tk runtime import nothing but Windows' own DLLs. Wine
# ships a zlib1.dll of its own, so only the import lists can show that the
# runtime does not need one.
cmake_minimum_required(VERSION 3.20)
set(system_dlls advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll
    msvcrt.dll netapi32.dll ole32.dll oleaut32.dll shell32.dll user32.dll userenv.dll ws2_32.dll)
set(plugin_dlls kernel32.dll user32.dll gdi32.dll shell32.dll msvcrt.dll)

function(imports_of file out)
    execute_process(COMMAND ${OBJDUMP} -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "objdump failed on ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
    set(names "")
    foreach(line ${lines})
        string(REPLACE "DLL Name: " "" name "${line}")
        string(TOLOWER "${name}" name)
        list(APPEND names "${name}")
    endforeach()
    set(${out} "${names}" PARENT_SCOPE)
    set(${out}_dump "${dump}" PARENT_SCOPE)
endfunction()

function(expect_only file allowed)
    imports_of("${file}" names)
    foreach(name ${names})
        if(NOT name IN_LIST allowed)
            message(FATAL_ERROR "${file} imports ${name}, which is not a Windows system DLL it may use")
        endif()
    endforeach()
    message(STATUS "${file}: ${names}")
endfunction()

expect_only("${DIST}/Tobrisk.dll" "${plugin_dlls}")
expect_only("${DIST}/bin/tcl84t.dll" "${system_dlls}")
expect_only("${DIST}/bin/tk86.dll" "${system_dlls}")

imports_of("${DIST}/Tobrisk.dll" plugin)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t\\[ *[0-9]+\\] [^\n]*\n)+" table "${plugin_dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_@0-9]+" exports "${table}")
string(REGEX REPLACE "\\[ *[0-9]+\\] " "" exports "${exports}")
if(NOT exports STREQUAL "plugin_main;plugin_version")
    message(FATAL_ERROR "Tobrisk.dll exports '${exports}', not exactly plugin_main and plugin_version")
endif()
message(STATUS "Tobrisk.dll exports ${exports}")
message(STATUS "1 passed, 0 failed")
