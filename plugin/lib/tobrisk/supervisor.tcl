# The script supervisor: every script of the scripts folder runs in a child
# interpreter of its own, which this code creates, watches and deletes.
#
# What a child sees: `vellumar` and `tobrisk` (the plugin's own commands,
# given to it by ::tobrisk::_adopt: what it binds runs in the child, and
# the plugin keeps the one record of what it holds from the host), Tcl's
# `after` whose timers run under the script's name and time budget,
# stdin, stdout and stderr of its own that write to the script's log,
# background errors for its own `bgerror` or else reported, `exit`
# refused, and the commands of `child_commands` and `managing`. A script
# whose manifest has a `needs` line gets a safe interpreter with only the
# capabilities granted to it (capabilities.tcl).
# The bus's subscribe, unsubscribe, publish and call (bus.tcl) are given
# to every script.
#
# What the main interpreter gets, for the chat line and for tools:
#     ::tobrisk::list                 {NAME STATE} pairs, in load order
#     ::tobrisk::state NAME           loaded, disabled, failed, unloaded or
#                                     waiting (for the user's grant)
#     ::tobrisk::load|unload|reload|enable|disable NAME
#     ::tobrisk::interp NAME          the child interpreter's path
#     ::tobrisk::log NAME ?LINES?     the tail of the script's log
#     ::tobrisk::budget NAME ?MS?     the script's time budget per call
#     ::tobrisk::holdings NAME        what the script holds from the host
#     ::tobrisk::stats ?NAME?         what its calls cost (below)
#     ::tobrisk::output_hooks         command prefixes called with
#                                     NAME CHANNEL TEXT for every write
#     ::tobrisk::watch COMMAND ?off?  COMMAND hears NAME when a script's
#                                     state, version or last error changes
#     ::tobrisk::settings, data_dir   a script's settings and data folder
#     ::tobrisk::install, remove, available, outdated
#                                     the user's own scripts
#     ::tobrisk::capabilities, grants, grant, withdraw, refusals
#                                     what scripts may touch
#     ::tobrisk::offer COMMAND ...    a main library's commands for `shared`
#     ::tobrisk::publish, call        messages between scripts, and calls
#                                     of a script's exported commands
# (manifest.tcl, settings.tcl, folders.tcl, install.tcl,
# capabilities.tcl and bus.tcl, sourced below).
#
# Host-to-script calls (events, double-clicks, HTTP answers, timers,
# exported commands) pass through `run`, or `enter` and `leave`, which keep
# the child's time limit armed. The plugin's callbacks call `run` for the
# scripts bound in a child. Arming a Tcl time limit makes a Tcl timer,
# which costs tens of microseconds under Wine, so a limit is armed for a
# whole burst of calls and armed again only when less than three quarters
# of the budget is left: every call gets between three quarters of its
# budget and all of it.

namespace eval ::tobrisk {
    variable output_hooks {}
}

namespace eval ::tobrisk::sv {
    variable scripts_dir ""
    variable state_dir ""       ;# logs and the disabled list; "" when none
    variable order {}           ;# script names in load order
    variable started 0
    variable counter 0
    # Milliseconds per host-to-script call; the environment variable
    # TOBRISK_BUDGET_MS sets another default for a slow machine.
    variable default_budget 300
    if {[info exists ::env(TOBRISK_BUDGET_MS)] && [string is entier -strict $::env(TOBRISK_BUDGET_MS)]
            && $::env(TOBRISK_BUDGET_MS) > 0} {
        set default_budget $::env(TOBRISK_BUDGET_MS)
    }
    variable strikes_allowed 3  ;# time-outs before a script is disabled
    # Milliseconds for sourcing a script: a backstop against a runaway top
    # level, wide enough for Tk's own start-up in a new interpreter on a
    # slow machine.
    variable load_budget 20000
    variable log_lines 500      ;# lines of each log kept in memory
    variable log_file_cap 262144

    # Per script NAME, one dict in scripts(NAME), read with `get` and `has`
    # and written with `put` and `drop`:
    #     state       loaded, disabled, failed, unloaded, waiting
    #     file        its path
    #     child       its interpreter while loaded
    #     budget      its own budget, once it has one
    #     strikes     time-outs since it was loaded
#     timeouts, since, figures, slow_logged   its time accounting (below)
    #     last_error  when its last error was shown or logged
    #     last_message  that error's message
    #     manifest    what its head comments declare (manifest.tcl)
    #     refusals    calls refused for want of a capability
    variable scripts
    # Per log NAME (a script's, "main" or "supervisor").
    variable tail               ;# the log's last lines
    variable log_channel
    variable log_size
    variable partial            ;# (NAME,CHANNEL) whose last write ended mid-line

    array set scripts {}; array set tail {}; array set partial {}
    array set log_channel {}; array set log_size {}
    variable disabled {}
}

# A script's manifest and settings.
source -encoding utf-8 [file join [file dirname [info script]] manifest.tcl]
source -encoding utf-8 [file join [file dirname [info script]] settings.tcl]
source -encoding utf-8 [file join [file dirname [info script]] folders.tcl]
source -encoding utf-8 [file join [file dirname [info script]] install.tcl]
source -encoding utf-8 [file join [file dirname [info script]] capabilities.tcl]
source -encoding utf-8 [file join [file dirname [info script]] bus.tcl]

