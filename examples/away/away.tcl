# tobrisk: script
# name: Away note
# version: 1.0.0
# description: Shows your away note in the tray whenever a connection comes online.
# author: The Tobrisk developers
# home: https://example.org/tobrisk/away
# requires-tobrisk: 0.6
# setting: note text {Back soon} -- The note that is shown
# setting: shown boolean yes -- Whether the note is shown at all
# setting: times integer 1..3 1 -- How many alerts each time
#
# Settings are changed from a message window, and kept across restarts:
#     /tobrisk ::tobrisk::settings away note {Out for lunch}
#     /tobrisk ::tobrisk::settings away      all of them

namespace eval ::away {}

proc ::away::online {} {
    if {$::event(status) ne "online" || ![::tobrisk::setting shown]} return
    for {set i 0} {$i < [::tobrisk::setting times]} {incr i} {
        vellumar systraySetAlert away "$::event(name): [::tobrisk::setting note]"
    }
}

# A changed note is shown at once.
proc ::away::changed {setting value} {
    if {$setting eq "note"} { vellumar systraySetAlert away "Your note is now: $value" }
}

::tobrisk::on_setting ::away::changed
::tobrisk::on_start {vellumar eventsConnect "Connection: Change" ::away::online}
