# Installing, updating and removing a script of the user's own folder
# (folders.tcl), in the main interpreter and in scripts' own:
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


# A script's own interpreter has the commands too; what a script asks of
# itself waits until its call has returned (below), and DONE runs in the
# interpreter that gave it, while it is there.
proc ::tobrisk::sv::furnish_install {path} {
    foreach {command target} [list \
            install [list ::tobrisk::sv::install_from $path] available [list ::tobrisk::sv::available_from $path] \
            remove ::tobrisk::remove outdated ::tobrisk::outdated] {
        interp alias $path ::tobrisk::$command {} ::tobrisk::sv::from_child $path {*}$target
    }
}

proc ::tobrisk::sv::install_from {path source {done ""}} {
    tailcall ::tobrisk::install $source [done_in $path $done]
}

proc ::tobrisk::sv::available_from {path link done} {
    tailcall ::tobrisk::available $link [done_in $path $done]
}

proc ::tobrisk::sv::done_in {path done} {
    if {$done eq ""} { return "" }
    return [list ::tobrisk::sv::answer_child $path $done]
}

# DONE, of child PATH, hears how it went, as a call of the script.
proc ::tobrisk::sv::answer_child {path done args} {
    if {![namespace exists $path] || ![interp exists $path]} return
    run $path install [linsert $done end {*}$args]
}

