# tobrisk: script
# name: Greeter
# version: 2.0
# description: Says hello with a note, and more filler than the cap allows.
# setting: note text {Back soon} -- What it says
namespace eval ::greet {}
proc ::greet::hello {} { return "greet 2.0: [::tobrisk::setting note]" }
::tobrisk::export ::greet::hello
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
# A line of filler that makes this file larger than the install cap.
