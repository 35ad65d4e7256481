# tobrisk: script
# name: Reminders
# version: 1.0.0
# description: Tray alerts later, from the message loop.
# needs: alerts
#
# Reminders: Tcl's `after` runs a script later, from the messenger's
# message loop, while the messenger goes on with its work.
#     /tobrisk remind 300 Tea is ready     a tray alert in 300 milliseconds
#     /tobrisk countdown 3                 alerts 3, 2, 1 and Go!, 400 ms apart

namespace eval ::reminders {}

proc remind {milliseconds args} {
    set text [join $args]
    after $milliseconds [list vellumar systraySetAlert reminder $text]
    return "Reminder set: $text"
}

proc countdown {from} {
    ::reminders::tick $from
    return "Counting down from $from"
}

proc ::reminders::tick {count} {
    if {$count == 0} {
        vellumar systraySetAlert reminder Go!
        return
    }
    vellumar systraySetAlert reminder $count
    after 400 [list ::reminders::tick [expr {$count - 1}]]
}

# Both can be typed in a message window.
::tobrisk::export remind countdown

# Reminders still waiting when the plugin stops are dropped.
::tobrisk::on_stop {
    foreach pending [after info] {
        after cancel $pending
    }
}
