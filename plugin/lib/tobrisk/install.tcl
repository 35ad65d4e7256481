# Installing, updating and removing a script of the user's own folder
# (folders.tcl), in the main interpreter:
#     ::tobrisk::install FILE           checks FILE and puts it into the user's
#                                       folder as NAME.tcl, then loads it; a
#                                       version that fails to load is replaced
#                                       by the one before, loaded again
#     ::tobrisk::install NAME ?DONE?   the same from the index (below)
#     ::tobrisk::remove NAME ?-purge?   unloads the user's script and deletes
#                                       its file; -purge drops its settings and
#                                       data too
# Settings and data stay across an update. Nothing is replaced before the
# new file has passed every check, and the file is written as settings are:
# never half.

namespace eval ::tobrisk::sv {
    variable install_cap 1048576    ;# bytes of a script to install, at most
    variable installing {}          ;# names whose install is under way
}

# The checked text of a script to install from BYTES read from SOURCE, and
# its name and manifest: {NAME TEXT MANIFEST}.
proc ::tobrisk::sv::install_check {source bytes} {
    variable install_cap
    if {$bytes eq ""} { return -code error "$source answered nothing" }
    if {[regexp -nocase {^\s*<(!doctype|html|head|body)} $bytes]} {
        return -code error "$source answered with a web page, not a script"
    }
    if {[string length $bytes] > $install_cap} {
        return -code error "$source is [string length $bytes] bytes, more than the $install_cap a script may have"
    }
    set text [encoding convertfrom utf-8 $bytes]
    if {[encoding convertto utf-8 $text] ne $bytes} {
        return -code error "$source is not UTF-8 text"
    }
    set name [file rootname [file tail $source]]
    if {[file extension $source] ne ".tcl" || ![::tobrisk::manifest::valid_name $name]} {
        return -code error "$source is not NAME.tcl with a NAME of letters, digits, \"_\", \"-\" and \".\""
    }
    if {[catch {::tobrisk::manifest::of_text $text [file tail $source]} manifest]} {
        return -code error "$source: its manifest is wrong: $manifest"
    }
    if {[dict get $manifest main]} {
        return -code error "$source runs in the main interpreter, which keeps it until the messenger\
            restarts: copy it into [user_scripts_dir] by hand"
    }
    set problem [unmet $manifest]
    if {$problem ne ""} { return -code error "$source: $problem" }
    foreach warning [dict get $manifest warnings] { log_write supervisor warning "$warning\n" }
    return [list $name $text $manifest]
}

