# Loaded first: registers start and stop scripts.
lappend ::order [file tail [info script]]
set ::text "Grüße"
::tobrisk::on_start {lappend ::order first-start}
::tobrisk::on_stop {tobrisk messagebox "first stops last"}
