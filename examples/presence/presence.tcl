# Presence: tells the other scripts, in its own words, when one of the
# messenger's connections comes or goes. It shows nothing itself; any
# script that subscribes to the topic "presence" hears
#     NAME MEDIUM WORDS
# for example: alice ICQ {has arrived}.

namespace eval ::presence {
    variable words {
        online  "has arrived"
        offline "has left"
        away    "stepped away"
    }
}

proc ::presence::changed {} {
    global event
    variable words
    set status [expr {[info exists event(status)] ? $event(status) : "unknown"}]
    set said [expr {[dict exists $words $status] ? [dict get $words $status] : "is $status"}]
    ::tobrisk::publish presence $event(name) $event(medium) $said
}

::tobrisk::on_start {vellumar eventsConnect "Connection: Change" ::presence::changed}