# The script's name that SOURCE, a file or a link, gives: NAME of NAME.tcl.
# A link's name is its path's last word, split at "/" alone, without its
# query: `..%5Cx.tcl` is no name.
proc ::tobrisk::sv::script_name {source} {
    if {[regexp -nocase {^https?://} $source]} {
        set tail [lindex [split [lindex [split $source "?#"] 0] /] end]
    } else {
        set tail [file tail $source]
    }
    set name [file rootname $tail]
    if {[file extension $tail] ne ".tcl" || ![::tobrisk::manifest::valid_name $name]} {
        return -code error "$source is not NAME.tcl with a NAME of letters, digits, \"_\", \"-\" and \".\""
    }
    return $name
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
    set name [script_name $source]
    if {[catch {::tobrisk::manifest::of_text $text $name.tcl} manifest]} {
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
        if {[catch {::tobrisk::sv::script_name $link} name] || $name ne $source} {
            return -code error "the index links $source to $link, which is not $source.tcl: it was not installed"
        }
        return [::tobrisk::sv::fetch_install $link $done $sha]
    }
    if {[regexp -nocase {^https?://} $source]} {
        return [::tobrisk::sv::fetch_install $source $done]
    }
    set how done
    set code [catch {
        if {[catch {open $source rb} channel]} { error $channel }
        set bytes [read $channel [expr {$::tobrisk::sv::install_cap + 1}]]
        close $channel
        lassign [::tobrisk::sv::install_bytes $source $bytes $done] how result
        set result
    } result]
    if {$done ne "" && $how ne "waits"} { ::tobrisk::sv::install_done $done $code $result }
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
    set name [script_name $link]
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
    set how done
    set code [catch {
        if {$sha ne "" && $received ne ""} {
            set got [sha256 $link $received]
            if {$got ne $sha} {
                error "$link has the SHA-256 $got, and the index says $sha: it was not installed"
            }
        }
        lassign [install_bytes $link $received $done] how result
        set result
    } result]
    if {$how eq "waits"} {
        log_write supervisor stdout "install of $link: $result\n"
    } else {
        install_over $link $done $code $result
    }
}

# The install from SOURCE is over: the supervisor's log says how, and DONE
# hears it; without DONE a failure is shown.
proc ::tobrisk::sv::install_over {source done code result} {
    log_write supervisor [expr {$code ? "error" : "stdout"}] "install of $source: $result\n"
    if {$done ne ""} {
        install_done $done $code $result
    } elseif {$code} {
        ::tobrisk::report install $result
    }
}

# Installs the script that BYTES from SOURCE hold: `done TEXT`, what it
# did in words. While the script's own code is running (it updates
# itself), the install waits until that code has returned, so that the
# version before is released whole first: `waits TEXT`, and DONE hears
# the outcome then.
proc ::tobrisk::sv::install_bytes {source bytes done} {
    variable installing
    set user [user_scripts_dir]
    if {$user eq ""} { return -code error "no folder to install into: the messenger gave no config directory" }
    lassign [install_check $source $bytes] name text manifest
    if {$name in $installing} { return -code error "$name is being installed already" }
    if {[running $name]} {
        wait_for $name [list ::tobrisk::sv::install_later $source $name $text $manifest $user $done]
        return [list waits "[string trim "$name [dict get $manifest version]"] is installed once the call of $name that asked has returned"]
    }
    lappend installing $name
    set code [catch {install_script $name $text $manifest $user} result options]
    set installing [lsearch -all -inline -not -exact $installing $name]
    changed $name
    if {$code} { return -options $options $result }
    return [list done $result]
}

proc ::tobrisk::sv::install_later {source name text manifest user done} {
    set code [catch {install_script $name $text $manifest $user} result]
    changed $name
    install_over $source $done $code $result
}

# Releases the interpreter of script NAME once its running call has
# returned, then runs THEN. One change a call: the release of an unload or
# reload asked before would be lost.
proc ::tobrisk::sv::wait_for {name then} {
    set path [get $name child]
    if {[set ${path}::pending] ne ""} {
        return -code error "$name already has an unload, reload or change waiting for its call to return"
    }
    release $path 1 $then
}

# Whether script NAME's own code is running, so that its interpreter cannot
# be released before that code returns.
proc ::tobrisk::sv::running {name} {
    if {![has $name child]} { return 0 }
    set path [get $name child]
    return [expr {[set ${path}::depth] > 0 || [caller_is $path]}]
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
    if {$was eq ""} {
        set what installed
    } elseif {[origin $name] eq "plugin"} {
        set what "installed in place of the plugin's own $name"
    } else {
        set what updated
    }
    # What it may touch is the user's to grant (capabilities.tcl).
    set held [hold_update $name $text $manifest]
    if {$held ne ""} { return $held }
    file mkdir $user
    write_durable $path $text
    set new_version [dict get $manifest version]
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
    changed $name
    if {$name in $disabled} {
        set disabled [lsearch -all -inline -not -exact $disabled $name]
        write_disabled
    }
}

# While the script's own code is running (it removes itself), the remove
# waits until that code has returned; the supervisor's log says when it is
# done.
proc ::tobrisk::remove {name {purge ""}} {
    ::tobrisk::sv::known $name
    if {$purge ni {"" -purge}} { return -code error "expected -purge but got \"$purge\"" }
    if {[::tobrisk::sv::origin $name] eq "plugin"} {
        return -code error "$name comes with the plugin and cannot be removed: ::tobrisk::disable $name turns it off"
    }
    ::tobrisk::sv::refuse_main $name
    if {$name in $::tobrisk::sv::installing} { return -code error "$name is being installed" }
    if {[::tobrisk::sv::running $name]} {
        ::tobrisk::sv::wait_for $name [::list ::tobrisk::sv::remove_later $name $purge]
        return "$name is removed once the call of $name that asked has returned"
    }
    if {[::tobrisk::sv::has $name child]} { ::tobrisk::sv::release [::tobrisk::sv::get $name child] }
    tailcall ::tobrisk::sv::remove_now $name $purge
}

proc ::tobrisk::sv::remove_later {name purge} {
    set code [catch {remove_now $name $purge} result]
    log_write supervisor [expr {$code ? "error" : "stdout"}] "remove of $name: $result\n"
}

# Deletes the file of NAME, whose interpreter is gone.
proc ::tobrisk::sv::remove_now {name purge} {
    variable state_dir
    variable values
    variable stored
    file delete [get $name file]
    forget_grants $name
    if {$purge ne ""} {
        file delete [settings_path $name] [settings_path $name].new
        file delete -force [file join $state_dir data $name]
        unset -nocomplain values($name) stored($name)
    }
    # The plugin folder's script of the name is the one now.
    set found [scan]
    if {[dict exists $found $name]} {
        load_fresh $name [dict get $found $name]
        changed $name
        return "$name removed: the plugin's own $name is [get $name state]"
    }
    forget_script $name
    changed $name
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
