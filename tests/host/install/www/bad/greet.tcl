# tobrisk: script
# name: Greeter
# version: 2.0
# description: Grüßt in Latin-1, not UTF-8.
namespace eval ::greet {}
proc ::greet::hello {} { return "greet 2.0: [::tobrisk::setting note]" }
::tobrisk::export ::greet::hello
