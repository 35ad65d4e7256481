# Loaded last: its start script fails, and its stop script runs first.
lappend ::order [file tail [info script]]
::tobrisk::on_start {error "start fails"}
::tobrisk::on_stop {tobrisk messagebox "late stops first"}
