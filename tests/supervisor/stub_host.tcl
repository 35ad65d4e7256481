# A stand-in for the plugin's two commands in a plain tclsh: `vellumar`
# keeps what the scripts register, as the messenger would, and the procs
# of ::host play the messenger's side (events, double-clicks, HTTP
# answers). The supervisor is then loaded as the plugin loads it.

namespace eval ::host {
    variable next 0
    variable subscriptions {}   ;# id -> script
    variable entries {}         ;# id -> {section_id section script}
    variable requests {}        ;# id -> {url variable}
    variable alerts 0
    variable messages {}
    variable boxes {}
    variable config ""
}

proc ::host::reset {} {
    variable subscriptions {}
    variable entries {}
    variable requests {}
    variable alerts 0
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
    set name [tcl::prefix match -message option $::host::service_names $option]
    if {[info procs ::host::$name] eq ""} { error "$option not yet implemented" }
    tailcall ::host::$name {*}$args
}

proc ::host::eventsConnect {type script} {
    variable next
    variable subscriptions
    dict set subscriptions [incr next] $script
    return $next
}

proc ::host::eventsDisconnect {id} {
    variable subscriptions
    if {![dict exists $subscriptions $id]} { return 0 }
    dict unset subscriptions $id
    return 1
}

proc ::host::listAddEntry {args} {
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
    dict set entries $id [list [dict get $fields section_id] [dict get $fields section] [dict get $fields callback]]
    return $id
}

proc ::host::listRemoveEntry {args} {
    variable entries
    if {[lindex $args 0] eq "-section"} {
        set section [lindex $args 1]
        set found 0
        dict for {id entry} $entries {
            if {[lindex $entry 0] == $section} { dict unset entries $id; set found 1 }
        }
        return $found
    }
    if {![dict exists $entries [lindex $args 0]]} { return 0 }
    dict unset entries [lindex $args 0]
    return 1
}

proc ::host::listClearEntry {args} { return 1 }
proc ::host::versionRequest {} { return 0.6.8 }

proc ::host::messageSend {medium connection target text} {
    variable messages
    lappend messages [list $target $text]
    return 1
}

proc ::host::systraySetAlert {type text args} {
    variable alerts
    incr alerts
    return $alerts
}

proc ::host::httpFileRequest {args} {
    if {[lindex $args 0] eq "-binary"} { set args [lrange $args 1 end] }
    lassign $args url variable
    variable next
    variable requests
    dict set requests [incr next] [list $url $variable]
    return $next
}

proc tobrisk {option args} {
    switch -- $option {
        messagebox {
            lappend ::host::boxes [list [lindex $args 1] [lindex $args 0]]
            return 1
        }
        config_directory { return $::host::config }
        build { return 20041219.11 }
        default { error "bad option \"$option\"" }
    }
}

# --- The messenger's side -----------------------------------------------------

# A connection change for every subscription, as the plugin's callback
# delivers it: the array `event` set around the bound script.
proc ::host::connect {name status} {
    variable subscriptions
    dict for {id script} $subscriptions {
        array set ::event [list connection_id 1 name $name medium ICQ status $status]
        catch {uplevel #0 $script}
        unset -nocomplain ::event
    }
}

proc ::host::click {id} {
    variable entries
    set script [lindex [dict get $entries $id] 2]
    uplevel #0 $script
}

# Answers every request with BODY, as the plugin's callback stores it.
proc ::host::deliver {body} {
    variable requests
    set waiting $requests
    set requests {}
    dict for {id request} $waiting {
        lassign $request url variable
        if {$variable ne ""} { set $variable $body }
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
    uplevel #0 [list source [file join $plugin init.tcl]]
    ::tobrisk::startup
}
