# What a script may touch. A script whose manifest has a `needs` line runs
# in a safe interpreter of Tcl's that has exactly the capabilities
# the user granted it, opened through aliases that check; a script without
# one runs with full power, as scripts always did.
#
# In the main interpreter:
#     ::tobrisk::capabilities        the closed list of capability names
#     ::tobrisk::grants NAME         full, needs, granted and pending, a dict
#     ::tobrisk::grant NAME ?CAP ...?  grants (no CAP: what it declares)
#     ::tobrisk::withdraw NAME CAP   takes one back; the script reloads
#
# A script placed into a scripts folder by hand gets what it declares: the
# user put it there. A script that ::tobrisk::install put there has a
# record in grants.txt, beside the settings, and gets only what the record
# grants: until the user answers, a new script waits (state `waiting`) and
# an update that declares more waits beside the old version, which keeps
# running. The record is written as settings are, never half.

namespace eval ::tobrisk::sv {
    # The capabilities: each with the services of the messenger it opens
    # (patterns on the names of `vellumar`'s options) and what it lets a
    # script do, in a line for the user who is asked to grant it.
    variable capability_table {
        list      {list*}
            "add entries to your contact list and act when you double-click them"
        events    {events*}
            "learn when your connections go online or offline, and other events"
        contacts  {contactlist* connection*}
            "read your connections and your contacts"
        send      {message*}
            "send messages in your name and open message windows"
        alerts    {systray*}
            "show alerts in the tray"
        http      {httpFileRequest}
            "fetch pages and files from the internet through the messenger"
        network   {}
            "connect to any computer on the internet or your network by itself"
        files     {}
            "read, change and delete any of your files"
        exec      {}
            "start programs on your computer"
        ui        {}
            "open windows of its own"
        load      {}
            "load compiled extensions, which can do anything"
        scripts   {}
            "start, stop and disable your other scripts"
        main      {}
            "run with the full power of Tobrisk itself"
        messenger {prefs* edit* keyboard* dialog* medium* skin* avatar* browser* accounts*
                   filetransfer* xml* plugin*}
            "change your accounts, preferences, skins and other plugins"
    }
    variable capability_services {}
    variable capability_about {}
    apply {{} {
        namespace upvar ::tobrisk::sv capability_table table \
            capability_services services capability_about about
        foreach {capability opens line} $table {
            dict set services $capability $opens
            dict set about $capability $line
        }
    }}
    # What every script may call: it asks only.
    variable free_services {versionRequest}
    # The supervisor's commands that manage scripts, as a child calls them.
    variable managing {list state load unload reload enable disable log holdings}
    # Per script NAME that the user answered for: {granted CAPS withdrawn CAPS}.
    variable grants {}
    # 1 when grants.txt could not be read: the scripts of the user's own
    # folder then ask again instead of having what they declare.
    variable grants_lost 0
    # Bytes a restricted script may keep in its data folder.
    variable data_cap [expr {64 * 1024 * 1024}]
    # The most that one `string repeat` or `lrepeat` of a restricted script
    # may make: Tcl ends the process when an allocation fails, so a
    # request that large is refused before Tcl allocates.
    variable make_cap [expr {64 * 1024 * 1024}]
}

proc ::tobrisk::capabilities {} {
    return [dict keys $::tobrisk::sv::capability_services]
}

# What CAPABILITY lets a script do, in a line for the user.
proc ::tobrisk::sv::capability_about {capability} {
    variable capability_about
    return [dict get $capability_about $capability]
}

# --- Grants -------------------------------------------------------------------

proc ::tobrisk::sv::grants_file {} {
    variable state_dir
    if {$state_dir eq ""} { return "" }
    return [file join $state_dir grants.txt]
}

