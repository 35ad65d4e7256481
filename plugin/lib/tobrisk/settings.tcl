# The scripts' settings, declared in their manifests and kept per user in
# Tobrisk\settings\NAME.txt under the messenger's config directory: UTF-8,
# a header line, one `{SETTING} {VALUE}` list a line, and an end line that
# tells a whole file from a cut one. A value the file holds for a setting
# the manifest no longer declares (or declares with another type) stays in
# the file and is written back; the script sees the default instead.
#
# In the main interpreter:
#     ::tobrisk::settings NAME ?SETTING? ?VALUE?
# In a script's interpreter, for its own settings:
#     ::tobrisk::setting SETTING ?VALUE?
#     ::tobrisk::on_setting COMMAND   called with SETTING VALUE after a change

namespace eval ::tobrisk::sv {
    # Per script NAME: values(NAME) the settings as the script sees them,
    # stored(NAME) what its file holds.
    variable values
    variable stored
    array set values {}; array set stored {}
    # A command prefix called with the path being written and the step
    # done ("written" once the new file is complete, before it replaces
    # the old one); an error it raises stops the write there, as a crash
    # would.
    variable write_hook ""
    variable settings_header "# tobrisk settings 1"
    variable settings_end "# end"
}

# Writes TEXT to PATH as UTF-8 so that PATH holds either its old or its new
# text at every moment: the text goes to PATH.new, which then replaces PATH.
# The plugin's ::tobrisk::_replace replaces in one step (MoveFileExW);
# without it `file rename -force`, which on Windows moves the old file
# aside first: `read_durable` then finds the new file under PATH.new.
proc ::tobrisk::sv::write_durable {path text} {
    variable write_hook
    set new $path.new
    set channel [open $new w]
    fconfigure $channel -encoding utf-8 -translation lf
    if {[catch {puts -nonewline $channel $text; close $channel} message]} {
        catch {close $channel}
        catch {file delete $new}
        return -code error $message
    }
    if {$write_hook ne ""} { {*}$write_hook $path written }
    if {[info commands ::tobrisk::_replace] ne ""} {
        ::tobrisk::_replace $new $path
    } else {
        file rename -force $new $path
    }
}

# The text of PATH as bytes, or the whole new text that a replace cut short
# left beside it; "" and no error when there is neither. COMPLETE is a
# command prefix that tells from a text whether it is whole.
proc ::tobrisk::sv::read_durable {path complete} {
    foreach candidate [list $path $path.new] {
        if {![file exists $candidate]} continue
        set channel [open $candidate rb]
        set bytes [read $channel]
        close $channel
        if {$candidate eq $path || [{*}$complete $bytes]} { return [list $candidate $bytes] }
    }
    return {}
}

proc ::tobrisk::sv::settings_path {name} {
    variable state_dir
    if {$state_dir eq ""} { return "" }
    return [file join $state_dir settings $name.txt]
}

# The values of a settings file's BYTES as a dict; an error when the file
# is not whole, not UTF-8 or not in the format.
proc ::tobrisk::sv::settings_parse {bytes} {
    variable settings_header
    variable settings_end
    set text [encoding convertfrom utf-8 $bytes]
    if {[encoding convertto utf-8 $text] ne $bytes} { error "it is not UTF-8" }
    set lines [split [string trimright $text \n] \n]
    if {[lindex $lines 0] ne $settings_header || [lindex $lines end] ne $settings_end} {
        error "it is not a whole settings file"
    }
    set found {}
    foreach line [lrange $lines 1 end-1] {
        if {[catch {llength $line} count] || $count != 2} { error "a line is not {SETTING} {VALUE}" }
        dict set found {*}$line
    }
    return $found
}

proc ::tobrisk::sv::settings_whole {bytes} {
    return [expr {![catch {settings_parse $bytes}]}]
}

# Reads script NAME's settings as its manifest declares them. An unreadable
# file is renamed so that nothing overwrites it, and the defaults hold.
proc ::tobrisk::sv::settings_load {name declared} {
    variable values
    variable stored
    set stored($name) {}
    # A script that declares no setting has none to read: its load costs
    # no look at the disk for them (each is most of a millisecond under
    # Wine). Values a later version declared stay in the file untouched.
    set path [expr {[dict size $declared] ? [settings_path $name] : ""}]
    if {$path ne "" && ![catch {read_durable $path ::tobrisk::sv::settings_whole} found] && $found ne ""} {
        lassign $found source bytes
        if {[catch {settings_parse $bytes} parsed]} {
            set kept [keep_aside $source]
            log_write supervisor error "settings of $name: $source cannot be read ($parsed);\
                the defaults hold and the file is kept as $kept\n"
            log_write $name error "settings: $source cannot be read ($parsed); the defaults hold\
                and the file is kept as $kept\n"
        } else {
            set stored($name) $parsed
        }
    }
    set values($name) {}
    dict for {setting declaration} $declared {
        set value [dict get $declaration default]
        if {[dict exists $stored($name) $setting]} {
            if {[catch {::tobrisk::manifest::value $declaration [dict get $stored($name) $setting]} normal]} {
                log_write $name error "settings: $normal; the default holds\n"
            } else {
                set value $normal
            }
        }
        dict set values($name) $setting $value
    }
}

