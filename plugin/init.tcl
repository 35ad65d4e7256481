# The plugin's start-up script. Tobrisk sources it at "load" and then calls
# ::tobrisk::startup; at "stop" it calls ::tobrisk::shutdown.
#
# Every *.tcl file of the folder "scripts" beside the plugin is a script of
# its own, loaded in name order (letter case aside), read as UTF-8, each in
# a child interpreter of its own under the supervisor of
# lib/tobrisk/supervisor.tcl. A script that says "# tobrisk: main" in its
# first lines is sourced in this, the main, interpreter instead: a library
# that other scripts share. The environment variable TOBRISK_SCRIPTS names
# another folder to take the scripts from. The scripts of the user's own
# folder, Tobrisk\scripts under the messenger's config directory, load
# beside them (lib/tobrisk/folders.tcl).
#
# A script registers what it wants done when the plugin starts and stops:
#     ::tobrisk::on_start {vellumar eventsConnect ... }
#     ::tobrisk::on_stop {vellumar eventsDisconnect $::myscript::id}
# Start scripts run in the order they were registered, stop scripts in the
# reverse order, each at the global level of the script's interpreter.

namespace eval ::tobrisk {
    variable here [file dirname [file normalize [info script]]]
    variable scripts_dir [file join $here scripts]
    if {[info exists ::env(TOBRISK_SCRIPTS)] && $::env(TOBRISK_SCRIPTS) ne ""} {
        set scripts_dir $::env(TOBRISK_SCRIPTS)
    }
    variable start_hooks {}
    variable stop_hooks {}
    variable loading ""
    variable started 0
}

# Shows a failure the way the plugin shows its own.
proc ::tobrisk::report {subject message} {
    tobrisk messagebox $message "Tobrisk Error ($subject)" 0
}

# Errors of the main interpreter's scripts that run later from the event
# loop (an `after` script, for one) go to a `bgerror` procedure that a
# script defined, as in Tcl; without one they are shown like the others
# instead of in Tk's error dialog.
proc ::tobrisk::background_error {message options} {
    if {[::tobrisk::own_bgerror]} { tailcall ::tcl::Bgerror $message $options }
    report background $message
}
interp bgerror {} ::tobrisk::background_error

# Runs a start or stop script of the main interpreter at the global level;
# a failure is shown with the name of the script that registered it.
proc ::tobrisk::run_hook {hook when} {
    lassign $hook owner script
    if {[catch {uplevel #0 $script} message]} {
        set subject [expr {$owner eq "" ? $when : "$owner $when"}]
        report $subject $message
    }
}

# Registers SCRIPT to run when the plugin starts; once it has started, the
# script runs at once.
proc ::tobrisk::on_start {script} {
    variable start_hooks
    variable loading
    variable started
    set hook [::list $loading $script]
    lappend start_hooks $hook
    if {$started} {
        run_hook $hook on_start
    }
}

# Registers SCRIPT to run when the plugin stops.
proc ::tobrisk::on_stop {script} {
    variable stop_hooks
    variable loading
    lappend stop_hooks [::list $loading $script]
}

# Libraries of the main interpreter start first and stop last.
proc ::tobrisk::startup {} {
    variable start_hooks
    variable started 1
    foreach hook $start_hooks {
        run_hook $hook on_start
    }
    ::tobrisk::sv::startup
}

proc ::tobrisk::shutdown {} {
    variable stop_hooks
    ::tobrisk::sv::shutdown
    foreach hook [lreverse $stop_hooks] {
        run_hook $hook on_stop
    }
}

# The plugin's page in the messenger's preferences holds the script
# manager: the plugin calls this with "made" and a window inside the page
# once the page exists, and with "gone" before that window goes. The result
# says whether the window was used.
proc ::tobrisk::page {what window} {
    ::tobrisk::sv::read_part manager.tcl
    switch -- $what {
        made { ::tobrisk::manager::embed $window }
        gone { ::tobrisk::manager::unembed $window }
        default { return 0 }
    }
    return 1
}

source -encoding utf-8 [file join $::tobrisk::here lib tobrisk supervisor.tcl]
::tobrisk::sv::configure $::tobrisk::scripts_dir

# The command `console` (lib/console): tkcon itself loads when a console
# first opens.
package require tobrisk::console

::tobrisk::sv::load_all