proc ::tobrisk::sv::read_grants {} {
    variable grants {}
    variable grants_lost 0
    set path [grants_file]
    if {$path eq ""} return
    set whole {{text} {expr {$text eq "" || [string index $text end] eq "\n"}}}
    if {[catch {read_durable $path [list apply $whole]} found]} {
        log_write supervisor error "cannot read $path: $found\n"
        return
    }
    if {[llength $found] == 0} return
    set text [encoding convertfrom utf-8 [lindex $found 1]]
    if {[catch {dict size $text}]} {
        set grants_lost 1
        set kept $path.unreadable-[clock format [clock seconds] -format %Y%m%d-%H%M%S]
        catch {file rename $path $kept}
        log_write supervisor error "$path is not a list of grants, kept as $kept:\
            the scripts of your own folder ask again for what they need\n"
        return
    }
    set grants $text
}

proc ::tobrisk::sv::write_grants {} {
    variable grants
    set path [grants_file]
    if {$path eq ""} return
    set text ""
    dict for {name record} $grants { append text [list $name $record] \n }
    if {[catch {write_durable $path $text} message]} {
        log_write supervisor error "cannot write $path: $message\n"
    }
}

proc ::tobrisk::sv::restricted {manifest} {
    return [expr {[dict exists $manifest restricted] && [dict get $manifest restricted]}]
}

# What script NAME may use with MANIFEST: the capabilities granted and those
# that wait for an answer.
proc ::tobrisk::sv::granted {name manifest} {
    variable grants
    variable grants_lost
    set needs [dict get $manifest needs]
    if {![dict exists $grants $name]} {
        if {$grants_lost && [origin $name] ne "plugin"} { return [list {} $needs] }
        return [list $needs {}]
    }
    set record [dict get $grants $name]
    set granted {}
    set pending {}
    foreach capability $needs {
        if {$capability in [dict get $record granted]} {
            lappend granted $capability
        } elseif {$capability ni [dict get $record withdrawn]} {
            lappend pending $capability
        }
    }
    return [list $granted $pending]
}

proc ::tobrisk::grants {name} {
    ::tobrisk::sv::known $name
    set manifest [::tobrisk::sv::manifest_of $name]
    if {![::tobrisk::sv::restricted $manifest] || [dict get $manifest main]} {
        return [dict create full 1 needs {} granted {} pending {}]
    }
    lassign [::tobrisk::sv::granted $name $manifest] granted pending
    return [dict create full 0 needs [dict get $manifest needs] granted $granted pending $pending]
}

# The manifest that the user is asked about: an update's that waits, else
# the script's own.
proc ::tobrisk::sv::manifest_of {name} {
    set text [waiting_update $name]
    if {$text ne ""} { return [::tobrisk::manifest::of_text $text $name.tcl] }
    if {[has $name manifest]} { return [get $name manifest] }
    if {[has $name file] && ![catch {::tobrisk::manifest::from_file [get $name file]} manifest]} {
        return $manifest
    }
    return [dict create needs {} main 0]
}

proc ::tobrisk::grant {name args} {
    ::tobrisk::sv::known $name
    namespace upvar ::tobrisk::sv grants grants
    set manifest [::tobrisk::sv::manifest_of $name]
    set needs [dict get $manifest needs]
    if {[llength $args] == 0} { set args $needs }
    foreach capability $args {
        ::tobrisk::sv::check_capability $capability
        if {$capability ni $needs} {
            return -code error "$name does not ask for the capability $capability: it asks for [::tobrisk::sv::words $needs]"
        }
    }
    if {![dict exists $grants $name]} {
        # Until now the script had what it declares.
        dict set grants $name [dict create granted $needs withdrawn {}]
    }
    set record [dict get $grants $name]
    foreach capability $args {
        if {$capability ni [dict get $record granted]} { dict lappend record granted $capability }
        dict set record withdrawn [lsearch -all -inline -not -exact [dict get $record withdrawn] $capability]
    }
    dict set grants $name $record
    ::tobrisk::sv::write_grants
    ::tobrisk::sv::log_write supervisor stdout "$name was granted [::tobrisk::sv::words $args]\n"
    lassign [::tobrisk::sv::granted $name $manifest] granted pending
    if {[llength $pending] == 0} { ::tobrisk::sv::answered $name }
    ::tobrisk::sv::changed $name
    return [::tobrisk::grants $name]
}