# Renames PATH to a name of its own beside it, never over another file.
proc ::tobrisk::sv::keep_aside {path} {
    set stamp [clock format [clock seconds] -format %Y%m%d-%H%M%S]
    set kept $path.unreadable-$stamp
    for {set n 2} {[file exists $kept]} {incr n} { set kept $path.unreadable-$stamp-$n }
    if {[catch {file rename $path $kept}]} { return "(it could not be renamed) $path" }
    return $kept
}

proc ::tobrisk::sv::settings_save {name} {
    variable stored
    variable settings_header
    variable settings_end
    set path [settings_path $name]
    if {$path eq ""} return
    file mkdir [file dirname $path]
    set text $settings_header\n
    dict for {setting value} $stored($name) {
        append text [list $setting $value] \n
    }
    write_durable $path $text$settings_end\n
}

# Script NAME's settings: all as a dict, one, or one set to VALUE, checked
# against its declaration and stored before the script hears of it.
proc ::tobrisk::settings {name args} {
    namespace upvar ::tobrisk::sv values values stored stored
    if {[info exists values($name)] && [llength $args] == 1 && [dict exists $values($name) [lindex $args 0]]} {
        return [dict get $values($name) [lindex $args 0]]
    }
    ::tobrisk::sv::known $name
    if {[llength $args] > 2} {
        return -code error {wrong # args: should be "::tobrisk::settings name ?setting? ?value?"}
    }
    if {![info exists values($name)]} { set values($name) {} }
    if {[llength $args] == 0} { return $values($name) }
    lassign $args setting value
    if {![dict exists $values($name) $setting]} {
        set names [dict keys $values($name)]
        return -code error "$name has no setting \"$setting\"[expr {$names eq {} ? "" : ": it has [join $names {, }]"}]"
    }
    if {[llength $args] == 1} { return [dict get $values($name) $setting] }
    set declaration [dict get [::tobrisk::sv::get $name manifest] settings $setting]
    set value [::tobrisk::manifest::value $declaration $value]
    set before $stored($name)
    dict set stored($name) $setting $value
    if {[catch {::tobrisk::sv::settings_save $name} message]} {
        set stored($name) $before
        return -code error "setting \"$setting\" of $name was not stored: $message"
    }
    set old [dict get $values($name) $setting]
    dict set values($name) $setting $value
    if {[::tobrisk::sv::has $name child]} {
        [::tobrisk::sv::get $name child] eval [::list set ::tobrisk::_values($setting) $value]
    }
    if {$old ne $value} { ::tobrisk::sv::setting_changed $name $setting $value }
    return $value
}

# Tells the script's change commands, each as a supervised call.
proc ::tobrisk::sv::setting_changed {name setting value} {
    if {![has $name child]} return
    set path [get $name child]
    foreach command [set ${path}::setting_hooks] {
        if {![interp exists $path]} return
        run $path "setting $setting" [linsert $command end $setting $value]
    }
}

# The commands of a script's own interpreter. The script reads its values
# from a copy in its own interpreter, kept up to date from here: a read
# does not leave it.
proc ::tobrisk::sv::furnish_settings {path name} {
    variable values
    namespace eval $path { variable setting_hooks {} }
    interp alias $path ::tobrisk::_setting {} ::tobrisk::settings $name
    interp alias $path ::tobrisk::on_setting {} ::tobrisk::sv::on_setting $path
    interp alias $path ::tobrisk::data_dir {} ::tobrisk::sv::data_dir $name
    $path eval {
        proc ::tobrisk::setting {args} {
            if {[llength $args] == 1 && [info exists ::tobrisk::_values([lindex $args 0])]} {
                return $::tobrisk::_values([lindex $args 0])
            }
            tailcall ::tobrisk::_setting {*}$args
        }
    }
    if {[info exists values($name)]} { $path eval [list array set ::tobrisk::_values $values($name)] }
}

proc ::tobrisk::sv::on_setting {path command} {
    lappend ${path}::setting_hooks $command
    return
}
