# The script supervisor: every script of the scripts folder runs in a child
# interpreter of its own, which this code creates, watches and deletes.
#
# What a child sees: `vellumar` and `tobrisk` (the main interpreter's
# commands, reached through aliases; the options that register callbacks
# are rewritten so that their scripts run in the child), `puts` to stdout
# and stderr writing to the script's log, `after` timers and background
# errors run and reported under the script's name and time budget, `exit`
# refused, and ::tobrisk::on_start, on_stop, export, budget and shared.
#
# What the main interpreter gets, for the chat line and for tools:
#     ::tobrisk::list                 {NAME STATE} pairs, in load order
#     ::tobrisk::state NAME           loaded, disabled, failed or unloaded
#     ::tobrisk::load|unload|reload|enable|disable NAME
#     ::tobrisk::interp NAME          the child interpreter's path
#     ::tobrisk::log NAME ?LINES?     the tail of the script's log
#     ::tobrisk::budget NAME ?MS?     the script's time budget per call
#     ::tobrisk::holdings NAME        what the script holds from the host
#     ::tobrisk::output_hooks         command prefixes called with
#                                     NAME CHANNEL TEXT for every write
#
# Host-to-script calls (events, double-clicks, HTTP answers, timers,
# exported commands) pass through `enter` and `leave`, which keep the
# child's time limit armed. Arming a Tcl time limit makes a Tcl timer,
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

    # Per script NAME.
    variable state              ;# loaded, disabled, failed, unloaded
    variable file
    variable child              ;# its interpreter while loaded
    variable budget
    variable strikes
    variable tail               ;# the log's last lines
    variable log_channel
    variable log_size
    variable last_error         ;# when its last error was shown or logged

    # Per child interpreter CHILD.
    variable owner              ;# its script's name
    variable depth              ;# supervised calls into it on the stack
    variable rearm              ;# when its time limit must be armed again
    variable armed              ;# the milliseconds it was last armed with
    variable start_hooks
    variable stop_hooks
    variable exports            ;# commands made in the main interpreter
    variable subscriptions      ;# event ids
    variable entries            ;# entry id -> its section id
    variable sections           ;# section ids
    variable requests           ;# request key -> the child's variable or ""
    variable alerts             ;# alerts raised
    variable pending            ;# an unload waits for its code to return
    variable scripts            ;# callback id -> script, per child
    variable sourcing           ;# set while its file is sourced
    array set state {}; array set file {}; array set child {}
    array set budget {}; array set strikes {}; array set tail {}
    array set log_channel {}; array set log_size {}; array set last_error {}
    array set owner {}; array set depth {}; array set rearm {}
    array set start_hooks {}; array set stop_hooks {}; array set exports {}
    array set subscriptions {}; array set entries {}; array set sections {}
    array set requests {}; array set alerts {}; array set pending {}
    array set scripts {}; array set sourcing {}
    variable http_result
    array set http_result {}
    variable disabled {}
}

# --- Setting up -------------------------------------------------------------

proc ::tobrisk::sv::configure {dir} {
    variable scripts_dir $dir
    main_standard_output
    variable state_dir
    if {[catch {tobrisk config_directory} config] || $config eq ""} return
    set candidate [file join $config Tobrisk]
    if {![catch {file mkdir [file join $candidate logs]}]} {
        set state_dir $candidate
    }
    read_disabled
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
    if {[catch {
        set channel [open $path w]
        fconfigure $channel -encoding utf-8
        if {[llength $disabled] > 0} { puts $channel [join $disabled \n] }
        close $channel
    } message]} {
        log_write supervisor error "cannot write $path: $message\n"
    }
}

# The scripts of the folder, name -> file, in name order (letter case aside).
proc ::tobrisk::sv::scan {} {
    variable scripts_dir
    set found {}
    set files [glob -nocomplain -types f -directory $scripts_dir *.tcl]
    foreach path [lsort -nocase $files] {
        dict set found [file rootname [file tail $path]] $path
    }
    return $found
}

