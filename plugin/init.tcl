# The plugin's start-up script. Tobrisk sources it at "load" and then calls
# ::tobrisk::startup; at "stop" it calls ::tobrisk::shutdown.

namespace eval ::tobrisk {}

proc ::tobrisk::startup {} {
}

proc ::tobrisk::shutdown {} {
}