# Parts read when first used, so that a plugin that never uses them pays
# nothing for them at start-up (a file read is milliseconds under Wine):
# the script manager's window (manager.tcl) and reload on save
# (autoreload.tcl), which start-up reads only when the user turned it on.
namespace eval ::tobrisk::sv {
    variable lib_dir [file dirname [file normalize [info script]]]
    variable parts_read {}
    variable autoreload 0
}
proc ::tobrisk::sv::read_part {file} {
    variable parts_read
    variable lib_dir
    if {$file in $parts_read} return
    lappend parts_read $file
    uplevel #0 [::list source -encoding utf-8 [file join $lib_dir $file]]
}
proc ::tobrisk::manager {args} {
    ::tobrisk::sv::read_part manager.tcl
    tailcall ::tobrisk::manager {*}$args
}
proc ::tobrisk::autoreload {args} {
    ::tobrisk::sv::read_part autoreload.tcl
    tailcall ::tobrisk::autoreload {*}$args
}

# The file whose presence says that reload on save is on.
proc ::tobrisk::sv::autoreload_flag {} {
    variable state_dir
    if {$state_dir eq ""} { return "" }
    return [file join $state_dir reload-on-save]
}

proc ::tobrisk::sv::get {name key} {
    variable scripts
    return [dict get $scripts($name) $key]
}

proc ::tobrisk::sv::has {name key} {
    variable scripts
    return [expr {[info exists scripts($name)] && [dict exists $scripts($name) $key]}]
}

proc ::tobrisk::sv::put {name key value} {
    variable scripts
    dict set scripts($name) $key $value
    switch -- $key {
        state - strikes - last_error - manifest { changed $name }
    }
    return $value
}

proc ::tobrisk::sv::drop {name key} {
    variable scripts
    if {[info exists scripts($name)]} { dict unset scripts($name) $key }
}

# Each child interpreter PATH has a namespace of the same name that holds
# its state, made with it and deleted with it:
#     name          its script's name
#     depth         supervised calls into it on the stack
#     rearm         when its time limit must be armed again
#     armed         the milliseconds it was last armed with
#     start_hooks, stop_hooks
#     exports       commands made in the main interpreter
#     pending       an unload that waits for its code to return, or ""
#     sourcing      1 while its file is sourced
# What it holds from the host is the plugin's record: ::tobrisk::_holdings.

# --- Watchers ------------------------------------------------------------------
#
# `put` calls `changed NAME` when a script's state, version, strikes or last
# error change, and so does the removal of a script. The commands registered
# with ::tobrisk::watch are called with NAME from the event loop, once per
# name however many changes came together. Without a watcher a change costs
# one look at a list.

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

# --- Setting up -------------------------------------------------------------

proc ::tobrisk::sv::configure {dir} {
    variable scripts_dir $dir
    main_standard_output
    variable state_dir
    if {[catch {tobrisk config_directory} config] || $config eq ""} return
    set candidate [file join $config Tobrisk]
    if {![catch {file mkdir [file join $candidate logs] [file join $candidate scripts]}]} {
        set state_dir $candidate
    }
    read_disabled
    if {[file exists [autoreload_flag]]} {
        read_part autoreload.tcl
        autoreload_resume
    }
    read_grants
}

proc ::tobrisk::sv::read_disabled {} {
    variable state_dir
    variable disabled {}
    if {$state_dir eq ""} return
    set path [file join $state_dir disabled.txt]
    if {[catch {open $path r} channel]} return
    fconfigure $channel -encoding utf-8
    foreach line [split [read $channel] \n] {
        set line [string trim $line]
        if {$line ne ""} { lappend disabled $line }
    }
    close $channel
}

proc ::tobrisk::sv::write_disabled {} {
    variable state_dir
    variable disabled
    if {$state_dir eq ""} return
    set path [file join $state_dir disabled.txt]
    set text [expr {[llength $disabled] > 0 ? "[join $disabled \n]\n" : ""}]
    if {[catch {write_durable $path $text} message]} {
        log_write supervisor error "cannot write $path: $message\n"
    }
}

# The scripts of the folder and of the user's own (folders.tcl), name ->
# file, in name order (letter case aside); the user's file of a name wins.
proc ::tobrisk::sv::scan {} {
    variable scripts_dir
    set files {}
    foreach dir [list $scripts_dir [user_scripts_dir]] {
        if {$dir eq ""} continue
        foreach path [glob -nocomplain -types f -directory $dir *.tcl] {
            dict set files [file rootname [file tail $path]] $path
        }
    }
    set found {}
    foreach name [lsort -nocase [dict keys $files]] {
        dict set found $name [dict get $files $name]
    }
    return $found
}

proc ::tobrisk::sv::load_all {} {
    variable order
    variable disabled
    dict for {name path} [scan] {
        if {$name ni $order} { lappend order $name }
        put $name file $path
        if {$name in $disabled} {
            put $name state disabled
        } else {
            load_script $name
        }
    }
}

