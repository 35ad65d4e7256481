::tobrisk::budget 100
::tobrisk::subscribe news {apply {args { while 1 {} }}}
