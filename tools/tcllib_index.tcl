# Writes tcllib's package index as one file of `package ifneeded` lines.
# Usage: tclsh8.6 tcllib_index.tcl DIR    (DIR: tcllib's folder)
#
# On each `package require` of a package that it does not know yet (at the
# plugin's start, and in a script the first time it requires anything), Tcl
# reads the index of every folder in auto_path. tcllib's own index only adds
# its folder to auto_path, so that each such scan read its 130 module
# indexes too. Here they are read once: each module's index is run with
# `dir` set to a stand-in name, and every package it declares becomes one
# line of a table, with the real folder put in the stand-in's place when
# the table is read. The stand-in holds a space, so that every path comes out quoted as
# one word; a second reading under a name in other letters and with Tcl's
# special characters checks that the substitution gives exactly what the
# module's index would. Under another Tcl, or in a folder whose name holds
# a brace or a backslash (which are quoted in other ways), the index falls
# back to tcllib's own: its folder joins auto_path.
set root [lindex $argv 0]
set stand_in "@TCLLIB DIR@"
set check "Z:/\u0418\u0432\u0430\u043d \u65e5\u672c \U1F600/\[x\]; \$y \"z\"/lib"

# The {NAME VERSION SCRIPT} that INDEX declares when run with `dir` set to DIR.
proc declared {index dir} {
    set child [interp create]
    set ::declared {}
    interp alias $child ::record {} lappend ::declared
    $child eval {
        rename package ::_package
        proc package {option args} {
            if {$option eq "ifneeded" && [llength $args] == 3} {
                ::record $args
                return
            }
            ::_package $option {*}$args
        }
    }
    $child eval [list set dir $dir]
    $child eval [list source $index]
    interp delete $child
    return $::declared
}

set version [join [lrange [split [info tclversion] .] 0 1] .]
set out "# tcllib's package index, a line for each package (tools/tcllib_index.tcl).\n"
append out "if {!\[package vsatisfies \[package provide Tcl\] $version\] || \[regexp {\[\{\}\\\\\]} \$dir\]} {\n"
append out "    if {\$dir ni \$::auto_path} {lappend ::auto_path \$dir}\n"
append out "    return\n"
append out "}\n"
set table ""
foreach index [lsort [glob -directory $root */pkgIndex.tcl]] {
    set module [file tail [file dirname $index]]
    set lines [declared $index [file join $stand_in $module]]
    set expected [declared $index [file join $check $module]]
    if {[llength $lines] != [llength $expected]} {
        error "$index declares other packages in another folder"
    }
    foreach line $lines other $expected {
        lassign $line name version script
        if {[string map [list $stand_in $check] $script] ne [lindex $other 2]} {
            error "$index: the script of $name $version does not take the folder as one word: $script"
        }
        append table "    " [list $name $version $script] \n
    }
}
append out "apply {{dir} {\n"
append out "    set map \[list [list $stand_in] \$dir\]\n"
append out "    foreach {name version script} {\n$table    } {\n"
append out "        package ifneeded \$name \$version \[string map \$map \$script\]\n"
append out "    }\n"
append out "}} \$dir\n"
set channel [open [file join $root pkgIndex.tcl] w]
puts -nonewline $channel $out
close $channel