# --- Main-interpreter scripts -------------------------------------------------

proc ::tobrisk::sv::load_main {name} {
    set ::tobrisk::loading scripts/[file tail [get $name file]]
    set before [all_commands ::]
    set code [catch {uplevel #0 [list source -encoding utf-8 [get $name file]]} message options]
    set ::tobrisk::loading ""
    # What the library made, its scripts may share.
    foreach command [all_commands ::] {
        if {![dict exists $before $command]} { ::tobrisk::offer $command }
    }
    if {$code == 1} {
        put $name state failed
        failed $name load $message [dict get $options -errorinfo]
    } else {
        put $name state loaded
    }
}

# The commands of namespace NS and those below it, as a dict of names.
proc ::tobrisk::sv::all_commands {ns} {
    set found {}
    foreach command [info commands [string trimright $ns :]::*] { dict set found $command {} }
    foreach child [namespace children $ns] {
        if {$child in {::tobrisk ::tcl ::safe ::oo}} continue
        set found [dict merge $found [all_commands $child]]
    }
    return $found
}

# Commands of the main interpreter that scripts may make their own with
# ::tobrisk::shared: those a `# tobrisk: main` library made while it was
# sourced, and those it offers later with ::tobrisk::offer.
namespace eval ::tobrisk::sv { variable offered {} }
proc ::tobrisk::offer {args} {
    foreach command $args {
        set qualified [expr {[string match ::* $command] ? $command : "::$command"}]
        dict set ::tobrisk::sv::offered $qualified {}
    }
}

# --- Children -----------------------------------------------------------------

proc ::tobrisk::sv::load_child {name} {
    variable started
    variable load_budget
    if {![has $name budget]} { put $name budget [set [namespace current]::default_budget] }
    put $name strikes 0
    reset_figures $name
    put $name refusals 0
    set capabilities ""
    set manifest [get $name manifest]
    if {[restricted $manifest]} {
        set capabilities [list restricted {*}[lindex [granted $name $manifest] 0]]
    }
    set path [new_child $name $capabilities]
    put $name child $path
    put $name state loaded
    arm $path [clock milliseconds] $load_budget
    set ${path}::sourcing 1
    set code [run $path load [list source -encoding utf-8 [get $name file]]]
    if {[namespace exists $path]} { set ${path}::sourcing 0 }
    if {$code != 0} {
        put $name state failed
        release $path 1
        return 0
    }
    # A script may unload itself while it is sourced.
    if {![interp exists $path]} { return 1 }
    set ${path}::rearm 0
    if {$started} { run_hooks $path on_start }
    return 1
}

proc ::tobrisk::sv::new_child {name {capabilities ""}} {
    variable counter
    set path ::tobrisk::child::[regsub -all {[^A-Za-z0-9_]} $name _]_[incr counter]
    namespace eval ::tobrisk::child {}
    namespace eval $path [list variable name $name]
    if {$capabilities ne ""} {
        new_restricted $path $name [lrange $capabilities 1 end]
    } elseif {[info commands ::tobrisk::_interp] ne ""} {
        # The plugin's _interp is `interp create` without Tcl's second
        # search for its own library (a millisecond and more under Wine).
        ::tobrisk::_interp $path
    } else {
        interp create $path
    }
    # While a limit is armed, Tcl reads the clock every tenth command by
    # default, which under Wine made each command of a script 0.05 us
    # dearer; every hundredth still stops a runaway loop within
    # microseconds of its deadline.
    interp limit $path time -granularity 100
    $path eval {namespace eval ::tobrisk {}}
    namespace eval $path {
        variable depth 0
        variable rearm 0
        variable armed 0
        variable start_hooks {}
        variable stop_hooks {}
        variable exports {}
        variable pending ""
        variable sourcing 0
    }
    furnish $path $name
    furnish_settings $path $name
    furnish_install $path
    return $path
}

# The child's commands: the two of the plugin and its `after`
# (::tobrisk::_adopt), the ones of ::tobrisk, standard channels of its
# own (::tobrisk::_standard_channels: what goes to stdout or stderr
# reaches ::tobrisk::_output CHANNEL TEXT) and `exit` refused. Each alias
# carries the child's own path: nothing here reaches another script or the
# supervisor's own commands. A restricted child manages other scripts
# (`managing`) only with the capability scripts.
proc ::tobrisk::sv::furnish {path name} {
    variable managing
    set sv ::tobrisk::sv
    ::tobrisk::_adopt $path $name
    set full [expr {![info exists ${path}::capabilities]}]
    if {!$full} { restrict_services $path }
    foreach {command target} [child_commands] {
        interp alias $path ::tobrisk::$command {} ${sv}::$target $path
    }
    foreach command $managing {
        if {$full || [allows $path scripts]} {
            interp alias $path ::tobrisk::$command {} ${sv}::from_child $path ::tobrisk::$command
        } else {
            interp alias $path ::tobrisk::$command {} ${sv}::refuse $path scripts ::tobrisk::$command
        }
    }
    # What calls cost is no one's secret: every script may read it.
    interp alias $path ::tobrisk::stats {} ${sv}::from_child $path ::tobrisk::stats
    $path eval {
        catch {rename ::exit {}}
        proc ::exit {args} { error "exit is disabled" }
        interp bgerror {} ::tobrisk::_bgerror
    }
    ::tobrisk::_standard_channels $path
    ::tobrisk::bus::furnish $path
}

# What every script's interpreter has in ::tobrisk, restricted or not: the
# name there and the supervisor's procedure that the alias calls with the
# child's path. The one list of what a script receives, besides the
# managing commands above and the settings (settings.tcl).
proc ::tobrisk::sv::child_commands {} {
    return {
        _output output  _bgerror background
        on_start on_start  on_stop on_stop  export export  budget own_budget
        shared shared  grants own_grants
    }
}

# The main interpreter gets the same channels when the process has no
# standard output of its own, as in the messenger: what /tobrisk lines and
# `# tobrisk: main` scripts print goes to the log named "main".
proc ::tobrisk::sv::main_standard_output {} {
    if {![catch {chan configure stdout}]} return
    proc ::tobrisk::_output {channel text} { ::tobrisk::sv::log_write main $channel $text }
    ::tobrisk::_standard_channels {}
}

# --- Supervised calls -----------------------------------------------------------

# Evaluates SCRIPT in child PATH as a host-to-script call named WHAT, which
# counts as a call of KIND (by default the first word of WHAT, if that
# names a kind: "load", "message TOPIC");
# returns 0, or 1 after reporting a failure. A `return` at the top level
# counts as success. The plugin's callbacks do the same without a
# procedure on the way; here go sourcing, start and stop scripts.
proc ::tobrisk::sv::run {path what script {kind ""}} {
    namespace upvar $path depth depth rearm rearm pending pending name name
    incr depth
    set now [clock milliseconds]
    if {$now >= $rearm} { arm $path $now }
    set started [clock microseconds]
    set code [catch {$path eval $script} result options]
    if {$kind eq ""} { set kind [lindex [split $what] 0] }
    ::tobrisk::_account $path $kind [expr {[clock microseconds] - $started}] $script
    if {[incr depth -1] == 0 && $pending ne ""} { run_pending $path }
    if {$code == 0 || $code == 2} { return 0 }
    return [outcome $name $path $what $code $result $options]
}

# Reports a failed call; its code: 0 for success (also a `return`), 1 for
# a failure (also a `break` or `continue` that has no loop to end).
proc ::tobrisk::sv::outcome {name path what code result options} {
    switch -- $code {
        0 - 2 { return 0 }
        1 {
            fail $name $path $what $result [dict get $options -errorinfo] [dict get $options -errorcode]
        }
        default {
            set word [expr {$code == 3 ? "break" : $code == 4 ? "continue" : "return -code $code"}]
            set message "invoked \"$word\" outside of a loop"
            fail $name $path $what $message $message {}
        }
    }
    return 1
}

proc ::tobrisk::sv::enter {path} {
    namespace upvar $path depth depth rearm rearm
    incr depth
    set now [clock milliseconds]
    if {$now >= $rearm} { arm $path $now }
}

proc ::tobrisk::sv::leave {path} {
    if {![namespace exists $path]} return
    namespace upvar $path depth depth pending pending
    if {[incr depth -1] == 0 && $pending ne ""} { run_pending $path }
}

# The unload or reload that waited for the child's code to return.
proc ::tobrisk::sv::run_pending {path} {
    namespace upvar $path pending pending
    set after $pending
    set pending ""
    uplevel #0 $after
}

proc ::tobrisk::sv::arm {path now {allowed ""}} {
    namespace upvar $path rearm rearm name name armed armed
    if {$allowed eq ""} { set allowed [get $name budget] }
    set armed $allowed
    set deadline [expr {$now + $allowed}]
    interp limit $path time -seconds [expr {$deadline / 1000}] -milliseconds [expr {$deadline % 1000}] \
        -command [list ::tobrisk::sv::deadline $path]
    set rearm [expr {$now + $allowed / 4}]
}

# Tcl calls this when the deadline passes while the child runs or while
# the event loop waits. With none of the child's calls on the stack the
# deadline belongs to a burst that is over: the limit is lifted until the
# next call arms it again.
proc ::tobrisk::sv::deadline {path} {
    if {[namespace exists $path] && [set ${path}::depth] == 0} {
        interp limit $path time -seconds {} -milliseconds {}
        set ${path}::rearm 0
    }
}

# A failed host-to-script call: logged and shown; a time-out also counts
# as a strike, and too many strikes disable the script.
proc ::tobrisk::sv::fail {name path what message info code} {
    variable strikes_allowed
    if {[timed_out $message $code]} {
        if {[interp exists $path]} {
            interp limit $path time -seconds {} -milliseconds {}
        }
        # The budget that was armed: sourcing has one of its own.
        set allowed [get $name budget]
        if {[namespace exists $path]} {
            set ${path}::rearm 0
            set allowed [set ${path}::armed]
        }
        set message "$name took longer than its budget of $allowed ms in $what and was stopped"
        regsub {^[^\n]*} $info $message info
        count_timeout $name
        failed $name $what $message $info
        if {[put $name strikes [expr {[get $name strikes] + 1}]] >= $strikes_allowed} {
            strike_out $name
        }
        return $message
    }
    failed $name $what $message $info
    return $message
}

# A time-out keeps its error code unless a trace or a `catch` on the way
# rewrote it; its message stays at the end of the text.
proc ::tobrisk::sv::timed_out {message code} {
    return [expr {[lrange $code 0 1] eq {TCL LIMIT} || [string match "*time limit exceeded" $message]}]
}

proc ::tobrisk::sv::strike_out {name} {
    set text "$name was stopped [get $name strikes] times for running too long and is now disabled.\
              To enable it again, type in a message window:\n/tobrisk ::tobrisk::enable $name"
    log_write $name error "$text\n"
    tobrisk messagebox $text "Tobrisk Error (scripts/$name.tcl)" 0
    disable_script $name
}

# --- Errors and logs -------------------------------------------------------------

# Logs a failure of script NAME and shows it unless the script failed less
# than two seconds ago: one box per script and burst of errors.
proc ::tobrisk::sv::failed {name what message info} {
    set now [clock milliseconds]
    set quiet [expr {[has $name last_error] && $now - [get $name last_error] < 2000}]
    put $name last_error $now
    put $name last_message $message
    set info [script_frames $info]
    set text "error in $what: $info\n"
    log_write $name error $text
    if {$quiet} return
    set subject [expr {[has $name file] ? "scripts/[file tail [get $name file]]" : $name}]
    if {$what ne "load"} { append subject " $what" }
    # The box names the file as the caption does, wherever the folder lies;
    # the log keeps the full path.
    if {[has $name file]} {
        set info [string map [list [get $name file] scripts/[file tail [get $name file]]] $info]
    }
    if {[string length $info] > 2000} { set info [string range $info 0 1999]... }
    tobrisk messagebox $info "Tobrisk Error ($subject)" 0
}

# The part of an errorInfo that tells about the script: the frames the
# supervisor added on its way into the child are cut off.
proc ::tobrisk::sv::script_frames {info} {
    set cut [string length $info]
    foreach pattern {
        "\n    invoked from within\n\"source -encoding utf-8 "
        "\n    invoked from within\n\"uplevel #0 \$script\""
        "\n    invoked from within\n\"\$path eval"
        "\n    invoked from within\n\"::tobrisk::child::"
    } {
        set at [string first $pattern $info]
        if {$at >= 0 && $at < $cut} { set cut $at }
    }
    set info [string range $info 0 [expr {$cut - 1}]]
    set info [regsub {\n    \("uplevel" body line 1\)$} $info ""]
    set info [regsub {\n    \("after" script\)$} $info ""]
    # A runaway recursion leaves thousands of frames: its head and its foot
    # tell the story.
    set lines [split $info \n]
    if {[llength $lines] > 100} {
        set dropped [expr {[llength $lines] - 80}]
        set info [join [concat [lrange $lines 0 59] [list "    ... $dropped lines ..."] [lrange $lines end-19 end]] \n]
    }
    return $info
}

proc ::tobrisk::sv::output {path channel text} {
    log_write [set ${path}::name] $channel $text
}

# Appends TEXT to script NAME's log, in memory and in its file, and tells
# the output hooks.
proc ::tobrisk::sv::log_write {name channel text} {
    variable tail
    variable log_lines
    variable partial
    if {![info exists tail($name)]} { set tail($name) {} }
    # An unbuffered channel writes a line's newline apart from its text:
    # it ends the line already logged.
    set ended [info exists partial($name,$channel)]
    unset -nocomplain partial($name,$channel)
    if {[string index $text end] ne "\n"} { set partial($name,$channel) 1 }
    if {$ended && $text eq "\n"} {
        set lines {}
    } else {
        set lines [split [string trimright $text \n] \n]
    }
    if {[llength $lines] == 0} {
        foreach hook $::tobrisk::output_hooks {
            catch {uplevel #0 [linsert $hook end $name $channel $text]}
        }
        return
    }
    if {$channel ne "stdout"} {
        lset lines 0 "$channel: [lindex $lines 0]"
    }
    lappend tail($name) {*}$lines
    if {[llength $tail($name)] > $log_lines} {
        set tail($name) [lrange $tail($name) end-[expr {$log_lines - 1}] end]
    }
    log_file $name [join $lines \n]\n
    foreach hook $::tobrisk::output_hooks {
        catch {uplevel #0 [linsert $hook end $name $channel $text]}
    }
}

# The log file, cut back to an ".old" file when it outgrows its cap.
proc ::tobrisk::sv::log_file {name text} {
    variable state_dir
    variable log_channel
    variable log_size
    variable log_file_cap
    if {$state_dir eq ""} return
    set path [file join $state_dir logs $name.log]
    if {![info exists log_channel($name)]} {
        if {[catch {open $path a} channel]} return
        fconfigure $channel -encoding utf-8 -buffering line -translation crlf
        set log_channel($name) $channel
        set log_size($name) [file size $path]
    }
    puts -nonewline $log_channel($name) $text
    incr log_size($name) [string length $text]
    if {$log_size($name) > $log_file_cap} {
        close $log_channel($name)
        unset log_channel($name)
        catch {file rename -force $path $path.old}
    }
}

proc ::tobrisk::sv::close_logs {} {
    variable log_channel
    foreach name [array names log_channel] {
        catch {close $log_channel($name)}
    }
    array unset log_channel
}

# The child's background errors: a `bgerror` procedure of the script's own
# gets them as Tcl's default handler gives them (a `break` from it drops
# the errors still queued); without one, an error is reported, under
# "timer" when an `after` script raised it. A time-out is the
# supervisor's in any case.
proc ::tobrisk::sv::background {path message options} {
    set info [dict get $options -errorinfo]
    set code [dict get $options -errorcode]
    if {![timed_out $message $code] && [interp exists $path] && [own_bgerror $path]} {
        enter $path
        set result [catch {$path eval [list ::tcl::Bgerror $message $options]} message options]
        leave $path
        if {$result == 3} { return -code break }
        if {$result != 1} return
        set info [dict get $options -errorinfo]
        set code [dict get $options -errorcode]
    }
    set what [expr {[string match "*\n    (\"after\" script)" $info] ? "timer" : "background"}]
    fail [set ${path}::name] $path $what $message $info $code
}

# Whether interpreter PATH has a `bgerror` of its own: Tk's dialog, which
# its library loads on demand, is not one.
proc ::tobrisk::own_bgerror {{path {}}} {
    set origin [::interp eval $path {namespace which -command ::bgerror}]
    return [expr {$origin ne "" && [::interp eval $path [::list namespace origin $origin]] ne "::tk::dialog::error::bgerror"}]
}
interp alias {} ::tobrisk::sv::own_bgerror {} ::tobrisk::own_bgerror

# --- Hooks, exports, budget -------------------------------------------------------

proc ::tobrisk::sv::on_start {path script} {
    variable started
    namespace upvar $path start_hooks start_hooks pending pending sourcing sourcing
    lappend start_hooks $script
    if {$started && $pending eq "" && !$sourcing} {
        run $path on_start $script
    }
}

proc ::tobrisk::sv::on_stop {path script} {
    lappend ${path}::stop_hooks $script
}

proc ::tobrisk::sv::run_hooks {path when} {
    if {$when eq "on_start"} {
        set hooks [set ${path}::start_hooks]
    } else {
        set hooks [lreverse [set ${path}::stop_hooks]]
    }
    foreach script $hooks {
        if {![interp exists $path]} return
        run $path $when $script
    }
}

# Makes the child's commands callable from the main interpreter (and so
# from the chat line) under the same names, as supervised calls.
# The plugin's ::tobrisk::_export makes a command that does what `call`
# does, without a procedure on the way.
proc ::tobrisk::sv::export {path args} {
    foreach command $args {
        set qualified [expr {[string match ::* $command] ? $command : "::$command"}]
        if {[string match ::tobrisk::* $qualified] || ([namespace which -command $qualified] ne ""
                && $qualified ni [set ${path}::exports])} {
            return -code error "cannot export \"$command\": the main interpreter has a command of that name"
        }
    }
    foreach command $args {
        set qualified [expr {[string match ::* $command] ? $command : "::$command"}]
        namespace eval ::[namespace qualifiers $qualified] {}
        if {[info commands ::tobrisk::_export] ne ""} {
            ::tobrisk::_export $path $qualified $command
        } else {
            interp alias {} $qualified {} ::tobrisk::sv::call $path $command
        }
        lappend ${path}::exports $qualified
    }
}

proc ::tobrisk::sv::call {path command args} {
    set name [set ${path}::name]
    enter $path
    set code [catch {$path eval [list $command {*}$args]} result options]
    leave $path
    if {$code == 1} { tailcall call_failed $name $path $command $result $options }
    return $result
}

# An exported command of script NAME failed: a time-out counts as a
# strike, any other error is logged; the caller gets the error. The call
# may have unloaded the script.
proc ::tobrisk::sv::call_failed {name path command result options} {
    set info [dict get $options -errorinfo]
    if {[timed_out $result [dict get $options -errorcode]]} {
        set result [fail $name $path $command $result $info [dict get $options -errorcode]]
    } else {
        log_write $name error "error in $command: [script_frames $info]\n"
    }
    return -code error -errorinfo $info $result
}

# Commands of the main interpreter that a `# tobrisk: main` library
# offers (`offered`), made callable in the child; a restricted child needs
# the capability main, since they run with the main interpreter's power.
proc ::tobrisk::sv::shared {path args} {
    variable offered
    if {[info exists ${path}::capabilities] && ![allows $path main]} {
        refuse $path main "::tobrisk::shared [join $args]"
    }
    foreach command $args {
        set qualified [expr {[string match ::* $command] ? $command : "::$command"}]
        if {![dict exists $offered $qualified]} {
            set name [set ${path}::name]
            log_write $name error "refused: ::tobrisk::shared $command\n"
            return -code error "no library of the main interpreter offers \"$command\""
        }
    }
    foreach command $args {
        interp alias $path $command {} [expr {[string match ::* $command] ? $command : "::$command"}]
    }
}

proc ::tobrisk::sv::own_grants {path} {
    tailcall ::tobrisk::grants [set ${path}::name]
}

proc ::tobrisk::sv::own_budget {path args} {
    tailcall ::tobrisk::budget [set ${path}::name] {*}$args
}

# The commands of ::tobrisk as a child calls them; the frame tells an
# unload that the child's own code is on the stack.
proc ::tobrisk::sv::from_child {path command args} {
    return [$command {*}$args]
}

# --- Unloading --------------------------------------------------------------------

# Releases everything the child holds and deletes it; RUN_HOOKS 0 skips its
# stop scripts. While its own code is on the stack the release waits until
# that code has returned.
proc ::tobrisk::sv::release {path {stop_scripts 1} {then ""}} {
    if {![namespace exists $path]} {
        if {$then ne ""} { uplevel #0 $then }
        return
    }
    if {[set ${path}::depth] > 0 || [caller_is $path]} {
        set ${path}::pending [list ::tobrisk::sv::release $path $stop_scripts $then]
        after idle [list ::tobrisk::sv::release_if_pending $path]
        return
    }
    if {$stop_scripts} { run_hooks $path on_stop }
    release_holdings $path
    forget $path
    if {$then ne ""} { uplevel #0 $then }
}

proc ::tobrisk::sv::release_if_pending {path} {
    if {[namespace exists $path] && [set ${path}::pending] ne "" && [set ${path}::depth] == 0} {
        run_pending $path
    }
}

# Whether the code of child PATH is running: its call of the supervisor
# is on the main interpreter's stack.
proc ::tobrisk::sv::caller_is {path} {
    for {set level [info level]} {$level > 0} {incr level -1} {
        set frame [info level $level]
        if {[lindex $frame 0] eq "::tobrisk::sv::from_child" && [lindex $frame 1] eq $path} { return 1 }
    }
    return 0
}

# What the messenger still holds for the script is given back, each thing
# once, by the plugin that keeps the record.
proc ::tobrisk::sv::release_holdings {path} {
    ::tobrisk::_release $path
    ::tobrisk::bus::release $path
    foreach command [set ${path}::exports] { catch {rename $command {}} }
    set ${path}::exports {}
}

proc ::tobrisk::sv::forget {path} {
    set name [set ${path}::name]
    if {[has $name child] && [get $name child] eq $path} { drop $name child }
    # What the script printed without a newline reaches its log.
    catch {$path eval {catch {flush stdout}}}
    keep_figures $name $path
    namespace delete $path
    catch {interp delete $path}
}

proc ::tobrisk::sv::disable_script {name} {
    variable disabled
    if {$name ni $disabled} {
        lappend disabled $name
        write_disabled
    }
    unload_script $name disabled
}

# Unloads NAME and leaves it in state AFTER.
proc ::tobrisk::sv::unload_script {name after} {
    if {[has $name child]} {
        release [get $name child] 1 [list ::tobrisk::sv::put $name state $after]
    } else {
        put $name state $after
    }
}

proc ::tobrisk::sv::shutdown {} {
    variable order
    foreach name [lreverse $order] {
        if {[has $name child]} {
            set [get $name child]::depth 0
            release [get $name child]
        }
    }
    close_logs
}

# --- Time accounting ----------------------------------------------------------------

# Per script, calls and their time by kind and the slowest call, which the
# plugin counts for each call into the child (::tobrisk::_stats); with
# them, kept here: `timeouts`, `strikes`, and `since`, when the figures
# began with the script's load. The figures of an unloaded script stay
# until it is loaded again; nothing is written to disk.
proc ::tobrisk::stats {{name ""}} {
    if {$name ne ""} {
        ::tobrisk::sv::known $name
        return [::tobrisk::sv::figures $name]
    }
    set all {}
    foreach name $::tobrisk::sv::order {
        dict set all $name [::tobrisk::sv::figures $name]
    }
    return $all
}

proc ::tobrisk::sv::figures {name} {
    if {!([has $name child] && ![catch {::tobrisk::_stats [get $name child]} figures])} {
        set figures [expr {[has $name figures] ? [get $name figures] : [::tobrisk::_stats]}]
    }
    foreach key {timeouts strikes since} {
        dict set figures $key [expr {[has $name $key] ? [get $name $key] : 0}]
    }
    return $figures
}

proc ::tobrisk::sv::reset_figures {name} {
    drop $name figures
    put $name timeouts 0
    put $name since [clock milliseconds]
}

# The child's figures outlive it.
proc ::tobrisk::sv::keep_figures {name path} {
    if {![catch {::tobrisk::_stats $path} figures]} { put $name figures $figures }
}

proc ::tobrisk::sv::count_timeout {name} {
    put $name timeouts [expr {[has $name timeouts] ? [get $name timeouts] + 1 : 1}]
}

# A call of child PATH that used more than half its budget, and was not
# stopped: one line in the script's log and in the supervisor's, at most
# one a second for each script.
proc ::tobrisk::sv::slow_call {path kind ms what} {
    if {![namespace exists $path]} return
    set name [set ${path}::name]
    set now [clock milliseconds]
    if {[has $name slow_logged] && $now - [get $name slow_logged] < 1000} return
    put $name slow_logged $now
    set line "$name took $ms ms of its budget of [set ${path}::armed] ms in $kind: $what\n"
    log_write $name warning $line
    log_write supervisor warning $line
}

# --- The commands of ::tobrisk -----------------------------------------------------

proc ::tobrisk::sv::known {name} {
    if {![has $name state]} {
        return -code error "no script \"$name\": ::tobrisk::list names the scripts"
    }
}

proc ::tobrisk::list {} {
    set pairs {}
    foreach name $::tobrisk::sv::order {
        set pair [::list $name [::tobrisk::sv::get $name state]]
        set origin [::tobrisk::sv::origin $name]
        if {$origin ne "plugin"} { lappend pair $origin }
        lappend pairs $pair
    }
    return $pairs
}

proc ::tobrisk::state {name} {
    ::tobrisk::sv::known $name
    return [::tobrisk::sv::get $name state]
}

proc ::tobrisk::interp {name} {
    ::tobrisk::sv::known $name
    if {![::tobrisk::sv::has $name child]} {
        return -code error "$name has no interpreter: it is [::tobrisk::state $name]"
    }
    return [::tobrisk::sv::get $name child]
}

proc ::tobrisk::load {name} {
    namespace upvar ::tobrisk::sv order order
    set found [::tobrisk::sv::scan]
    if {![dict exists $found $name]} {
        return -code error "no script \"$name\" in $::tobrisk::sv::scripts_dir"
    }
    if {[::tobrisk::sv::has $name state]} {
        switch -- [::tobrisk::sv::get $name state] {
            loaded { return -code error "$name is loaded already" }
            disabled { return -code error "$name is disabled: ::tobrisk::enable $name loads it" }
        }
    }
    if {$name ni $order} { lappend order $name }
    ::tobrisk::sv::put $name file [dict get $found $name]
    ::tobrisk::sv::load_script $name
    return [::tobrisk::sv::get $name state]
}

proc ::tobrisk::unload {name} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::refuse_main $name
    if {[::tobrisk::sv::get $name state] eq "disabled"} return
    ::tobrisk::sv::unload_script $name unloaded
    return
}

proc ::tobrisk::reload {name} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::refuse_main $name
    if {[::tobrisk::sv::get $name state] eq "disabled"} {
        return -code error "$name is disabled: ::tobrisk::enable $name loads it"
    }
    if {[::tobrisk::sv::has $name child]} {
        ::tobrisk::sv::release [::tobrisk::sv::get $name child] 1 \
            [::list ::tobrisk::sv::reload_now $name]
    } else {
        ::tobrisk::sv::reload_now $name
    }
    return
}

proc ::tobrisk::sv::reload_now {name} {
    put $name state unloaded
    catch {::tobrisk::load $name}
}

proc ::tobrisk::enable {name} {
    ::tobrisk::sv::known $name
    namespace upvar ::tobrisk::sv disabled disabled
    set disabled [lsearch -all -inline -not -exact $disabled $name]
    ::tobrisk::sv::write_disabled
    if {[::tobrisk::sv::get $name state] eq "disabled"} {
        ::tobrisk::sv::put $name state unloaded
        ::tobrisk::load $name
    }
    return [::tobrisk::sv::get $name state]
}

proc ::tobrisk::disable {name} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::refuse_main $name
    ::tobrisk::sv::disable_script $name
    return
}

proc ::tobrisk::sv::refuse_main {name} {
    if {[get $name state] eq "loaded" && ![has $name child]} {
        return -code error "$name runs in the main interpreter: it stays until the plugin stops"
    }
}

proc ::tobrisk::log {name {lines 50}} {
    if {![info exists ::tobrisk::sv::tail($name)]} {
        if {$name ne "main"} { ::tobrisk::sv::known $name }
        return ""
    }
    return [join [lrange $::tobrisk::sv::tail($name) end-[expr {$lines - 1}] end] \n]
}

proc ::tobrisk::budget {name {milliseconds ""}} {
    ::tobrisk::sv::known $name

    if {$milliseconds ne ""} {
        if {![string is entier -strict $milliseconds] || $milliseconds < 1} {
            return -code error "expected a number of milliseconds but got \"$milliseconds\""
        }
        ::tobrisk::sv::put $name budget $milliseconds
        if {[::tobrisk::sv::has $name child]} { set [::tobrisk::sv::get $name child]::rearm 0 }
    }
    if {![::tobrisk::sv::has $name budget]} { return $::tobrisk::sv::default_budget }
    return [::tobrisk::sv::get $name budget]
}

proc ::tobrisk::holdings {name} {
    ::tobrisk::sv::known $name
    namespace upvar ::tobrisk::sv child child
    if {![::tobrisk::sv::has $name child]} { return {} }
    set path [::tobrisk::sv::get $name child]
    return [dict replace [::tobrisk::_holdings $path] timers [$path eval {::after info}] \
        topics [::tobrisk::bus::held $path]]
}

proc ::tobrisk::sv::startup {} {
    variable started 1
    variable order
    foreach name $order {
        if {[has $name child]} { run_hooks [get $name child] on_start }
    }
}