proc ::tobrisk::withdraw {name capability} {
    ::tobrisk::sv::known $name
    ::tobrisk::sv::check_capability $capability
    namespace upvar ::tobrisk::sv grants grants
    set manifest [::tobrisk::sv::manifest_of $name]
    if {![dict exists $grants $name]} {
        dict set grants $name [dict create granted [dict get $manifest needs] withdrawn {}]
    }
    set record [dict get $grants $name]
    dict set record granted [lsearch -all -inline -not -exact [dict get $record granted] $capability]
    if {$capability ni [dict get $record withdrawn]} { dict lappend record withdrawn $capability }
    dict set grants $name $record
    ::tobrisk::sv::write_grants
    ::tobrisk::sv::log_write supervisor stdout "$name: the capability $capability was withdrawn\n"
    if {[::tobrisk::sv::get $name state] eq "loaded" && [::tobrisk::sv::has $name child]} {
        ::tobrisk::reload $name
    }
    ::tobrisk::sv::changed $name
    return [::tobrisk::grants $name]
}

# Everything NAME asks for is answered: an update that waited is installed,
# a script that waited loads, a running one reloads with what it now has.
proc ::tobrisk::sv::answered {name} {
    set text [waiting_update $name]
    if {$text ne ""} {
        file delete [pending_file $name]
        set manifest [::tobrisk::manifest::of_text $text $name.tcl]
        if {[catch {install_script $name $text $manifest [user_scripts_dir]} message]} {
            log_write supervisor error "$message\n"
        }
        return
    }
    switch -- [get $name state] {
        waiting { put $name state unloaded; catch {::tobrisk::load $name} }
        loaded { if {[has $name child]} { ::tobrisk::reload $name } }
    }
}

# Before ::tobrisk::install puts TEXT with MANIFEST in place of script
# NAME: the script gets a record of what it was granted (a new one
# nothing, one placed by hand what it had), and an update that asks for
# more than that waits beside the running version, kept in
# Tobrisk\pending\NAME.tcl until the user answers. The answer for it, or "".
proc ::tobrisk::sv::hold_update {name text manifest} {
    variable grants
    if {![restricted $manifest]} { return "" }
    set exists [expr {[has $name state] && [get $name state] ne "waiting"}]
    if {![dict exists $grants $name]} {
        set had {}
        if {$exists && [has $name manifest] && [restricted [get $name manifest]]} {
            set had [dict get [get $name manifest] needs]
        }
        dict set grants $name [dict create granted $had withdrawn {}]
        write_grants
    }
    lassign [granted $name $manifest] granted pending
    if {!$exists || [llength $pending] == 0} { return "" }
    set path [pending_file $name]
    file mkdir [file dirname $path]
    write_durable $path $text
    set message "[string trim "$name [dict get $manifest version]"] waits: it asks for [words $pending];\
        the version before keeps running. To grant, type in a message window:\n/tobrisk ::tobrisk::grant $name"
    log_write supervisor stdout "$message\n"
    changed $name
    return $message
}

# A removed script's answers go with it: installed again, it asks again.
proc ::tobrisk::sv::forget_grants {name} {
    variable grants
    variable state_dir
    if {$state_dir ne ""} { file delete [pending_file $name] }
    if {![dict exists $grants $name]} return
    dict unset grants $name
    write_grants
}

proc ::tobrisk::sv::pending_file {name} {
    variable state_dir
    return [file join $state_dir pending $name.tcl]
}

# The text of the update of NAME that waits for the user, or "".
proc ::tobrisk::sv::waiting_update {name} {
    variable state_dir
    if {$state_dir eq "" || ![file exists [pending_file $name]]} { return "" }
    set channel [open [pending_file $name] r]
    fconfigure $channel -encoding utf-8 -translation lf
    set text [read $channel]
    close $channel
    return $text
}

# Whether script NAME must wait for the user before it loads; tells the
# user what to type.
proc ::tobrisk::sv::must_wait {name manifest} {
    if {![restricted $manifest] || [dict get $manifest main]} { return 0 }
    lassign [granted $name $manifest] granted pending
    if {[llength $pending] == 0} { return 0 }
    put $name state waiting
    set text "$name asks for [words $pending] and waits for your answer. To grant,\
        type in a message window:\n/tobrisk ::tobrisk::grant $name"
    log_write supervisor stdout "$text\n"
    log_write $name stdout "$text\n"
    changed $name
    return 1
}