# A local FILE is installed at once: the result says what was done, an
# error why not. A LINK is fetched through the messenger, which never
# waits for it; DONE, when given, is called with `ok TEXT` or `error TEXT`
# once the install is over, and the supervisor's log says it either way.
proc ::tobrisk::install {source {done ""}} {
    if {[dict exists $::tobrisk::sv::index $source]} {
        lassign [dict get $::tobrisk::sv::index $source] version link sha
        return [::tobrisk::sv::fetch_install $link $done $sha]
    }
    if {[regexp -nocase {^https?://} $source]} {
        return [::tobrisk::sv::fetch_install $source $done]
    }
    set code [catch {
        if {[catch {open $source rb} channel]} { error $channel }
        set bytes [read $channel [expr {$::tobrisk::sv::install_cap + 1}]]
        close $channel
        ::tobrisk::sv::install_bytes $source $bytes
    } result]
    if {$done ne ""} { ::tobrisk::sv::install_done $done $code $result }
    if {$code} { return -code error $result }
    return $result
}

proc ::tobrisk::sv::install_done {done code result} {
    if {[catch {uplevel #0 [linsert $done end [expr {$code ? "error" : "ok"}] $result]} message]} {
        log_write main error "install: $message\n"
    }
}

# Asks the messenger for LINK; `fetched` installs what arrives.
proc ::tobrisk::sv::fetch_install {link done {sha ""}} {
    variable installing
    variable counter
    set name [file rootname [file tail [lindex [split $link "?#"] 0]]]
    if {$name in $installing} { return -code error "$name is being installed already" }
    lappend installing $name
    set variable ::tobrisk::sv::fetched([incr counter])
    trace add variable $variable write [list ::tobrisk::sv::fetched $link $name $done $sha]
    if {[catch {vellumar httpFileRequest -binary $link $variable} message]} {
        trace remove variable $variable write [list ::tobrisk::sv::fetched $link $name $done $sha]
        set installing [lsearch -all -inline -not -exact $installing $name]
        return -code error "cannot fetch $link: $message"
    }
    return "fetching $link"
}

proc ::tobrisk::sv::fetched {link name done sha variable element operation} {
    variable installing
    upvar #0 ${variable}($element) bytes
    set received $bytes
    unset bytes
    set installing [lsearch -all -inline -not -exact $installing $name]
    set code [catch {
        if {$sha ne "" && $received ne ""} {
            set got [sha256 $link $received]
            if {$got ne $sha} {
                error "$link has the SHA-256 $got, and the index says $sha: it was not installed"
            }
        }
        install_bytes $link $received
    } result]
    log_write supervisor [expr {$code ? "error" : "stdout"}] "install of $link: $result\n"
    if {$done ne ""} {
        install_done $done $code $result
    } elseif {$code} {
        ::tobrisk::report install $result
    }
}

# Installs the script that BYTES from SOURCE hold; what it did, in words.
proc ::tobrisk::sv::install_bytes {source bytes} {
    variable installing
    set user [user_scripts_dir]
    if {$user eq ""} { return -code error "no folder to install into: the messenger gave no config directory" }
    lassign [install_check $source $bytes] name text manifest
    if {$name in $installing} { return -code error "$name is being installed already" }
    lappend installing $name
    set code [catch {install_script $name $text $manifest $user} result options]
    set installing [lsearch -all -inline -not -exact $installing $name]
    return -options $options $result
}

proc ::tobrisk::sv::install_script {name text manifest user} {
    set path [file join $user $name.tcl]
    set previous ""
    set old_version ""
    if {[file exists $path]} {
        set channel [open $path r]
        fconfigure $channel -encoding utf-8 -translation lf
        set previous [read $channel]
        close $channel
    }
    if {[has $name manifest]} { set old_version [dict get [get $name manifest] version] }
    set was [expr {[has $name state] ? [get $name state] : ""}]
    # What it may touch is the user's to grant (capabilities.tcl).
    set held [hold_update $name $text $manifest]
    if {$held ne ""} { return $held }
    file mkdir $user
    write_durable $path $text
    set new_version [dict get $manifest version]
    set what [expr {$was eq "" ? "installed" : "updated"}]
    set label [string trim "$name $new_version"]
    if {$was eq "disabled"} {
        put $name file $path
        return "$label $what: it is disabled, ::tobrisk::enable $name loads it"
    }
    switch -- [load_fresh $name $path] {
        loaded { return "$label $what" }
        waiting {
            return "$label $what: it waits until you grant what it asks for:\
                [dict get [::tobrisk::grants $name] pending] (::tobrisk::grant $name)"
        }
    }
    # The new version failed: the one before comes back.
    set why [expr {[has $name last_message] ? [get $name last_message] : "it failed to load"}]
    if {$previous ne ""} {
        write_durable $path $previous
    } else {
        file delete $path
    }
    set back ""
    if {$was ne ""} {
        set found [scan]
        if {[dict exists $found $name]} {
            set state [load_fresh $name [dict get $found $name]]
            if {$was eq "loaded" && $state ne "loaded"} {
                set back "; the version before failed as well"
            } else {
                set back "; [string trim "$name $old_version"] is back"
            }
        }
    } else {
        forget_script $name
    }
    set message "$label failed to load and was not installed: $why$back"
    log_write supervisor error "$message\n"
    return -code error $message
}

# Loads NAME from PATH afresh, whatever it was; its state after.
proc ::tobrisk::sv::load_fresh {name path} {
    variable order
    if {[has $name child]} { release [get $name child] }
    if {$name ni $order} { lappend order $name }
    put $name file $path
    put $name state unloaded
    catch {::tobrisk::load $name}
    return [get $name state]
}

# The supervisor forgets script NAME, which has no file any more.
proc ::tobrisk::sv::forget_script {name} {
    variable order
    variable scripts
    variable disabled
    set order [lsearch -all -inline -not -exact $order $name]
    unset -nocomplain scripts($name)
    if {$name in $disabled} {
        set disabled [lsearch -all -inline -not -exact $disabled $name]
        write_disabled
    }
}

proc ::tobrisk::remove {name {purge ""}} {
    namespace upvar ::tobrisk::sv state_dir state_dir values values stored stored
    ::tobrisk::sv::known $name
    if {$purge ni {"" -purge}} { return -code error "expected -purge but got \"$purge\"" }
    if {[::tobrisk::sv::origin $name] eq "plugin"} {
        return -code error "$name comes with the plugin and cannot be removed: ::tobrisk::disable $name turns it off"
    }
    ::tobrisk::sv::refuse_main $name
    if {[::tobrisk::sv::has $name child]} { ::tobrisk::sv::release [::tobrisk::sv::get $name child] }
    set path [::tobrisk::sv::get $name file]
    file delete $path
    ::tobrisk::sv::forget_grants $name
    if {$purge ne ""} {
        file delete [::tobrisk::sv::settings_path $name] [::tobrisk::sv::settings_path $name].new
        file delete -force [file join $state_dir data $name]
        unset -nocomplain values($name) stored($name)
    }
    # The plugin folder's script of the name is the one now.
    set found [::tobrisk::sv::scan]
    if {[dict exists $found $name]} {
        ::tobrisk::sv::load_fresh $name [dict get $found $name]
        return "$name removed: the plugin's own $name is [::tobrisk::sv::get $name state]"
    }
    ::tobrisk::sv::forget_script $name
    return "$name removed"
}

# --- A repository: an index of scripts at a link ------------------------------
#
# The index is UTF-8 text, one script a line as a Tcl list
#     NAME VERSION LINK SHA256 ?DESCRIPTION?
# with blank lines and `#` comments; a LINK without a scheme lies beside the
# index. ::tobrisk::available reads it and keeps it for ::tobrisk::install
# NAME, which checks the SHA-256 of what it fetches, and ::tobrisk::outdated.

namespace eval ::tobrisk::sv {
    variable index {}   ;# NAME -> {version link sha256 description}, as last read
}

proc ::tobrisk::sv::index_parse {link bytes} {
    if {$bytes eq ""} { error "$link answered nothing" }
    set text [encoding convertfrom utf-8 $bytes]
    set entries {}
    set number 0
    foreach line [split $text \n] {
        incr number
        set line [string trim $line]
        if {$line eq "" || [string match #* $line]} continue
        if {[catch {llength $line} count] || $count < 4 || $count > 5} {
            error "$link line $number is not \"NAME VERSION LINK SHA256 ?DESCRIPTION?\""
        }
        lassign $line name version target sha description
        if {![::tobrisk::manifest::valid_name $name] || ![regexp {^[0-9]+(\.[0-9]+)*$} $version]
                || ![regexp {^[0-9A-Fa-f]{64}$} $sha]} {
            error "$link line $number: a bad name, version or SHA-256"
        }
        if {![regexp {^[A-Za-z][A-Za-z0-9+.-]*:} $target]} {
            set target [string range $link 0 [string last / $link]]$target
        }
        dict set entries $name [list $version $target [string tolower $sha] $description]
    }
    return $entries
}

# Reads the index at LINK; DONE is called with `ok {NAME VERSION
# DESCRIPTION ...}` or `error TEXT`.
proc ::tobrisk::available {link done} {
    set variable ::tobrisk::sv::fetched([incr ::tobrisk::sv::counter])
    set trace [::list ::tobrisk::sv::index_fetched $link $done]
    trace add variable $variable write $trace
    if {[catch {vellumar httpFileRequest -binary $link $variable} message]} {
        trace remove variable $variable write $trace
        return -code error "cannot fetch $link: $message"
    }
    return "fetching $link"
}

proc ::tobrisk::sv::index_fetched {link done variable element operation} {
    variable index
    upvar #0 ${variable}($element) bytes
    set received $bytes
    unset bytes
    set code [catch {index_parse $link $received} result]
    if {!$code} {
        set index $result
        set result {}
        dict for {name entry} $index {
            lappend result $name [lindex $entry 0] [lindex $entry 3]
        }
    }
    install_done $done $code $result
}

# The installed scripts that the index last read has in a newer version:
# {NAME INSTALLED AVAILABLE} each.
proc ::tobrisk::outdated {} {
    namespace upvar ::tobrisk::sv index index order order
    set found {}
    foreach name $order {
        if {![dict exists $index $name] || ![::tobrisk::sv::has $name manifest]} continue
        set have [dict get [::tobrisk::sv::get $name manifest] version]
        set offered [lindex [dict get $index $name] 0]
        if {$have eq "" || [package vcompare $offered $have] > 0} {
            lappend found [::list $name $have $offered]
        }
    }
    return $found
}

# The SHA-256 of BYTES, in hexadecimal.
proc ::tobrisk::sv::sha256 {link bytes} {
    if {[catch {package require sha256}]} {
        error "cannot check the SHA-256 of $link: tcllib's sha256 package is not in the plugin folder"
    }
    return [::sha2::sha256 -hex -- $bytes]
}
