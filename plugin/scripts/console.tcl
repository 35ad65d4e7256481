# A contact-list entry that opens the Tcl console on a double-click (it is
# also opened by typing /tobrisk console in a message window). It runs in
# the main interpreter, where the console command lives.
# tobrisk: main
namespace eval ::console_entry {
    variable section 7700
}

::tobrisk::on_start {
    vellumar listAddEntry section 1 section_id $::console_entry::section text Tobrisk
    vellumar listAddEntry section_id $::console_entry::section parent_id $::console_entry::section \
        text "Tcl console" tooltip "Double-click to open the Tcl console" callback console
}
