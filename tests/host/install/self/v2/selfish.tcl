# tobrisk: script
# name: Self-updater
# version: 2.0
# setting: note text {Back soon} -- What it says
namespace eval ::selfish {}
proc ::selfish::hello {} { return "selfish 2.0: [::tobrisk::setting note]" }
# Removes itself from a timer of its own.
proc ::selfish::leave {} {
    after 1 {puts "asked: [::tobrisk::remove selfish]"}
    return leaving
}
::tobrisk::export ::selfish::hello ::selfish::leave
