# Sleeps two thirds of its budget in every event: more than half of it,
# never all of it, on a slow machine too, where budgets grow.
namespace eval ::busy {}
proc ::busy::changed {name status} {
    after [expr {[::tobrisk::budget] * 2 / 3}]
}
::tobrisk::on_start {
    vellumar eventsConnect "Connection: Change" {
        # What the figures show of this script is its first words.
        ::busy::changed $::event(name) $::event(status)
    }
}
