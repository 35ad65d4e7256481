# tobrisk: script
# name: Connection watcher
# version: 1.0.0
# description: A tray alert whenever a connection comes online or goes offline.
# needs: events alerts
#
# Connection watcher: raises a tray alert whenever one of the messenger's
# connections comes online or goes offline. The alert carries a link to
# the account's status page, which opens when the alert is clicked.

namespace eval ::watcher {
    variable subscription ""
    variable status_page "http://status.example.org"
}

# Runs for each connection change, with the global array `event` holding
# connection_id, name, medium and status (as far as the messenger gave them).
proc ::watcher::changed {} {
    global event
    variable status_page
    foreach field {name medium status} {
        if {![info exists event($field)]} {
            set event($field) "?"
        }
    }
    set text "$event(name) ($event(medium)) is now $event(status)"
    vellumar systraySetAlert info $text "$status_page/$event(medium)/$event(name)"
}

proc ::watcher::start {} {
    variable subscription
    set subscription [vellumar eventsConnect "Connection: Change" ::watcher::changed]
}

# Ends the subscription, if there is one; the messenger answers 1 when it
# ended one.
proc ::watcher::stop {} {
    variable subscription
    if {$subscription eq ""} {
        return 0
    }
    set ended [vellumar eventsDisconnect $subscription]
    set subscription ""
    return $ended
}

::tobrisk::on_start ::watcher::start
::tobrisk::on_stop ::watcher::stop
# The watcher runs in an interpreter of its own; this makes ::watcher::stop
# callable from the chat line too.
::tobrisk::export ::watcher::stop
