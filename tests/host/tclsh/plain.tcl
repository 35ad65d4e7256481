# A script written for tclsh, with nothing of Tobrisk in it.
fconfigure stdout -buffering line
proc bgerror {message} {
    puts stderr "background: $message"
    set ::caught $message
}
set ticks 0
proc tick {} {
    puts "tick [incr ::ticks]"
    if {$::ticks < 3} {
        after 10 tick
    } else {
        after 0 {error "after three ticks"}
    }
}
after 10 tick
vwait ::caught
puts "done after $ticks ticks, [llength [after info]] timers left"

# Packages from Tcl's own library, and a safe interpreter of the Safe Base.
set saved $auto_path
set auto_path [info library]
package require opt 0.4.8
set auto_path $saved
safe::interpCreate sandbox
puts "sandbox: [sandbox eval {expr {6 * 7}}]"
safe::interpDelete sandbox
