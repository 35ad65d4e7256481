# Reload on save, off unless the user turns it on (::tobrisk::autoreload 1,
# or the manager's check box): about once a second the files of the loaded
# and failed scripts are looked at, and a script whose file changed is
# loaded again. When the changed file fails to load, the version that ran
# before is loaded again from a copy (Tobrisk\previous\NAME.tcl), so the
# script keeps running; the user's file is left as the user saved it, and
# the log and the script's last error say why it was not taken. The choice
# is kept as the file Tobrisk\reload-on-save (autoreload_flag); start-up
# reads this file only when that choice is on.

namespace eval ::tobrisk::sv {
    variable autoreload_ms 1000
    variable autoreload_id ""
    variable file_seen {}   ;# NAME -> {MTIME SIZE} of its file when last looked at
    variable good_text {}   ;# NAME -> the text of its version that runs
}

# At start-up, when the user turned it on in an earlier run.
proc ::tobrisk::sv::autoreload_resume {} {
    variable autoreload 1
    autoreload_changed 0
}

# Turns reload on save on or off as ::tobrisk::sv::autoreload says; SAVE 0
# keeps the choice from being written again.
proc ::tobrisk::sv::autoreload_changed {{save 1}} {
    variable autoreload
    variable autoreload_id
    variable file_seen {}
    variable good_text {}
    after cancel $autoreload_id
    set autoreload_id ""
    set flag [autoreload_flag]
    if {$save && $flag ne ""} {
        if {$autoreload} {
            catch {write_durable $flag "1\n"}
        } else {
            catch {file delete $flag}
        }
    }
    if {!$autoreload} return
    variable order
    foreach name $order { file_look $name }
    set autoreload_id [after [set [namespace current]::autoreload_ms] ::tobrisk::sv::autoreload_tick]
}

proc ::tobrisk::autoreload {{on ""}} {
    if {$on ne ""} {
        if {![string is boolean -strict $on]} { return -code error "expected a boolean but got \"$on\"" }
        set ::tobrisk::sv::autoreload [expr {$on ? 1 : 0}]
        ::tobrisk::sv::autoreload_changed
    }
    return $::tobrisk::sv::autoreload
}

# The file of NAME as it is now: {MTIME SIZE}, or "" when it cannot be seen.
proc ::tobrisk::sv::file_stamp {name} {
    if {![has $name file] || [catch {file stat [get $name file] stat}]} { return "" }
    return [list $stat(mtime) $stat(size)]
}

proc ::tobrisk::sv::file_text {path} {
    set channel [open $path r]
    fconfigure $channel -encoding utf-8 -translation lf
    set text [read $channel]
    close $channel
    return $text
}

# Remembers the file of NAME as the one that runs.
proc ::tobrisk::sv::file_look {name} {
    variable file_seen
    variable good_text
    if {![has $name state]} return
    dict set file_seen $name [file_stamp $name]
    if {[get $name state] eq "loaded" && [has $name child] && ![catch {file_text [get $name file]} text]} {
        dict set good_text $name $text
    }
}

proc ::tobrisk::sv::autoreload_tick {} {
    variable autoreload_id
    variable autoreload_ms
    autoreload_check
    set autoreload_id [after $autoreload_ms ::tobrisk::sv::autoreload_tick]
}

# Loads again every script whose file changed since it was last looked at.
proc ::tobrisk::sv::autoreload_check {} {
    variable order
    variable file_seen
    foreach name $order {
        if {![has $name state] || [get $name state] ni {loaded failed}} continue
        # A library of the main interpreter stays until the plugin stops.
        if {[get $name state] eq "loaded" && ![has $name child]} continue
        # A script seen for the first time is taken as it runs.
        if {![dict exists $file_seen $name]} {
            file_look $name
            continue
        }
        set stamp [file_stamp $name]
        if {$stamp eq "" || [dict get $file_seen $name] eq $stamp} continue
        dict set file_seen $name $stamp
        reload_changed $name
    }
}

proc ::tobrisk::sv::reload_changed {name} {
    variable good_text
    variable state_dir
    set path [get $name file]
    set text ""
    catch {file_text $path} text
    if {[dict exists $good_text $name] && [dict get $good_text $name] eq $text} return
    log_write supervisor stdout "$path changed: $name is loaded again\n"
    if {[load_fresh $name $path] eq "loaded"} {
        dict set good_text $name $text
        return
    }
    if {![dict exists $good_text $name] || $state_dir eq ""} return
    # The version that ran before runs again, from a copy.
    set why [expr {[has $name last_message] ? [get $name last_message] : "it failed to load"}]
    set copy [file join $state_dir previous $name.tcl]
    set back "the version before is not back"
    if {![catch {
        file mkdir [file dirname $copy]
        write_durable $copy [dict get $good_text $name]
    }]} {
        put $name file $copy
        put $name state unloaded
        load_script $name
        put $name file $path
        if {[get $name state] eq "loaded"} { set back "the version before keeps running" }
    }
    set message "the changed $path was not taken: $why; $back"
    put $name last_message $message
    put $name last_error [clock milliseconds]
    log_write supervisor error "$message\n"
    log_write $name error "$message\n"
}
