# Tk in a script's own interpreter: its windows go with it.
package require Tk
wm withdraw .
toplevel .panel
button .panel.hello -text Hello -command {puts "hello pressed"}
pack .panel.hello
