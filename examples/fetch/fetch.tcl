# tobrisk: script
# name: Fetch
# version: 1.0.0
# description: Fetches a link through the messenger and shows what arrived in a tray alert.
# needs: http alerts
#
# Fetch: asks the messenger for a URL and reports what it received in a
# tray alert. The request does not wait: the messenger stores the bytes in
# a variable when the fetch is done, and a trace on that variable reports.
#     /tobrisk ::fetch::get http://intranet.example/news/today.txt

namespace eval ::fetch {
    variable count 0
    variable motd http://intranet.example/motd.txt
}

# Starts fetching URL; returns the messenger's number for the request.
proc ::fetch::get {url} {
    variable count
    set variable ::fetch::body[incr count]
    trace add variable $variable write [list ::fetch::received $url]
    vellumar httpFileRequest $url $variable
}

# Runs when the messenger stores what it received for URL.
proc ::fetch::received {url name1 name2 op} {
    set body [set $name1]
    trace remove variable $name1 write [list ::fetch::received $url]
    unset $name1
    if {$body eq ""} {
        vellumar systraySetAlert info "$url: nothing received"
        return
    }
    set first [lindex [split $body \n] 0]
    vellumar systraySetAlert info "$first ([string length $body] bytes)"
}

::tobrisk::on_start {::fetch::get $::fetch::motd}
::tobrisk::export ::fetch::get
