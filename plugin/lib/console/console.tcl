# The console: tkcon, run in the plugin's own process and interpreter, and
# attached either to the main interpreter or to one script's interpreter.
#
#     console         opens it on the main interpreter
#     console NAME    opens it on the interpreter of the script NAME
#
# Its window only hides when closed, so the plugin runs on. Its history is
# kept as UTF-8 in the messenger's config directory. What scripts print
# reaches it through the script supervisor's output hooks, where there are
# any.

package require Tk

namespace eval ::tobrisk::console {
    # The number of commands kept in the history file.
    variable history_size 200
    # The script attached to, or "" for the main interpreter.
    variable attached ""
}

proc ::tobrisk::console::history_file {} {
    file join [tobrisk config_directory] tkcon-history.tcl
}

# The interpreter of a script, through the script supervisor.
proc ::tobrisk::console::script_interp {name} {
    if {[info commands ::tobrisk::interp] eq ""} {
        return -code error "no script \"$name\": scripts have no interpreters of their own here"
    }
    if {[catch {::tobrisk::interp $name} path] || $path eq "" || ![interp exists $path]} {
        return -code error "no script \"$name\""
    }
    return $path
}

proc ::tobrisk::console::open {{name ""}} {
    variable attached
    set path [expr {$name eq "" ? "" : [script_interp $name]}]
    # A new console starts on the main interpreter with a prompt of its own.
    set current [expr {[winfo exists .tkcon] ? $attached : ""}]
    if {![winfo exists .tkcon]} {
        create
    }
    if {$name ne $current} {
        ::tkcon::Attach $path
        ::tkcon::Prompt \n
    }
    set attached $name
    tkcon title [expr {$name eq "" ? "Tobrisk console" : "Tobrisk console: $name"}]
    tkcon show
    return
}

# Loads tkcon into this interpreter and makes its window, hidden.
proc ::tobrisk::console::create {} {
    namespace eval ::tkcon {}
    # In-process, in a toplevel of its own, hidden rather than destroyed
    # when closed.
    set ::tkcon::OPT(exec) ""
    set ::tkcon::PRIV(root) .tkcon
    set ::tkcon::PRIV(showOnStartup) 0
    set ::tkcon::PRIV(protocol) ::tobrisk::console::close
    # The plugin's exit guard stays as it is; the history is read and
    # written here, as UTF-8, instead of on exit.
    set ::tkcon::OPT(overrideexit) 0
    set ::tkcon::OPT(usehistory) 0
    set ::tkcon::PRIV(rcfile) [file join [tobrisk config_directory] tkcon.cfg]
    set ::tkcon::PRIV(histfile) [history_file]
    # tkcon makes the interpreter interactive; scripts must not start to
    # run programs for unknown commands because a console was opened.
    set interactive $::tcl_interactive
    package require tkcon
    ::tkcon::Init
    set ::tcl_interactive $interactive
    load_history
    if {[info exists ::tobrisk::output_hooks]
            && [lsearch -exact $::tobrisk::output_hooks ::tobrisk::console::output] < 0} {
        lappend ::tobrisk::output_hooks ::tobrisk::console::output
    }
    # At "stop" the history is saved and the window goes before Tk does: a
    # console window still there when the interpreter is deleted keeps Tk's
    # window class registered, and the next "load" could not start Tk.
    trace add execution ::tobrisk::shutdown leave ::tobrisk::console::stop
}

proc ::tobrisk::console::stop {args} {
    trace remove execution ::tobrisk::shutdown leave ::tobrisk::console::stop
    save_history
    destroy .tkcon
}

proc ::tobrisk::console::close {} {
    save_history
    wm withdraw .tkcon
}

# Script output: a script's own console shows it as it is, the console of
# the main interpreter with the script's name in front.
proc ::tobrisk::console::output {name channel text} {
    variable attached
    if {![winfo exists .tkcon]} return
    if {$attached ne "" && $attached ne $name} return
    if {$attached eq ""} {
        set text "$name: $text"
    }
    set tag [expr {$channel eq "stdout" ? "stdout" : "stderr"}]
    $::tkcon::PRIV(console) insert output $text $tag
    $::tkcon::PRIV(console) see insert
}

proc ::tobrisk::console::load_history {} {
    set file [history_file]
    if {![file readable $file]} return
    set channel [::open $file r]
    fconfigure $channel -encoding utf-8
    set commands [read $channel]
    ::close $channel
    if {[catch {llength $commands}]} return
    foreach command $commands {
        ::tkcon::EvalSlave history add $command
    }
    set ::tkcon::PRIV(event) [::tkcon::EvalSlave history nextid]
}

proc ::tobrisk::console::save_history {} {
    variable history_size
    if {![winfo exists .tkcon]} return
    set last [expr {[::tkcon::EvalSlave history nextid] - 1}]
    set commands {}
    for {set id [expr {max(1, $last - $history_size + 1)}]} {$id <= $last} {incr id} {
        if {![catch {::tkcon::EvalSlave history event $id} command] && $command ne ""} {
            lappend commands $command
        }
    }
    set channel [::open [history_file] w]
    fconfigure $channel -encoding utf-8
    foreach command $commands {
        puts $channel [list $command]
    }
    ::close $channel
}

proc ::console {{name ""}} {
    ::tobrisk::console::open $name
}

package provide tobrisk::console 1.0
