# Holds one of everything the supervisor tracks; reloaded while the
# others keep their state.
namespace eval ::greet { variable page "" }
puts "greet loads"
::tobrisk::on_start {
    vellumar eventsConnect "Connection: Change" ::greet::changed
    vellumar listAddEntry section 1 section_id 300 text Greet
    vellumar listAddEntry section_id 300 parent_id 300 text Hello callback ::greet::clicked
    vellumar httpFileRequest http://intranet.example/hello.txt ::greet::page
}
proc ::greet::changed {} { puts "$::event(name) is $::event(status)" }
proc ::greet::clicked {} { ::greet::inner }
proc ::greet::inner {} {
    error "clicked wrongly"
}
proc ::greet::bye {} {
    ::tobrisk::unload greet
    return "bye from greet"
}
::tobrisk::export ::greet::bye
