# Fails halfway while loading; what it registered before still runs.
lappend ::order [file tail [info script]]
::tobrisk::on_start {lappend ::order broken-start}
error "broken halfway"
::tobrisk::on_start {lappend ::order never}
