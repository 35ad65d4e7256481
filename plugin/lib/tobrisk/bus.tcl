# Messages between scripts: a script subscribes a command to a topic in
# its own interpreter, and a message published to the topic from any
# interpreter runs each subscriber's command in the subscriber's
# interpreter, as a supervised call under its budget and its name. One
# script may also call a command that another exported.
#
# A script's interpreter gets:
#     ::tobrisk::subscribe TOPIC COMMAND
#     ::tobrisk::unsubscribe TOPIC ?COMMAND?
#     ::tobrisk::publish TOPIC ?ARG ...?
#     ::tobrisk::call SCRIPT COMMAND ?ARG ...?
# the main interpreter (and so the chat line) publish and call.
#
# The bus's record is the one record of a script's subscriptions: the
# script's holdings show it, and its unload ends them.

namespace eval ::tobrisk::bus {
    # Deliveries and calls that may be on the stack at once: two scripts
    # that answer each other's messages stop here.
    variable depth_limit 10
    variable depth 0
    variable next 0
    # topics(TOPIC): subscription ids in the order they were made;
    # subscribers(ID): {PATH COMMAND TOPIC}, while the subscription lasts.
    variable topics
    variable subscribers
    # owed(PATH): microseconds that others took in PATH's calls, not yet
    # added to its deadline.
    variable owed
    array set topics {}
    array set subscribers {}
    array set owed {}
}

# The commands of a script's interpreter.
proc ::tobrisk::bus::furnish {path} {
    foreach {command target} {subscribe subscribe  unsubscribe unsubscribe  publish publish_from  call call_from} {
        interp alias $path ::tobrisk::$command {} ::tobrisk::bus::$target $path
    }
}

proc ::tobrisk::bus::subscribe {path topic command} {
    variable topics
    variable subscribers
    variable next
    if {[llength $command] == 0} {
        return -code error "an empty command cannot subscribe to \"$topic\""
    }
    if {[info exists topics($topic)]} {
        foreach id $topics($topic) {
            if {[lrange $subscribers($id) 0 1] eq [list $path $command]} return
        }
    }
    set subscribers([incr next]) [list $path $command $topic]
    lappend topics($topic) $next
    return
}