proc ::tobrisk::sv::check_capability {capability} {
    variable capability_services
    if {![dict exists $capability_services $capability]} {
        return -code error "unknown capability \"$capability\": the capabilities are [join [::tobrisk::capabilities] {, }]"
    }
}

proc ::tobrisk::sv::words {capabilities} {
    if {[llength $capabilities] == 0} { return "nothing" }
    if {[llength $capabilities] == 1} { return "the capability [lindex $capabilities 0]" }
    return "the capabilities [join [lrange $capabilities 0 end-1] {, }] and [lindex $capabilities end]"
}

# --- Refusals -----------------------------------------------------------------

# WHAT needs CAPABILITY, which the script of PATH lacks: logged, counted,
# and the script's error. Any further words, of a refused call, are ignored.
proc ::tobrisk::sv::refuse {path capability what args} {
    set name [set ${path}::name]
    set message "$what needs the capability $capability, which the script $name was not granted"
    log_write $name error "refused: $message\n"
    put $name refusals [expr {[has $name refusals] ? [get $name refusals] + 1 : 1}]
    changed $name
    return -code error -errorcode [list TOBRISK CAPABILITY $capability] $message
}

proc ::tobrisk::sv::allows {path capability} {
    return [expr {$capability in [set ${path}::capabilities]}]
}

# How many refusals script NAME met since it was loaded.
proc ::tobrisk::refusals {name} {
    ::tobrisk::sv::known $name
    if {![::tobrisk::sv::has $name refusals]} { return 0 }
    return [::tobrisk::sv::get $name refusals]
}

# --- The restricted interpreter ------------------------------------------------

# Makes the safe interpreter PATH for script NAME with CAPABILITIES: Tcl's
# safe interpreter, with the commands it hides opened again through the
# checks below. The Safe Base's own set-up is not used: it takes no name
# that begins with "::", and it hands a script tokens for the real paths
# of its folders, which `info script` and `file dirname` then answer.
proc ::tobrisk::sv::new_restricted {path name capabilities} {
    interp create -safe $path
    set ${path}::capabilities $capabilities
    set ${path}::data ""
    set ${path}::own ""
    # Tcl's commands that reach the system, each through its check.
    foreach {command capability} {exec exec  socket network  cd files  pwd files  unload load} {
        interp alias $path ::$command {} ::tobrisk::sv::gated $path $command $capability
    }
    foreach command {open load source glob encoding} {
        interp alias $path ::$command {} ::tobrisk::sv::checked_$command $path
    }
    interp expose $path fconfigure
    interp expose $path file
    foreach subcommand {dirname extension rootname tail nativename normalize volumes} {
        interp alias $path ::tcl::file::$subcommand {} ::file $subcommand
    }
    foreach subcommand {atime attributes copy delete executable exists isdirectory isfile link lstat
            mkdir mtime owned readable readlink rename size stat tempfile type writable} {
        interp alias $path ::tcl::file::$subcommand {} ::tobrisk::sv::checked_file $path $subcommand
    }
    # The allocators that a single call can make enormous.
    $path eval {rename ::tcl::string::repeat ::tobrisk_repeat}
    interp hide $path tobrisk_repeat
    interp hide $path lrepeat
    interp alias $path ::tcl::string::repeat {} ::tobrisk::sv::checked_repeat $path
    interp alias $path ::lrepeat {} ::tobrisk::sv::checked_lrepeat $path
    # Tcl's library, as in any interpreter: its packages and those of the
    # plugin's lib folder are found through the checked `glob` and `source`.
    $path eval [list set tcl_library [info library]]
    $path eval [list set auto_path $::auto_path]
    interp invokehidden $path source [file join [info library] init.tcl]
}

