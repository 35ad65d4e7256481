::tobrisk::subscribe news {apply {args { error "failing cannot read the news" }}}
