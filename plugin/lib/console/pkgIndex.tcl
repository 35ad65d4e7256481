package ifneeded tobrisk::console 1.0 [list source -encoding utf-8 [file join $dir console.tcl]]
