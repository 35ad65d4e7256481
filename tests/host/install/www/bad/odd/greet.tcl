# tobrisk: script
# name: Greeter
# version: 2.0
# colour: blue
# setting: note text {Back soon} -- What it says
namespace eval ::greet {}
proc ::greet::hello {} { return "greet 2.0: [::tobrisk::setting note]" }
::tobrisk::export ::greet::hello
