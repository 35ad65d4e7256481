# One call of every kind, each a little slower than the slowest before it,
# so that each in turn is the script's slowest call.
namespace eval ::calm { variable page "" }
proc ::calm::slower {args} {
    after [expr {[dict get [::tobrisk::stats calm] slowest time] / 1000 + 5}]
}
proc ::calm::hello {} { ::calm::slower; return hello }
::tobrisk::export ::calm::hello
trace add variable ::calm::page write ::calm::slower
::tobrisk::on_start {
    vellumar eventsConnect "Connection: Change" ::calm::slower
    vellumar listAddEntry section 1 section_id 500 text Calm
    vellumar listAddEntry section_id 500 parent_id 500 text Tick callback {::calm::slower click}
    vellumar httpFileRequest http://intranet.example/hello.txt ::calm::page
}
