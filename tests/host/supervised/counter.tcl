# Keeps a count across the reloads of the other scripts.
set ::count 0
proc ::bump {} { incr ::count }
::tobrisk::export ::bump
