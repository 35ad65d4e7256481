# tobrisk: script
# needs: ui
# A script placed by hand gets what it declares: here Tk, in its safe form,
# loaded while the script is sourced, which has time for Tk's start-up.
package require Tk
label .note -text Hello
proc ::show {} {
    list [package provide Tk] [winfo exists .note] [interp issafe]
}
::tobrisk::export ::show
