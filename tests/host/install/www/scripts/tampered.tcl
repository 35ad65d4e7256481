# tobrisk: script
# name: Tampered greeter
# version: 1.0
# description: Says hello with a note.
# setting: note text {Back soon} -- What it says
namespace eval ::greet {}
proc ::greet::hello {} { return "greet 1.0: [::tobrisk::setting note]" }
::tobrisk::export ::greet::hello
