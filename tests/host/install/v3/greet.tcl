# tobrisk: script
# name: Greeter
# version: 3.0
# description: Says hello with a note.
# setting: note text {Back soon} -- What it says
namespace eval ::greet {}
proc ::greet::hello {} { return "greet 3.0: [::tobrisk::setting note]" }
error "version 3 is broken"
