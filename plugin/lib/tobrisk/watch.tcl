# Who hears of a script's changes: the supervisor calls `changed NAME`
# whenever a script's state, version, strikes or last error changes, or it
# is installed, updated or removed. The commands registered with
#     ::tobrisk::watch COMMAND        (::tobrisk::watch COMMAND off: no more)
# are called with NAME from the event loop, once per name however many
# changes came together. Without a watcher a change costs one look at a list.

namespace eval ::tobrisk::sv {
    variable watchers {}        ;# command prefixes
    variable changed_names {}   ;# names changed since the watchers last heard
}

proc ::tobrisk::sv::changed {name} {
    variable watchers
    variable changed_names
    if {[llength $watchers] == 0} return
    if {[llength $changed_names] == 0} { after idle ::tobrisk::sv::tell_watchers }
    if {$name ni $changed_names} { lappend changed_names $name }
}

proc ::tobrisk::sv::tell_watchers {} {
    variable watchers
    variable changed_names
    set names $changed_names
    set changed_names {}
    foreach command $watchers {
        foreach name $names {
            # A watcher that went on the way hears no more.
            if {$command ni $watchers} break
            if {[catch {uplevel #0 [linsert $command end $name]} message]} {
                log_write supervisor error "watcher $command: $message\n"
            }
        }
    }
}

proc ::tobrisk::watch {command {how on}} {
    namespace upvar ::tobrisk::sv watchers watchers
    switch -- $how {
        on { if {$command ni $watchers} { lappend watchers $command } }
        off { set watchers [lsearch -all -inline -not -exact $watchers $command] }
        default { return -code error "expected on or off but got \"$how\"" }
    }
    return
}