# Ends the script's subscriptions to TOPIC, or only COMMAND's; their count.
proc ::tobrisk::bus::unsubscribe {path topic args} {
    if {[llength $args] > 1} {
        return -code error {wrong # args: should be "::tobrisk::unsubscribe topic ?command?"}
    }
    variable topics
    variable subscribers
    if {![info exists topics($topic)]} { return 0 }
    set ended 0
    foreach id $topics($topic) {
        lassign $subscribers($id) owner command
        if {$owner eq $path && ([llength $args] == 0 || $command eq [lindex $args 0])} {
            forget $id
            incr ended
        }
    }
    return $ended
}

proc ::tobrisk::bus::forget {id} {
    variable topics
    variable subscribers
    set topic [lindex $subscribers($id) 2]
    unset subscribers($id)
    set topics($topic) [lsearch -all -inline -exact -not $topics($topic) $id]
    if {[llength $topics($topic)] == 0} { unset topics($topic) }
}

# What script PATH has subscribed: {TOPIC COMMAND} pairs, oldest first.
proc ::tobrisk::bus::held {path} {
    variable subscribers
    set held {}
    foreach id [lsort -integer [array names subscribers]] {
        lassign $subscribers($id) owner command topic
        if {$owner eq $path} { lappend held [list $topic $command] }
    }
    return $held
}

proc ::tobrisk::bus::release {path} {
    variable subscribers
    variable owed
    unset -nocomplain owed($path)
    foreach id [array names subscribers] {
        if {[lindex $subscribers($id) 0] eq $path} { forget $id }
    }
}

# Runs each subscriber of TOPIC with the ARGs appended to its command;
# the number of subscribers it reached. A subscriber's failure or time-out
# is its own (logged and shown as its error), and the next one still gets
# the message. A subscription that ended since the message was sent, with
# an unload for instance, gets nothing.
proc ::tobrisk::publish {topic args} {
    namespace upvar ::tobrisk::bus topics topics depth depth depth_limit limit
    if {![info exists topics($topic)]} { return 0 }
    if {$depth >= $limit} {
        return -code error -errorcode [::list TOBRISK BUS DEPTH $topic] [::tobrisk::bus::too_deep message $topic]
    }
    incr depth
    set code [catch {::tobrisk::_deliver $topic $topics($topic) $args} result options]
    incr depth -1
    if {$code != 0} { return -options [dict incr options -level] $result }
    return $result
}

# Runs command COMMAND that script NAME exported, in its interpreter, as a
# supervised call; its result, or its error, goes back to the caller.
proc ::tobrisk::call {name command args} {
    ::tobrisk::sv::known $name
    if {![::tobrisk::sv::has $name child]} {
        if {[::tobrisk::state $name] eq "loaded"} {
            return -code error "$name runs in the main interpreter: its commands are called directly"
        }
        return -code error "$name is [::tobrisk::state $name]: its commands cannot be called"
    }
    set path [::tobrisk::sv::get $name child]
    set qualified [expr {[string match ::* $command] ? $command : "::$command"}]
    if {$qualified ni [set ${path}::exports]} {
        return -code error "$name does not export \"$command\": ::tobrisk::export makes a command callable"
    }
    if {$::tobrisk::bus::depth >= $::tobrisk::bus::depth_limit} {
        return -code error -errorcode [::list TOBRISK BUS DEPTH $qualified] [::tobrisk::bus::too_deep call $qualified]
    }
    incr ::tobrisk::bus::depth
    set code [catch {$qualified {*}$args} result options]
    incr ::tobrisk::bus::depth -1
    return -options [dict incr options -level] $result
}

# The error of a delivery or call refused at the depth limit, which names
# the topic or the command.
proc ::tobrisk::bus::too_deep {kind what} {
    variable depth_limit
    set noun [expr {$kind eq "message" ? "message \"$what\" was not delivered" : "\"$what\" was not called"}]
    return "$noun: messages and calls between scripts nest $depth_limit deep at most"
}

# A publish or call from script PATH: the time its subscribers or the
# called script take is theirs, so PATH's own deadline moves on by as much.
# An error reaches the script as a command's own error: what ran in the
# other script is in that script's log.
proc ::tobrisk::bus::publish_from {path topic args} {
    set started [clock microseconds]
    set code [catch {::tobrisk::publish $topic {*}$args} result options]
    postpone $path $started
    if {$code == 1} { return -code error -errorcode [dict get $options -errorcode] $result }
    return $result
}

proc ::tobrisk::bus::call_from {path name command args} {
    set started [clock microseconds]
    set code [catch {::tobrisk::call $name $command {*}$args} result options]
    postpone $path $started
    if {$code == 1} { return -code error -errorcode [dict get $options -errorcode] $result }
    return $result
}

# Moving a deadline makes a Tcl timer, which costs tens of microseconds
# under Wine: the time owed is gathered until it comes to milliseconds.
proc ::tobrisk::bus::postpone {path started} {
    variable owed
    if {![info exists owed($path)]} { set owed($path) 0 }
    incr owed($path) [expr {[clock microseconds] - $started}]
    if {$owed($path) < 1000 || ![interp exists $path]} return
    set spent [expr {$owed($path) / 1000}]
    set owed($path) [expr {$owed($path) % 1000}]
    set seconds [interp limit $path time -seconds]
    if {$seconds eq ""} return
    set deadline [expr {$seconds * 1000 + [interp limit $path time -milliseconds] + $spent}]
    interp limit $path time -seconds [expr {$deadline / 1000}] -milliseconds [expr {$deadline % 1000}]
    if {[namespace exists $path]} { incr ${path}::rearm $spent }
}

# The plugin's ::tobrisk::_deliver TOPIC IDS WORDS: the subscriptions
# IDS, those that still last, each run through the supervisor.
if {[info commands ::tobrisk::_deliver] eq ""} {
    proc ::tobrisk::_deliver {topic ids words} {
        set reached 0
        foreach id $ids {
            if {![info exists ::tobrisk::bus::subscribers($id)]} continue
            lassign $::tobrisk::bus::subscribers($id) path command
            if {![::interp exists $path]} continue
            ::tobrisk::sv::run $path "message $topic" [::list {*}$command {*}$words]
            incr reached
        }
        return $reached
    }
}
