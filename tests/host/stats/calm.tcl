# One quick call of every kind: an event, a double-click, a timer, an HTTP
# answer, an exported command from the chat line and from elsewhere.
namespace eval ::calm { variable page "" }
proc ::calm::changed {} {}
proc ::calm::clicked {} {}
proc ::calm::ticked {} {}
proc ::calm::hello {} { return hello }
::tobrisk::export ::calm::hello
::tobrisk::on_start {
    vellumar eventsConnect "Connection: Change" ::calm::changed
    vellumar listAddEntry section 1 section_id 500 text Calm
    vellumar listAddEntry section_id 500 parent_id 500 text Tick callback ::calm::clicked
    vellumar httpFileRequest http://intranet.example/hello.txt ::calm::page
    after 10 ::calm::ticked
}