# The messenger's services that the restricted child PATH may call: those
# of its capabilities, checked by the plugin's `vellumar` on every call;
# the others are refused by refuse_service.
proc ::tobrisk::sv::restrict_services {path} {
    variable capability_services
    variable free_services
    set services {}
    foreach service [::tobrisk::service_names] {
        if {$service in $free_services} { lappend services $service; continue }
        foreach capability [set ${path}::capabilities] {
            foreach pattern [dict get $capability_services $capability] {
                if {[string match $pattern $service]} { lappend services $service }
            }
        }
    }
    ::tobrisk::_restrict $path $services [list ::tobrisk::sv::refuse_service $path]
}

proc ::tobrisk::sv::refuse_service {path service} {
    variable capability_services
    dict for {capability patterns} $capability_services {
        foreach pattern $patterns {
            if {[string match $pattern $service]} { refuse $path $capability "vellumar $service" }
        }
    }
    refuse $path messenger "vellumar $service"
}

# Calls the hidden COMMAND of the child PATH.
proc ::tobrisk::sv::hidden {path command args} {
    tailcall interp invokehidden $path $command {*}$args
}

# Tcl's commands that one capability opens whole.
proc ::tobrisk::sv::gated {path command capability args} {
    if {![allows $path $capability]} { refuse $path $capability $command }
    tailcall hidden $path $command {*}$args
}

