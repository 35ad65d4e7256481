# A stand-in for the plugin's two commands in a plain tclsh: `vellumar`
# keeps what the scripts register, as the messenger would, and the procs
# of ::host play the messenger's side (events, double-clicks, HTTP
# answers). ::tobrisk::_adopt, _holdings and _release stand in for the
# plugin's record of what each script's interpreter holds; what that
# interpreter binds runs through the supervisor's `run`, as the plugin's
# callbacks call it. The supervisor is then loaded as the plugin loads it.

namespace eval ::host {
    variable next 0
    variable subscriptions {}   ;# id -> {script path}
    variable entries {}         ;# id -> {section_id section script path}
    variable requests {}        ;# id -> {url variable path}
    variable alerts {}          ;# path -> alerts raised
    variable owners {}          ;# path -> script name, of the adopted interpreters
    variable calls {}           ;# path -> supervised calls counted
    variable messages {}
    variable boxes {}
    variable config ""
}

proc ::host::reset {} {
    variable subscriptions {}
    variable entries {}
    variable requests {}
    variable alerts {}
    variable owners {}
    variable calls {}
    variable messages {}
    variable boxes {}
}

# The plugin's table of the host's services gives the names, in order;
# the procs below answer the services that the tests use.
namespace eval ::host {
    variable service_names {}
    apply {{file} {
        set channel [open $file]
        foreach line [split [read $channel] \n] {
            if {[regexp {^\s*SERVICE\((\w+),} $line -> name]} { lappend ::host::service_names $name }
        }
        close $channel
    }} [file join [file dirname [info script]] .. .. src host_services.h]
}

proc vellumar {option args} {
    tailcall ::host::call "" $option {*}$args
}

# PATH is the calling script's interpreter; "" for the main one.
proc ::host::call {path option args} {
    set name [tcl::prefix match -message option $::host::service_names $option]
    if {[info procs ::host::$name] eq ""} { error "$option not yet implemented" }
    tailcall ::host::$name $path {*}$args
}

proc ::host::_adopt {path name} {
    dict set ::host::owners $path $name
    interp alias $path vellumar {} ::host::call $path
    interp alias $path tobrisk {} tobrisk
    interp alias $path ::host_timer {} ::host::timer $path
    $path eval {
        rename ::after ::host_after
        proc ::after {args} {
            set when [lindex $args 0]
            if {[llength $args] >= 2 && ($when eq "idle" || [string is entier -strict $when])} {
                return [::host_after $when [list ::host_timer [concat {*}[lrange $args 1 end]]]]
            }
            tailcall ::host_after {*}$args
        }
    }
}

# A restricted script's `vellumar` calls only SERVICES; REFUSE gives the
# error for the others.
proc ::host::_restrict {path services refuse} {
    interp alias $path vellumar {} ::host::restricted_call $path $services $refuse
}

proc ::host::restricted_call {path services refuse option args} {
    set name [tcl::prefix match -message option $::host::service_names $option]
    if {$name ni $services} { {*}$refuse $name }
    tailcall ::host::call $path $option {*}$args
}

# The plugin's `after` in a script's interpreter runs a timer as a
# supervised call: a time-out is the supervisor's, any other failure the
# interpreter's background error. Here a wrapper stands in for it.
proc ::host::timer {path script} {
    ::tobrisk::sv::enter $path
    set code [catch {$path eval $script} result options]
    ::tobrisk::sv::leave $path
    if {$code == 0 || $code == 2 || ![interp exists $path]} return
    if {$code == 1 && [::tobrisk::sv::timed_out $result [dict get $options -errorcode]]} {
        ::tobrisk::sv::outcome [dict get $::host::owners $path] $path timer $code $result $options
        return
    }
    return -options [dict remove $options -level] -code $code $result
}

# The plugin's standard channels, stood in for by `puts` and `flush` that
# hand what goes to stdout or stderr to ::tobrisk::_output CHANNEL TEXT.
proc ::host::_standard_channels {path} {
    variable standard_output
    interp eval $path $standard_output
}
variable ::host::standard_output {
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

# Refuses a script's interpreter what another holds, as the plugin does.
proc ::host::check {path what id owner} {
    variable owners
    if {$path eq "" || $owner eq $path} return
    if {$owner eq "none"} {
        return -code error "$what $id was not made by the script [dict get $owners $path]"
    }
    if {$owner eq ""} { return -code error "$what $id belongs to the main interpreter" }
    return -code error "$what $id belongs to the script [dict get $owners $owner]"
}

proc ::host::owner {table id field} {
    if {![dict exists $table $id]} { return none }
    return [lindex [dict get $table $id] $field]
}

proc ::host::eventsConnect {path type script} {
    variable next
    variable subscriptions
    dict set subscriptions [incr next] [list $script $path]
    return $next
}

proc ::host::eventsDisconnect {path id} {
    variable subscriptions
    check $path subscription $id [owner $subscriptions $id 1]
    if {![dict exists $subscriptions $id]} { return 0 }
    dict unset subscriptions $id
    return 1
}

proc ::host::listAddEntry {path args} {
    variable next
    variable entries
    if {[llength $args] == 1} { set args [lindex $args 0] }
    if {[llength $args] % 2} { error {wrong # args: should be "vellumar listAddEntry key value ?key value ...?"} }
    set fields [dict merge {section_id -1 section 0 callback ""} $args]
    if {[dict get $fields section] != 0} {
        set id [dict get $fields section_id]
    } else {
        set id [incr next]
    }
    dict set entries $id [list [dict get $fields section_id] [dict get $fields section] \
                              [dict get $fields callback] $path]
    return $id
}

proc ::host::listRemoveEntry {path args} {
    variable entries
    if {[lindex $args 0] eq "-section"} {
        set section [lindex $args 1]
        check $path section $section [owner $entries $section 3]
        set found 0
        dict for {id entry} $entries {
            if {[lindex $entry 0] == $section} { dict unset entries $id; set found 1 }
        }
        return $found
    }
    set id [lindex $args 0]
    check $path entry $id [owner $entries $id 3]
    if {![dict exists $entries $id]} { return 0 }
    dict unset entries $id
    return 1
}

proc ::host::listClearEntry {path args} {
    variable entries
    if {[lindex $args 0] eq "-section"} {
        check $path section [lindex $args 1] [owner $entries [lindex $args 1] 3]
    } else {
        check $path entry [lindex $args 0] [owner $entries [lindex $args 0] 3]
    }
    return 1
}
proc ::host::versionRequest {path} { return 0.6.8 }

proc ::host::messageSend {path medium connection target text} {
    variable messages
    lappend messages [list $target $text]
    return 1
}

proc ::host::systraySetAlert {path type text args} {
    variable alerts
    dict incr alerts $path
    return [dict get $alerts $path]
}

proc ::host::httpFileRequest {path args} {
    if {[lindex $args 0] eq "-binary"} { set args [lrange $args 1 end] }
    lassign $args url variable
    variable next
    variable requests
    dict set requests [incr next] [list $url $variable $path]
    return $next
}

proc ::host::_holdings {path} {
    set held [dict create subscriptions {} entries {} sections {} requests {}]
    dict for {id entry} $::host::subscriptions {
        if {[lindex $entry 1] eq $path} { dict lappend held subscriptions $id }
    }
    dict for {id entry} $::host::entries {
        if {[lindex $entry 3] ne $path} continue
        dict lappend held [expr {[lindex $entry 1] != 0 ? "sections" : "entries"}] $id
    }
    dict for {id request} $::host::requests {
        if {[lindex $request 2] eq $path} { dict lappend held requests $id }
    }
    dict set held alerts [expr {[dict exists $::host::alerts $path] ? [dict get $::host::alerts $path] : 0}]
    return $held
}

# The plugin times each call into a script; here each call counts, untimed.
proc ::host::_account {path kind microseconds what} {
    dict incr ::host::calls $path
}

proc ::host::_stats {{path ""}} {
    set calls [expr {[dict exists $::host::calls $path] ? [dict get $::host::calls $path] : 0}]
    return [list calls $calls time 0 kinds {} slowest {}]
}

proc ::host::_release {path} {
    set held [_holdings $path]
    foreach id [dict get $held subscriptions] { ::host::eventsDisconnect "" $id }
    foreach id [lreverse [dict get $held entries]] { ::host::listRemoveEntry "" $id }
    foreach id [lreverse [dict get $held sections]] { ::host::listRemoveEntry "" -section $id }
}

# Runs SCRIPT bound by interpreter PATH as the plugin's callbacks do:
# directly in the main interpreter, through the supervisor in a script's
# own, and not at all in one that has gone.
proc ::host::run {path what script} {
    if {$path eq ""} { return [uplevel #0 $script] }
    if {![interp exists $path]} return
    ::tobrisk::sv::run $path $what $script
}

proc tobrisk {option args} {
    switch -- $option {
        messagebox {
            lappend ::host::boxes [list [lindex $args 1] [lindex $args 0]]
            return 1
        }
        config_directory { return $::host::config }
        build { return 20041219.11 }
        patchlevel { return 0.6.8 }
        default { error "bad option \"$option\"" }
    }
}

# --- The messenger's side -----------------------------------------------------

# A connection change for every subscription, as the plugin's callback
# delivers it: the array `event` set around the bound script.
proc ::host::connect {name status} {
    variable subscriptions
    dict for {id subscription} $subscriptions {
        lassign $subscription script path
        set fields [list connection_id 1 name $name medium ICQ status $status]
        if {$path eq ""} {
            array set ::event $fields
        } elseif {[interp exists $path]} {
            $path eval [list array set ::event $fields]
        }
        catch {run $path event $script}
        if {$path eq ""} {
            unset -nocomplain ::event
        } elseif {[interp exists $path]} {
            $path eval {unset -nocomplain ::event}
        }
    }
}

proc ::host::click {id} {
    variable entries
    lassign [dict get $entries $id] section_id section script path
    run $path double-click $script
}

# Answers every request with BODY, as the plugin's callback stores it.
proc ::host::deliver {body} {
    variable requests
    set waiting $requests
    set requests {}
    dict for {id request} $waiting {
        lassign $request url variable path
        if {$variable ne ""} { run $path "HTTP answer" [list ::set $variable $body] }
    }
}

proc ::host::plain_entries {} {
    variable entries
    set count 0
    dict for {id entry} $entries {
        if {[lindex $entry 1] == 0} { incr count }
    }
    return $count
}

# Starts the plugin's start-up script on the scripts folder DIR.
# The console needs Tk, which this stand-in host runs without.
package ifneeded tobrisk::console 0 {package provide tobrisk::console 0}

proc ::host::start {dir plugin} {
    set ::env(TOBRISK_SCRIPTS) $dir
    namespace eval ::tobrisk { proc service_names {} { return $::host::service_names } }
    foreach command {_adopt _holdings _release _standard_channels _account _stats _restrict} {
        interp alias {} ::tobrisk::$command {} ::host::$command
    }
    uplevel #0 [list source [file join $plugin init.tcl]]
    ::tobrisk::startup
}
