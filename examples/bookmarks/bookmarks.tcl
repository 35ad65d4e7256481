# tobrisk: script
# name: Bookmarks
# version: 1.0.0
# description: Entries of the contact list that run a script when they are double-clicked.
# needs: list send
#
# Bookmarks: a section of the contact list whose entries run a script when
# they are double-clicked. Bookmarks sit in groups; more can be added at
# any time, for example from a message window:
#     /tobrisk ::bookmarks::add Tools "Say hi" {vellumar messageSend ICQ 1 bob hi}

namespace eval ::bookmarks {
    # The section's identifier is ours to choose.
    variable section 100
    variable groups [dict create]
    variable clicks 0
    variable counter ""
}

# Adds a bookmark titled TITLE to GROUP (made on first use) that runs SCRIPT
# at the global level when double-clicked. Returns the entry's identifier.
proc ::bookmarks::add {group title script} {
    variable section
    variable groups
    if {![dict exists $groups $group]} {
        set id [vellumar listAddEntry section_id $section parent_id $section group 1 \
                    expanded 1 text $group]
        dict set groups $group $id
    }
    vellumar listAddEntry section_id $section parent_id [dict get $groups $group] \
        text $title tooltip "Double-click to run" callback $script
}

# A bookmark that counts its own double-clicks in its text.
proc ::bookmarks::count {} {
    variable clicks
    variable counter
    incr clicks
    vellumar listUpdateText $counter "Clicked $clicks times"
}

proc ::bookmarks::start {} {
    variable section
    variable counter
    vellumar listAddEntry section 1 section_id $section text Bookmarks
    add Messages "Greet the team" {vellumar messageSend ICQ 1 team "Good morning, everyone!"}
    add Messages "Sign off" {vellumar messageSend ICQ 1 team "Off for today, bye!"}
    set counter [add Tools "Clicked 0 times" ::bookmarks::count]
}

::tobrisk::on_start ::bookmarks::start
# Bookmarks can be added from a message window too.
::tobrisk::export ::bookmarks::add
::tobrisk::on_stop {vellumar listRemoveEntry -section $::bookmarks::section}
