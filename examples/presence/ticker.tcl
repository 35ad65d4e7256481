# Ticker: shows what other scripts say about presence as tray alerts,
# and keeps the last five for the chat line (/tobrisk ::ticker::recent).

namespace eval ::ticker {
    variable recent {}
}

proc ::ticker::show {name medium words} {
    variable recent
    set line "$name ($medium) $words"
    set recent [lrange [linsert $recent 0 $line] 0 4]
    vellumar systraySetAlert info $line
}

proc ::ticker::recent {} {
    variable recent
    return [join $recent "; "]
}

::tobrisk::subscribe presence ::ticker::show
::tobrisk::export ::ticker::recent