# A script that says `# tobrisk: main` in one of its first lines runs in
# the main interpreter, as a library that other scripts share.
proc ::tobrisk::sv::wants_main {path} {
    if {[catch {open $path r} channel]} { return 0 }
    set head [read $channel 1024]
    close $channel
    return [regexp -line {^\s*#\s*tobrisk:\s*main\M} $head]
}

proc ::tobrisk::sv::load_all {} {
    variable order
    variable disabled
    variable state
    variable file
    dict for {name path} [scan] {
        if {$name ni $order} { lappend order $name }
        set file($name) $path
        if {$name in $disabled} {
            set state($name) disabled
        } elseif {[wants_main $path]} {
            load_main $name
        } else {
            load_child $name
        }
    }
}

# --- Main-interpreter scripts -------------------------------------------------

proc ::tobrisk::sv::load_main {name} {
    variable state
    variable file
    set ::tobrisk::loading scripts/[file tail $file($name)]
    set code [catch {uplevel #0 [list source -encoding utf-8 $file($name)]} message options]
    set ::tobrisk::loading ""
    if {$code == 1} {
        set state($name) failed
        failed $name load $message [dict get $options -errorinfo]
    } else {
        set state($name) loaded
    }
}

# --- Children -----------------------------------------------------------------

proc ::tobrisk::sv::load_child {name} {
    variable state
    variable file
    variable child
    variable started
    variable budget
    variable strikes
    variable load_budget
    variable sourcing
    if {![info exists budget($name)]} { set budget($name) [set [namespace current]::default_budget] }
    set strikes($name) 0
    set path [new_child $name]
    set child($name) $path
    set state($name) loaded
    arm $path [clock milliseconds] $load_budget
    set sourcing($path) 1
    set code [run $path load [list source -encoding utf-8 $file($name)]]
    unset sourcing($path)
    if {$code != 0} {
        set state($name) failed
        release $path 1
        return 0
    }
    # A script may unload itself while it is sourced.
    if {![interp exists $path]} { return 1 }
    set [namespace current]::rearm($path) 0
    if {$started} { run_hooks $path on_start }
    return 1
}

proc ::tobrisk::sv::new_child {name} {
    variable counter
    variable owner
    variable depth
    variable rearm
    variable start_hooks
    variable stop_hooks
    variable exports
    variable subscriptions
    variable entries
    variable sections
    variable requests
    variable alerts
    variable pending
    set path ::tobrisk::child::[regsub -all {[^A-Za-z0-9_]} $name _]_[incr counter]
    namespace eval ::tobrisk::child {}
    interp create $path
    $path eval {namespace eval ::tobrisk {}}
    set owner($path) $name
    set depth($path) 0
    set rearm($path) 0
    set start_hooks($path) {}
    set stop_hooks($path) {}
    set exports($path) {}
    set subscriptions($path) {}
    set entries($path) {}
    set sections($path) {}
    set requests($path) {}
    set alerts($path) 0
    set pending($path) ""
    furnish $path
    return $path
}

# `puts` and `flush` for an interpreter without standard channels (the
# messenger has no console): what goes to stdout or stderr reaches
# ::tobrisk::_output CHANNEL TEXT, every other channel Tcl's own command.
variable ::tobrisk::sv::standard_output {
    rename ::puts ::tobrisk::_puts
    proc ::puts {args} {
        set newline \n
        if {[lindex $args 0] eq "-nonewline"} {
            set newline ""
            set args [lrange $args 1 end]
        }
        switch [llength $args] {
            1 { set channel stdout }
            2 { set channel [lindex $args 0] }
            default {
                return -code error {wrong # args: should be "puts ?-nonewline? ?channelId? string"}
            }
        }
        if {$channel eq "stdout" || $channel eq "stderr"} {
            ::tobrisk::_output $channel [lindex $args end]$newline
            return
        }
        if {$newline eq ""} {
            tailcall ::tobrisk::_puts -nonewline $channel [lindex $args end]
        }
        tailcall ::tobrisk::_puts $channel [lindex $args end]
    }
    rename ::flush ::tobrisk::_flush
    proc ::flush {channel} {
        if {$channel eq "stdout" || $channel eq "stderr"} return
        tailcall ::tobrisk::_flush $channel
    }
}

# The child's commands: the two of the plugin, the ones of ::tobrisk, and
# the wrappers of puts, flush, after and exit.
proc ::tobrisk::sv::furnish {path} {
    set sv ::tobrisk::sv
    interp alias $path ::tobrisk::_vellumar {} vellumar
    interp alias $path tobrisk {} tobrisk
    foreach {command target} {
        _held held  _output output  _timer timer  _bgerror background
        on_start on_start  on_stop on_stop  export export  budget own_budget
        shared shared
    } {
        interp alias $path ::tobrisk::$command {} ${sv}::$target $path
    }
    foreach command {list state load unload reload enable disable log holdings} {
        interp alias $path ::tobrisk::$command {} ${sv}::from_child $path ::tobrisk::$command
    }
    $path eval [list namespace ensemble create -command ::vellumar -prefixes 0 \
                    -map [vellumar_map] -unknown ::tobrisk::_resolve]
    interp alias $path ::tobrisk::_resolve {} ${sv}::resolve
    $path eval {
        proc ::tobrisk::_event {fields script} {
            if {$fields ne ""} { array set ::event $fields }
            set code [catch {uplevel #0 $script} result]
            unset -nocomplain ::event
            if {$code == 0} { return $result }
            if {$code == 1} {
                return -code error -errorinfo $::errorInfo -errorcode $::errorCode $result
            }
            return -code $code $result
        }
        interp hide {} exit
        proc ::exit {args} { error "exit is disabled" }
        rename ::after ::tobrisk::_after
        proc ::after {args} {
            set when [lindex $args 0]
            if {[llength $args] >= 2 && ($when eq "idle" || [string is entier -strict $when])} {
                return [::tobrisk::_after $when [list ::tobrisk::_timer [concat {*}[lrange $args 1 end]]]]
            }
            if {$when eq "cancel" && [llength $args] >= 2
                    && ![string match after#* [lindex $args 1]]} {
                return [::tobrisk::_after cancel [list ::tobrisk::_timer [concat {*}[lrange $args 1 end]]]]
            }
            tailcall ::tobrisk::_after {*}$args
        }
        interp bgerror {} ::tobrisk::_bgerror
    }
    $path eval [set ${sv}::standard_output]
}

# The main interpreter gets the same `puts` when the process has no
# standard output of its own, as in the messenger: what /tobrisk lines and
# `# tobrisk: main` scripts print goes to the log named "main".
proc ::tobrisk::sv::main_standard_output {} {
    variable standard_output
    if {![catch {chan configure stdout}] || [info commands ::tobrisk::_puts] ne ""} return
    proc ::tobrisk::_output {channel text} { ::tobrisk::sv::log_write main $channel $text }
    uplevel #0 $standard_output
}

# The child's `vellumar` is an ensemble of the plugin's option names: the
# options that hand the host a script, or that the supervisor must count,
# go to `held`; all others go straight to the main interpreter's command.
proc ::tobrisk::sv::vellumar_map {} {
    variable map
    if {[info exists map]} { return $map }
    set map {}
    set held [held_options]
    foreach option [::tobrisk::service_names] {
        if {$option in $held} {
            dict set map $option [list ::tobrisk::_held $option]
        } else {
            dict set map $option [list ::tobrisk::_vellumar $option]
        }
    }
    return $map
}

# The options that have a held_ procedure below.
proc ::tobrisk::sv::held_options {} {
    lmap held [info procs [namespace current]::held_*] { string range [namespace tail $held] 5 end }
}

# An abbreviated option: the command accepts unique prefixes, and so does
# the ensemble through this for the held ones; anything else reaches the
# command as typed, which then answers or gives its own error.
proc ::tobrisk::sv::resolve {ensemble {option ""} args} {
    set names [dict keys [vellumar_map]]
    if {![catch {tcl::prefix match -exact $names $option}]} { return "" }
    if {![catch {tcl::prefix match $names $option} full] && $full in [held_options]} {
        return [dict get [vellumar_map] $full]
    }
    return [list ::tobrisk::_vellumar $option]
}

# --- Supervised calls -----------------------------------------------------------

# Evaluates SCRIPT in child PATH as a host-to-script call named WHAT;
# returns 0, or 1 after reporting a failure. A `return` at the top level
# counts as success. This is the path of every event, double-click, timer
# and HTTP answer, so it does its bookkeeping inline and builds the error
# options only for a failure.
proc ::tobrisk::sv::run {path what script} {
    variable depth
    variable rearm
    variable pending
    variable owner
    set name $owner($path)
    incr depth($path)
    set now [clock milliseconds]
    if {$now >= $rearm($path)} { arm $path $now }
    set code [catch {$path eval $script} result]
    if {[incr depth($path) -1] == 0 && $pending($path) ne ""} { run_pending $path }
    if {$code == 0 || $code == 2} { return 0 }
    return [outcome $name $path $what $code $result [list -errorinfo $::errorInfo -errorcode $::errorCode]]
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
    variable rearm
    variable depth
    incr depth($path)
    set now [clock milliseconds]
    if {$now >= $rearm($path)} { arm $path $now }
}

proc ::tobrisk::sv::leave {path} {
    variable depth
    variable pending
    if {![info exists depth($path)]} return
    if {[incr depth($path) -1] == 0 && $pending($path) ne ""} { run_pending $path }
}

# The unload or reload that waited for the child's code to return.
proc ::tobrisk::sv::run_pending {path} {
    variable pending
    set after $pending($path)
    set pending($path) ""
    uplevel #0 $after
}

proc ::tobrisk::sv::arm {path now {allowed ""}} {
    variable rearm
    variable budget
    variable owner
    variable armed
    if {$allowed eq ""} { set allowed $budget($owner($path)) }
    set armed($path) $allowed
    set deadline [expr {$now + $allowed}]
    interp limit $path time -seconds [expr {$deadline / 1000}] -milliseconds [expr {$deadline % 1000}] \
        -command [list ::tobrisk::sv::deadline $path]
    set rearm($path) [expr {$now + $allowed / 4}]
}

# Tcl calls this when the deadline passes while the child runs or while
# the event loop waits. With none of the child's calls on the stack the
# deadline belongs to a burst that is over: the limit is lifted until the
# next call arms it again.
proc ::tobrisk::sv::deadline {path} {
    variable depth
    variable rearm
    if {[info exists depth($path)] && $depth($path) == 0} {
        interp limit $path time -seconds {} -milliseconds {}
        set rearm($path) 0
    }
}

# A failed host-to-script call: logged and shown; a time-out also counts
# as a strike, and too many strikes disable the script.
proc ::tobrisk::sv::fail {name path what message info code} {
    variable strikes
    variable strikes_allowed
    variable budget
    variable armed
    if {[timed_out $message $code]} {
        if {[interp exists $path]} {
            interp limit $path time -seconds {} -milliseconds {}
            set [namespace current]::rearm($path) 0
        }
        # The budget that was armed: sourcing has one of its own.
        set allowed [expr {[info exists armed($path)] ? $armed($path) : $budget($name)}]
        set message "$name took longer than its budget of $allowed ms in $what and was stopped"
        regsub {^[^\n]*} $info $message info
        failed $name $what $message $info
        if {[incr strikes($name)] >= $strikes_allowed} {
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
    variable strikes
    set text "$name was stopped $strikes($name) times for running too long and is now disabled.\
              To enable it again, type in a message window:\n/tobrisk ::tobrisk::enable $name"
    log_write $name error "$text\n"
    tobrisk messagebox $text "Tobrisk Error (scripts/$name.tcl)" 0
    disable_script $name
}

# --- Errors and logs -------------------------------------------------------------

# Logs a failure of script NAME and shows it unless the script failed less
# than two seconds ago: one box per script and burst of errors.
proc ::tobrisk::sv::failed {name what message info} {
    variable last_error
    variable file
    set now [clock milliseconds]
    set quiet [expr {[info exists last_error($name)] && $now - $last_error($name) < 2000}]
    set last_error($name) $now
    set info [script_frames $info]
    set text "error in $what: $info\n"
    log_write $name error $text
    if {$quiet} return
    set subject [expr {[info exists file($name)] ? "scripts/[file tail $file($name)]" : $name}]
    if {$what ne "load"} { append subject " $what" }
    # The box names the file as the caption does, wherever the folder lies;
    # the log keeps the full path.
    if {[info exists file($name)]} {
        set info [string map [list $file($name) scripts/[file tail $file($name)]] $info]
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
        "\n    invoked from within\n\"::tobrisk::_timer "
    } {
        set at [string first $pattern $info]
        if {$at >= 0 && $at < $cut} { set cut $at }
    }
    set info [string range $info 0 [expr {$cut - 1}]]
    set info [regsub {\n    \("uplevel" body line 1\)$} $info ""]
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
    variable owner
    log_write $owner($path) $channel $text
}

# Appends TEXT to script NAME's log, in memory and in its file, and tells
# the output hooks.
proc ::tobrisk::sv::log_write {name channel text} {
    variable tail
    variable log_lines
    if {![info exists tail($name)]} { set tail($name) {} }
    set lines [split [string trimright $text \n] \n]
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

proc ::tobrisk::sv::background {path message options} {
    variable owner
    fail $owner($path) $path background $message [dict get $options -errorinfo] [dict get $options -errorcode]
}

# --- Hooks, exports, budget -------------------------------------------------------

proc ::tobrisk::sv::on_start {path script} {
    variable start_hooks
    variable started
    variable pending
    variable sourcing
    lappend start_hooks($path) $script
    if {$started && $pending($path) eq "" && ![info exists sourcing($path)]} {
        run $path on_start $script
    }
}

proc ::tobrisk::sv::on_stop {path script} {
    variable stop_hooks
    lappend stop_hooks($path) $script
}

proc ::tobrisk::sv::run_hooks {path when} {
    variable start_hooks
    variable stop_hooks
    if {$when eq "on_start"} {
        set hooks $start_hooks($path)
    } else {
        set hooks [lreverse $stop_hooks($path)]
    }
    foreach script $hooks {
        if {![interp exists $path]} return
        run $path $when $script
    }
}

# Makes the child's commands callable from the main interpreter (and so
# from the chat line) under the same names, as supervised calls.
proc ::tobrisk::sv::export {path args} {
    variable exports
    foreach command $args {
        set qualified [expr {[string match ::* $command] ? $command : "::$command"}]
        namespace eval ::[namespace qualifiers $qualified] {}
        interp alias {} $qualified {} ::tobrisk::sv::call $path $command
        lappend exports($path) $qualified
    }
}

proc ::tobrisk::sv::call {path command args} {
    variable owner
    enter $path
    set code [catch {$path eval [list $command {*}$args]} result options]
    leave $path
    if {$code == 1} {
        set info [dict get $options -errorinfo]
        if {[timed_out $result [dict get $options -errorcode]]} {
            set result [fail $owner($path) $path $command $result $info [dict get $options -errorcode]]
        } else {
            log_write $owner($path) error "error in $command: [script_frames $info]\n"
        }
        return -code error -errorinfo $info $result
    }
    return $result
}

# Commands of the main interpreter (a shared library's) made callable in
# the child.
proc ::tobrisk::sv::shared {path args} {
    foreach command $args {
        interp alias $path $command {} $command
    }
}

proc ::tobrisk::sv::own_budget {path args} {
    variable owner
    tailcall ::tobrisk::budget $owner($path) {*}$args
}

# The commands of ::tobrisk as a child calls them; the frame tells an
# unload that the child's own code is on the stack.
proc ::tobrisk::sv::from_child {path command args} {
    return [$command {*}$args]
}

# --- The held options ----------------------------------------------------------

proc ::tobrisk::sv::held {path option args} {
    tailcall [namespace current]::held_$option $path {*}$args
}

# A callback script of the child, kept here so that it compiles once.
proc ::tobrisk::sv::keep_script {path script} {
    variable counter
    variable scripts
    set id [incr counter]
    set scripts($path,$id) $script
    return $id
}

proc ::tobrisk::sv::held_eventsConnect {path args} {
    variable subscriptions
    if {[llength $args] != 2} { tailcall vellumar eventsConnect {*}$args }
    lassign $args type script
    set id [keep_script $path $script]
    set subscription [vellumar eventsConnect $type [list ::tobrisk::sv::event $path $id]]
    lappend subscriptions($path) $subscription
    return $subscription
}

proc ::tobrisk::sv::held_eventsDisconnect {path args} {
    variable subscriptions
    set answer [vellumar eventsDisconnect {*}$args]
    set subscriptions($path) [lsearch -all -inline -not -exact $subscriptions($path) [lindex $args 0]]
    return $answer
}

# A connection change: the child gets its own copy of the array `event`.
# The most frequent call of all, so it does the work of `run` itself.
proc ::tobrisk::sv::event {path id} {
    variable scripts
    variable depth
    variable rearm
    variable pending
    variable owner
    if {![info exists scripts($path,$id)]} return
    set name $owner($path)
    incr depth($path)
    set now [clock milliseconds]
    if {$now >= $rearm($path)} { arm $path $now }
    set code [catch {$path eval [list ::tobrisk::_event [array get ::event] $scripts($path,$id)]} result]
    if {[incr depth($path) -1] == 0 && $pending($path) ne ""} { run_pending $path }
    if {$code == 0 || $code == 2} return
    outcome $name $path event $code $result [list -errorinfo $::errorInfo -errorcode $::errorCode]
}

proc ::tobrisk::sv::held_listAddEntry {path args} {
    variable entries
    variable sections
    set pairs [expr {[llength $args] == 1 ? [lindex $args 0] : $args}]
    if {[catch {llength $pairs} count] || $count % 2 != 0} { tailcall vellumar listAddEntry {*}$args }
    set section 0
    set section_id -1
    set rewritten {}
    foreach {key value} $pairs {
        switch -exact -- $key {
            callback { set value [list ::tobrisk::sv::click $path [keep_script $path $value]] }
            section { set section $value }
            section_id { set section_id $value }
        }
        lappend rewritten $key $value
    }
    if {[llength $args] == 1} { set rewritten [list $rewritten] }
    if {[catch {vellumar listAddEntry {*}$rewritten} id options]} {
        return -options $options $id
    }
    if {[string is entier -strict $section] && $section != 0} {
        lappend sections($path) $id
    } else {
        lappend entries($path) $id $section_id
    }
    return $id
}

proc ::tobrisk::sv::held_listRemoveEntry {path args} {
    variable entries
    variable sections
    set answer [vellumar listRemoveEntry {*}$args]
    if {[lindex $args 0] eq "-section"} {
        set section [lindex $args 1]
        set sections($path) [lsearch -all -inline -not -exact $sections($path) $section]
        set kept {}
        foreach {id in} $entries($path) {
            if {$in ne $section} { lappend kept $id $in }
        }
        set entries($path) $kept
    } else {
        set kept {}
        foreach {id in} $entries($path) {
            if {$id ne [lindex $args 0]} { lappend kept $id $in }
        }
        set entries($path) $kept
    }
    return $answer
}

proc ::tobrisk::sv::click {path id} {
    variable scripts
    if {![info exists scripts($path,$id)]} return
    run $path double-click $scripts($path,$id)
}

proc ::tobrisk::sv::held_systraySetAlert {path args} {
    variable alerts
    set answer [vellumar systraySetAlert {*}$args]
    if {[llength $args] >= 2 && [llength $args] <= 5} { incr alerts($path) }
    return $answer
}

# The host stores an HTTP answer in a variable of the main interpreter,
# whose write trace hands it to the child that asked, if it still exists.
proc ::tobrisk::sv::held_httpFileRequest {path args} {
    variable requests
    variable counter
    set binary [expr {[lindex $args 0] eq "-binary" ? [list -binary] : {}}]
    set words [lrange $args [llength $binary] end]
    if {[llength $words] < 1 || [llength $words] > 2} { tailcall vellumar httpFileRequest {*}$args }
    set key [incr counter]
    set result ::tobrisk::sv::http_result($key)
    trace add variable $result write [list ::tobrisk::sv::answered $path $key]
    dict set requests($path) $key [lindex $words 1]
    return [vellumar httpFileRequest {*}$binary [lindex $words 0] $result]
}

proc ::tobrisk::sv::answered {path key args} {
    variable requests
    variable http_result
    set body $http_result($key)
    unset http_result($key)
    if {![info exists requests($path)] || ![dict exists $requests($path) $key]} return
    set variable [dict get $requests($path) $key]
    dict unset requests($path) $key
    if {$variable eq ""} return
    run $path "HTTP answer" [list set $variable $body]
}

proc ::tobrisk::sv::timer {path script} {
    run $path timer $script
}

# --- Unloading --------------------------------------------------------------------

# Releases everything the child holds and deletes it; RUN_HOOKS 0 skips its
# stop scripts. While its own code is on the stack the release waits until
# that code has returned.
proc ::tobrisk::sv::release {path {stop_scripts 1} {then ""}} {
    variable depth
    variable pending
    if {![info exists depth($path)]} {
        if {$then ne ""} { uplevel #0 $then }
        return
    }
    if {$depth($path) > 0 || [caller_is $path]} {
        set pending($path) [list ::tobrisk::sv::release $path $stop_scripts $then]
        after idle [list ::tobrisk::sv::release_if_pending $path]
        return
    }
    if {$stop_scripts} { run_hooks $path on_stop }
    release_holdings $path
    forget $path
    if {$then ne ""} { uplevel #0 $then }
}

proc ::tobrisk::sv::release_if_pending {path} {
    variable pending
    variable depth
    if {[info exists pending($path)] && $pending($path) ne "" && $depth($path) == 0} {
        set after $pending($path)
        set pending($path) ""
        uplevel #0 $after
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

proc ::tobrisk::sv::release_holdings {path} {
    variable subscriptions
    variable entries
    variable sections
    variable exports
    foreach id $subscriptions($path) { catch {vellumar eventsDisconnect $id} }
    set ids [dict keys $entries($path)]
    foreach id [lreverse $ids] { catch {vellumar listRemoveEntry $id} }
    foreach id [lreverse $sections($path)] { catch {vellumar listRemoveEntry -section $id} }
    foreach command $exports($path) { catch {interp alias {} $command {}} }
    set subscriptions($path) {}
    set entries($path) {}
    set sections($path) {}
    set exports($path) {}
}

proc ::tobrisk::sv::forget {path} {
    variable scripts
    variable child
    variable owner
    set name $owner($path)
    if {[info exists child($name)] && $child($name) eq $path} { unset child($name) }
    array unset scripts $path,*
    foreach variable {owner depth rearm armed start_hooks stop_hooks exports subscriptions entries
                      sections requests alerts pending} {
        unset -nocomplain [namespace current]::${variable}($path)
    }
    catch {interp delete $path}
}

proc ::tobrisk::sv::disable_script {name} {
    variable disabled
    variable state
    if {$name ni $disabled} {
        lappend disabled $name
        write_disabled
    }
    unload_script $name disabled
}

# Unloads NAME and leaves it in state AFTER.
proc ::tobrisk::sv::unload_script {name after} {
    variable child
    variable state
    if {[info exists child($name)]} {
        release $child($name) 1 [list set ::tobrisk::sv::state($name) $after]
    } else {
        set state($name) $after
    }
}

proc ::tobrisk::sv::shutdown {} {
    variable order
    variable child
    foreach name [lreverse $order] {
        if {[info exists child($name)]} {
            set [namespace current]::depth($child($name)) 0
            release $child($name)
        }
    }
    close_logs
}

# --- The commands of ::tobrisk -----------------------------------------------------

proc ::tobrisk::sv::known {name} {
    variable state
    if {![info exists state($name)]} {
        return -code error "no script \"$name\": ::tobrisk::list names the scripts"
    }
}

proc ::tobrisk::list {} {
    set pairs {}
    foreach name $::tobrisk::sv::order {
        lappend pairs [::list $name $::tobrisk::sv::state($name)]
    }
    return $pairs
}

proc ::tobrisk::state {name} {
    ::tobrisk::sv::known $name
    return $::tobrisk::sv::state($name)
}

proc ::tobrisk::interp {name} {
    ::tobrisk::sv::known $name
    if {![info exists ::tobrisk::sv::child($name)]} {
        return -code error "$name has no interpreter: it is [::tobrisk::state $name]"
    }
    return $::tobrisk::sv::child($name)
}

proc ::tobrisk::load {name} {
    namespace upvar ::tobrisk::sv state state file file order order
    set found [::tobrisk::sv::scan]
    if {![dict exists $found $name]} {
        return -code error "no script \"$name\" in $::tobrisk::sv::scripts_dir"
    }
    if {[info exists state($name)]} {
        switch -- $state($name) {
            loaded { return -code error "$name is loaded already" }
            disabled { return -code error "$name is disabled: ::tobrisk::enable $name loads it" }
        }
    }
    if {$name ni $order} { lappend order $name }
    set file($name) [dict get $found $name]
    if {[::tobrisk::sv::wants_main $file($name)]} {
        ::tobrisk::sv::load_main $name
    } else {
        ::tobrisk::sv::load_child $name
    }
    return $state($name)
}

proc ::tobrisk::unload {name} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::refuse_main $name
    if {$::tobrisk::sv::state($name) eq "disabled"} return
    ::tobrisk::sv::unload_script $name unloaded
    return
}

proc ::tobrisk::reload {name} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::refuse_main $name
    if {$::tobrisk::sv::state($name) eq "disabled"} {
        return -code error "$name is disabled: ::tobrisk::enable $name loads it"
    }
    if {[info exists ::tobrisk::sv::child($name)]} {
        ::tobrisk::sv::release $::tobrisk::sv::child($name) 1 \
            [::list ::tobrisk::sv::reload_now $name]
    } else {
        ::tobrisk::sv::reload_now $name
    }
    return
}

proc ::tobrisk::sv::reload_now {name} {
    variable state
    set state($name) unloaded
    catch {::tobrisk::load $name}
}

proc ::tobrisk::enable {name} {
    ::tobrisk::sv::known $name
    namespace upvar ::tobrisk::sv disabled disabled state state
    set disabled [lsearch -all -inline -not -exact $disabled $name]
    ::tobrisk::sv::write_disabled
    if {$state($name) eq "disabled"} {
        set state($name) unloaded
        ::tobrisk::load $name
    }
    return $state($name)
}

proc ::tobrisk::disable {name} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::refuse_main $name
    ::tobrisk::sv::disable_script $name
    return
}

proc ::tobrisk::sv::refuse_main {name} {
    variable child
    variable state
    if {$state($name) eq "loaded" && ![info exists child($name)]} {
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
    namespace upvar ::tobrisk::sv budget budget child child rearm rearm
    if {$milliseconds ne ""} {
        if {![string is entier -strict $milliseconds] || $milliseconds < 1} {
            return -code error "expected a number of milliseconds but got \"$milliseconds\""
        }
        set budget($name) $milliseconds
        if {[info exists child($name)]} { set rearm($child($name)) 0 }
    }
    if {![info exists budget($name)]} { return $::tobrisk::sv::default_budget }
    return $budget($name)
}

proc ::tobrisk::holdings {name} {
    ::tobrisk::sv::known $name
    namespace upvar ::tobrisk::sv child child
    if {![info exists child($name)]} { return {} }
    set path $child($name)
    set entries {}
    foreach {id in} $::tobrisk::sv::entries($path) { lappend entries $id }
    return [::list subscriptions $::tobrisk::sv::subscriptions($path) \
                entries $entries sections $::tobrisk::sv::sections($path) \
                requests [dict keys $::tobrisk::sv::requests($path)] \
                alerts $::tobrisk::sv::alerts($path) \
                timers [$path eval {::tobrisk::_after info}]]
}

proc ::tobrisk::sv::startup {} {
    variable started 1
    variable order
    variable child
    foreach name $order {
        if {[info exists child($name)]} { run_hooks $child($name) on_start }
    }
}
