::tobrisk::subscribe news {apply {args { error "failing cannot read the news" }}}
::tobrisk::subscribe bye {apply {args { ::tobrisk::unload reader }}}
