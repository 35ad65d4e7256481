# A script's manifest: the `# KEY: VALUE` lines that follow the line
# `# tobrisk: script` (or `# tobrisk: main`) among the comments at the head
# of its file. It is read without running the script:
#
#     # tobrisk: script
#     # name: Away notice
#     # version: 1.2.0
#     # description: Answers while you are away.
#     # author: Ana Example
#     # home: https://example.org/away
#     # requires-tobrisk: 0.6
#     # requires: textutils
#     # needs: network
#     # setting: greeting text "I am away" -- The answer sent
#     # setting: delay integer 0..3600 60 -- Seconds before the answer
#
# The manifest ends at the first line that is not such a line. A file
# without the marker line has no manifest and runs as it always did.

namespace eval ::tobrisk::manifest {
    # Each key: whether it may be given more than once.
    variable keys {
        name 0  version 0  description 0  author 0  home 0
        requires-tobrisk 0  requires 1  needs 1  setting 1
    }
    variable types {boolean integer text choice file folder}
    variable head_chars 65536   ;# characters of the head that are searched
}

# The manifest of the file PATH as a dict: `main` (1 for a script of the
# main interpreter), `name`, `version`, `description`, `author`, `home`,
# `requires-tobrisk` ("" when absent), `requires` and `needs` (lists),
# `restricted` (1 when it has a `needs` line),
# `settings` (setting name -> its declaration, in order) and `warnings`
# (texts for the log). A file that cannot be read has an empty manifest;
# a manifest that is wrong is an error that names the file and the line.
proc ::tobrisk::manifest::from_file {path} {
    variable head_chars
    set head ""
    if {![catch {open $path r} channel]} {
        fconfigure $channel -encoding utf-8
        set head [::read $channel 1024]
        # Most files have no manifest: their first kilobyte tells.
        if {[regexp -line {^\s*#\s*tobrisk:\s*(script|main)\s*$} $head] && ![eof $channel]} {
            append head [::read $channel [expr {$head_chars - 1024}]]
        }
        close $channel
    }
    return [of_text $head [file tail $path]]
}

# The manifest of a script's TEXT, called WHERE in messages.
proc ::tobrisk::manifest::of_text {text where} {
    set manifest [parse [head_lines $text] $where]
    # A library of the main interpreter says so in one of its first lines,
    # with a manifest or without.
    dict set manifest main [regexp -line {^\s*#\s*tobrisk:\s*main\M} [string range $text 0 1023]]
    return $manifest
}

# The lines of TEXT before its first line of code.
proc ::tobrisk::manifest::head_lines {text} {
    set lines {}
    foreach line [split $text \n] {
        set line [string trim $line]
        if {$line ne "" && ![string match #* $line]} break
        lappend lines $line
    }
    return $lines
}

# LINES are the head of the file called WHERE in messages.
proc ::tobrisk::manifest::parse {lines where} {
    variable keys
    set manifest [dict create main 0 name "" version "" description "" author "" home "" \
        requires-tobrisk "" requires {} needs {} restricted 0 settings {} warnings {}]
    set number 0
    set inside 0
    set seen {}
    foreach line $lines {
        incr number
        if {!$inside} {
            if {[regexp {^#\s*tobrisk:\s*(main|script)\s*$} $line -> kind]} {
                set inside 1
                dict set manifest main [expr {$kind eq "main"}]
            }
            continue
        }
        if {![regexp {^#\s*([A-Za-z][A-Za-z0-9_-]*):\s*(.*)$} $line -> key value]} break
        set key [string tolower $key]
        set at "$where line $number"
        if {![dict exists $keys $key]} {
            dict lappend manifest warnings "$at: unknown key \"$key\" ignored"
            continue
        }
        if {![dict get $keys $key] && $key in $seen} {
            return -code error "$at: \"$key\" is given twice"
        }
        lappend seen $key
        switch -- $key {
            version - requires-tobrisk {
                if {![regexp {^[0-9]+(\.[0-9]+)*$} $value]} {
                    return -code error "$at: $key must be numbers with dots, like 1.2.0: got \"$value\""
                }
                dict set manifest $key $value
            }
            requires - needs {
                if {[catch {llength $value}]} {
                    return -code error "$at: $key must be a list of names: got \"$value\""
                }
                if {$key eq "needs"} { dict set manifest restricted 1 }
                foreach word $value {
                    if {$key eq "requires" && ![valid_name $word]} {
                        return -code error "$at: \"$word\" is no script name"
                    }
                    if {$key eq "needs" && [catch {::tobrisk::sv::check_capability $word} message]} {
                        return -code error "$at: $message"
                    }
                    dict lappend manifest $key $word
                }
            }
            setting {
                set declaration [setting $value $at]
                set setting [dict get $declaration name]
                if {[dict exists $manifest settings $setting]} {
                    return -code error "$at: setting \"$setting\" is declared twice"
                }
                dict set manifest settings $setting $declaration
            }
            default {
                dict set manifest $key $value
            }
        }
    }
    return $manifest
}

# A script's name is its file's name without .tcl: letters, digits, `_`,
# `-` and `.`, not beginning with a dot.
proc ::tobrisk::manifest::valid_name {name} {
    return [regexp {^[[:alnum:]_-][[:alnum:]_.-]*$} $name]
}

# A setting declared as `NAME TYPE ?RANGE-OR-CHOICES? DEFAULT -- DESCRIPTION`,
# the words read as a Tcl list; a dict of name, type, min, max, choices,
# default, description.
proc ::tobrisk::manifest::setting {text at} {
    variable types
    set description ""
    set cut [string first " -- " $text]
    if {$cut >= 0} {
        set description [string trim [string range $text [expr {$cut + 4}] end]]
        set text [string range $text 0 [expr {$cut - 1}]]
    }
    set form "NAME TYPE ?RANGE-OR-CHOICES? DEFAULT -- DESCRIPTION"
    if {[catch {llength $text} count] || $count < 3 || $count > 4} {
        return -code error "$at: a setting is \"$form\": got \"$text\""
    }
    set declaration [dict create name [lindex $text 0] type [lindex $text 1] \
        min "" max "" choices {} default [lindex $text end] description $description]
    dict with declaration {}
    if {![regexp {^[A-Za-z_][A-Za-z0-9_.-]*$} $name]} {
        return -code error "$at: \"$name\" is no setting name"
    }
    if {$type ni $types} {
        return -code error "$at: setting \"$name\" has the type \"$type\", not one of [join $types {, }]"
    }
    if {$count == 4} {
        set extra [lindex $text 2]
        switch -- $type {
            integer {
                if {![regexp {^(-?[0-9]*)\.\.(-?[0-9]*)$} $extra -> min max]
                        || ($min ne "" && $max ne "" && $min > $max)} {
                    return -code error "$at: setting \"$name\" has the range \"$extra\", not MIN..MAX"
                }
                dict set declaration min $min
                dict set declaration max $max
            }
            choice {
                if {[llength $extra] == 0} {
                    return -code error "$at: setting \"$name\" has no choices"
                }
                dict set declaration choices $extra
            }
            default {
                return -code error "$at: setting \"$name\" of type $type takes no \"$extra\""
            }
        }
    } elseif {$type eq "choice"} {
        return -code error "$at: setting \"$name\" of type choice needs its choices before the default"
    }
    if {[catch {value $declaration $default} normal]} {
        return -code error "$at: the default: $normal"
    }
    dict set declaration default $normal
    return $declaration
}

# VALUE in the normal form of the setting DECLARATION: booleans as 1 or 0,
# integers in decimal. A value of the wrong type is an error that names
# the setting and its type.
proc ::tobrisk::manifest::value {declaration value} {
    dict with declaration {}
    switch -- $type {
        boolean {
            if {[string is boolean -strict $value]} { return [expr {$value ? 1 : 0}] }
            set wanted "a boolean (1 or 0, true or false, yes or no, on or off)"
        }
        integer {
            if {[string is entier -strict $value]} {
                set number [incr value 0]
                if {($min eq "" || $number >= $min) && ($max eq "" || $number <= $max)} {
                    return $number
                }
            }
            set wanted "an integer"
            if {$min ne "" && $max ne ""} {
                append wanted " from $min to $max"
            } elseif {$min ne ""} {
                append wanted " of at least $min"
            } elseif {$max ne ""} {
                append wanted " of at most $max"
            }
        }
        choice {
            if {$value in $choices} { return $value }
            set wanted "one of: [join $choices {, }]"
        }
        file - folder - text {
            if {[string first \0 $value] < 0} { return $value }
            set wanted "a $type without NUL characters"
        }
    }
    return -code error "setting \"$name\" must be $wanted: got \"$value\""
}

# Reads script NAME's manifest and settings before it loads; 1 when it may
# load, 0 after saying why not.
proc ::tobrisk::sv::prepare {name} {
    set path [get $name file]
    tell_origin $name
    if {[catch {::tobrisk::manifest::from_file $path} manifest]} {
        set problem "its manifest is wrong: $manifest"
    } else {
        put $name manifest $manifest
        foreach warning [dict get $manifest warnings] { log_write $name warning "$warning\n" }
        set problem [unmet $manifest]
    }
    if {$problem ne ""} {
        put $name state failed
        failed $name load $problem $problem
        return 0
    }
    settings_load $name [dict get $manifest settings]
    return 1
}

# Why a script with MANIFEST cannot run here, or "".
proc ::tobrisk::sv::unmet {manifest} {
    set wanted [dict get $manifest requires-tobrisk]
    if {$wanted ne "" && ![catch {tobrisk patchlevel} have] && [package vcompare $wanted $have] > 0} {
        return "it requires Tobrisk $wanted, and this is Tobrisk $have"
    }
    foreach other [dict get $manifest requires] {
        if {![has $other state]} { return "it requires the script $other, which is not installed" }
    }
    return ""
}

# Loads script NAME where its manifest says.
proc ::tobrisk::sv::load_script {name} {
    if {![prepare $name]} return
    if {[must_wait $name [get $name manifest]]} return
    if {[dict get [get $name manifest] main]} {
        load_main $name
    } else {
        load_child $name
    }
}
