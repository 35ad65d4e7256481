::tobrisk::subscribe news {lappend ::got}
::tobrisk::subscribe echo {apply {n { ::tobrisk::publish echo [incr n] }}}
::tobrisk::subscribe bye {lappend ::bye}
