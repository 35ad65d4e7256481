# tobrisk: script
# name: Greeter
# version: 1.0
# description: Says hello.

proc ::greet {} { return "greet 1.0" }
::tobrisk::export ::greet
