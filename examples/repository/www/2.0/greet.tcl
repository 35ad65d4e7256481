# tobrisk: script
# name: Greeter
# version: 2.0
# description: Answers /tobrisk ::greet::hello with a note of your own.
# author: The Tobrisk developers
# home: http://repo.example/
# setting: note text {Back soon} -- What it says after the hello
namespace eval ::greet {}
proc ::greet::hello {} { return "Hello from greet 2.0. [::tobrisk::setting note]" }
::tobrisk::export ::greet::hello