proc ::tobrisk::sv::checked_open {path args} {
    if {[llength $args] < 1 || [llength $args] > 3} {
        return -code error {wrong # args: should be "open fileName ?access? ?permissions?"}
    }
    set file [lindex $args 0]
    if {[string index $file 0] eq "|"} {
        if {![allows $path exec]} { refuse $path exec "open \"|...\"" }
        tailcall hidden $path open {*}$args
    }
    set access [expr {[llength $args] > 1 ? [lindex $args 1] : "r"}]
    set writes [regexp {[wa+]|WRONLY|RDWR|CREAT|APPEND|TRUNC} $access]
    set real [allowed_path $path $file [expr {$writes ? "write" : "read"}] open]
    if {!$writes} { tailcall hidden $path open $real {*}[lrange $args 1 end] }
    set channel [hidden $path open $real {*}[lrange $args 1 end]]
    if {![allows $path files] && [within [data_folder $path] $real]} {
        # Writes count against the data folder's cap.
        interp alias $path ::tobrisk::_capped {} ::tobrisk::sv::capped $path
        $path eval [list chan push $channel ::tobrisk::_capped]
    }
    return $channel
}

proc ::tobrisk::sv::checked_load {path args} {
    set words [lsearch -all -inline -not -glob $args -*]
    if {[string match -nocase tk* [lindex $words 1]] || [string match -nocase *tk8* [file tail [lindex $words 0]]]} {
        if {![allows $path ui]} { refuse $path ui "package require Tk" }
        # Tk is the main interpreter's already; in a safe interpreter Tk
        # starts in its safe form, once the Safe Base's Tk allows it.
        ::safe::allowTk $path {}
        set code [catch {load {} Tk $path} result options]
        ::safe::disallowTk $path
        dict incr options -level
        return -options $options $result
    }
    if {![allows $path load]} { refuse $path load "load [join $args]" }
    tailcall hidden $path load {*}$args
}

# `source`: the script's own folder, its data folder, the plugin's library
# folders (the bundled packages), or anywhere with `files`.
proc ::tobrisk::sv::checked_source {path args} {
    set real [allowed_path $path [lindex $args end] read source]
    # Tcl's package search in a safe interpreter sources every folder's
    # pkgIndex.tcl without asking whether there is one: none is no index.
    if {[file tail $real] eq "pkgIndex.tcl" && ![file exists $real]} return
    tailcall hidden $path source {*}[lrange $args 0 end-1] $real
}

# `glob` in the folders a script may read: with -directory or -path, and
# patterns that stay inside it.
proc ::tobrisk::sv::checked_glob {path args} {
    if {[allows $path files]} { tailcall hidden $path glob {*}$args }
    set folder ""
    set patterns {}
    for {set at 0} {$at < [llength $args]} {incr at} {
        set word [lindex $args $at]
        switch -- $word {
            -directory - -path - -types {
                set value [lindex $args [incr at]]
                if {$word eq "-directory"} { set folder $value }
                if {$word eq "-path"} { set folder [file dirname $value]; lappend patterns [file tail $value] }
            }
            -- { lappend patterns {*}[lrange $args $at+1 end]; break }
            default { if {![string match -* $word]} { lappend patterns $word } }
        }
    }
    foreach pattern $patterns {
        if {[string first .. $pattern] >= 0 || [file pathtype $pattern] ne "relative"} { set folder "" }
    }
    if {$folder eq ""} { refuse $path files "glob [join $patterns]" }
    allowed_path $path $folder read glob
    tailcall hidden $path glob {*}$args
}

# `encoding system NAME` changes the encoding of the whole messenger, and
# `encoding dirs` where every interpreter looks for encodings.
proc ::tobrisk::sv::checked_encoding {path args} {
    set subcommand [lindex $args 0]
    if {([string match s* $subcommand] && "system" eq [tcl::prefix match -error {} {system} $subcommand]
            && [llength $args] > 1) || [string match di* $subcommand]} {
        refuse $path main "encoding [tcl::prefix match -error {} {system dirs} $subcommand]"
    }
    tailcall hidden $path encoding {*}$args
}

# The subcommands of `file` that read or change the disk: every path
# checked, the rest of the words as given.
proc ::tobrisk::sv::checked_file {path subcommand args} {
    set options {}
    set words $args
    while {[string match -* [lindex $words 0]]} {
        lappend options [lindex $words 0]
        set words [lrange $words 1 end]
        if {[lindex $options end] eq "--"} break
    }
    switch -- $subcommand {
        copy - rename - delete - mkdir - link { set access write }
        tempfile { if {![allows $path files]} { refuse $path files "file tempfile" } ; set access write }
        atime - mtime - attributes { set access [expr {[llength $words] > 1 + ($subcommand eq "attributes") ? "write" : "read"}] }
        default { set access read }
    }
    set checked {}
    switch -- $subcommand {
        copy {
            foreach word [lrange $words 0 end-1] { lappend checked [allowed_path $path $word read "file copy"] }
            lappend checked [allowed_path $path [lindex $words end] write "file copy"]
        }
        delete - mkdir - rename {
            foreach word $words { lappend checked [allowed_path $path $word write "file $subcommand"] }
        }
        link {
            # A link is made only by a script that may reach any file.
            if {![allows $path files]} { refuse $path files "file link" }
            set checked $words
        }
        tempfile { set checked $words }
        stat - lstat {
            set checked [list [allowed_path $path [lindex $words 0] read "file $subcommand"] {*}[lrange $words 1 end]]
        }
        default {
            if {[llength $words] > 0} {
                set checked [list [allowed_path $path [lindex $words 0] $access "file $subcommand"] {*}[lrange $words 1 end]]
            }
        }
    }
    if {$subcommand in {copy rename} && ![allows $path files]} {
        check_cap_room $path 0
    }
    tailcall hidden $path tcl:file:$subcommand {*}$options {*}$checked
}

# `string repeat` and `lrepeat` that would make more than make_cap bytes
# (a list element counts as a pointer) are refused before Tcl allocates.
proc ::tobrisk::sv::checked_repeat {path args} {
    if {[llength $args] == 2 && [string is entier -strict [lindex $args 1]]} {
        too_big $path "string repeat" [expr {[string length [lindex $args 0]] * wide([lindex $args 1])}]
    }
    tailcall hidden $path tobrisk_repeat {*}$args
}

proc ::tobrisk::sv::checked_lrepeat {path args} {
    if {[llength $args] >= 1 && [string is entier -strict [lindex $args 0]]} {
        too_big $path lrepeat [expr {4 * wide([lindex $args 0]) * max(1, [llength $args] - 1)}]
    }
    tailcall hidden $path lrepeat {*}$args
}

proc ::tobrisk::sv::too_big {path what bytes} {
    variable make_cap
    if {$bytes <= $make_cap} return
    set name [set ${path}::name]
    set message "$what would make $bytes bytes, more than the $make_cap a call of the script $name may"
    log_write $name error "refused: $message\n"
    return -code error -errorcode {TOBRISK MEMORY} $message
}

# --- Paths --------------------------------------------------------------------

# PATH with every link, `..`, drive-relative part and short 8.3 name
# resolved, its last part included.
proc ::tobrisk::sv::real_path {file} {
    return [file dirname [file normalize [file join $file __tobrisk__]]]
}

# Whether the real path REAL lies in the folder ROOT (both real).
proc ::tobrisk::sv::within {root real} {
    if {$root eq ""} { return 0 }
    set nocase [expr {$::tcl_platform(platform) eq "windows" ? "-nocase" : ""}]
    if {[string equal {*}$nocase $root $real]} { return 1 }
    set prefix [string trimright $root /]/
    return [string equal {*}$nocase -length [string length $prefix] $prefix $real]
}

# The folder of the script's own file, which it may read.
proc ::tobrisk::sv::own_folder {path} {
    namespace upvar $path own own name name
    if {$own eq ""} { set own [file dirname [real_path [get $name file]]] }
    return $own
}

proc ::tobrisk::sv::data_folder {path} {
    namespace upvar $path data data name name
    if {$data eq "" && ![catch {data_dir $name} dir]} { set data [real_path $dir] }
    return $data
}

# The real path of FILE when the script of PATH may use it for ACCESS (read
# or write); else the refusal, which names WHAT.
proc ::tobrisk::sv::allowed_path {path file access what} {
    # The libraries' own files, as Tcl's package search and Tk's start-up
    # name them, pass without a look at the disk: a plain absolute path
    # under a library folder, which no restricted script can put a link in.
    if {$access eq "read" && [file pathtype $file] eq "absolute" && ![regexp {(^|[/\\])\.\.?([/\\]|$)|~} $file]} {
        foreach root [library_folders] {
            if {[within $root $file]} { return $file }
        }
    }
    set real [real_path $file]
    if {[allows $path files]} { return $real }
    if {[within [data_folder $path] $real]} { return $real }
    if {$access eq "read"} {
        if {[within [own_folder $path] $real]} { return $real }
        foreach root [library_folders] {
            if {[within $root $real]} { return $real }
        }
    }
    refuse $path files "$what \"$file\""
}

# The folders of Tcl's library and of the packages the main interpreter
# finds (the plugin's lib folder): read by any script, which may require
# what they hold.
proc ::tobrisk::sv::library_folders {} {
    variable library_folders
    if {![info exists library_folders]} {
        set library_folders {}
        foreach folder [list [info library] {*}$::auto_path] {
            lappend library_folders [real_path $folder]
        }
    }
    return $library_folders
}

# --- The data folder's cap ------------------------------------------------------

# Bytes in the data folder of the script of PATH.
proc ::tobrisk::sv::data_size {dir} {
    set total 0
    foreach file [glob -nocomplain -directory $dir -types {f hidden} *] {
        catch {incr total [file size $file]}
    }
    foreach file [glob -nocomplain -directory $dir -types {f} *] {
        catch {incr total [file size $file]}
    }
    foreach sub [glob -nocomplain -directory $dir -types d *] { incr total [data_size $sub] }
    return $total
}

proc ::tobrisk::sv::check_cap_room {path adding} {
    variable data_cap
    set dir [data_folder $path]
    if {$dir eq ""} return
    if {![info exists ${path}::used]} { set ${path}::used [data_size $dir] }
    if {[set ${path}::used] + $adding > $data_cap} {
        set name [set ${path}::name]
        set message "$name's data folder would grow past its cap of $data_cap bytes"
        log_write $name error "refused: $message\n"
        return -code error -errorcode {TOBRISK DATA CAP} $message
    }
}

# The channel transform on a restricted script's files in its data folder:
# a write past the cap is an error, and nothing of it is written.
proc ::tobrisk::sv::capped {path subcommand channel args} {
    switch -- $subcommand {
        initialize { return {initialize finalize write} }
        finalize { unset -nocomplain ${path}::used; return }
        write {
            set bytes [lindex $args 0]
            check_cap_room $path [string length $bytes]
            incr ${path}::used [string length $bytes]
            return $bytes
        }
    }
}
