# The user's own scripts folder and each script's data folder, both under
# Tobrisk in the messenger's config directory, where the user can always
# write (the plugin folder often lies where only an administrator can):
#     Tobrisk\scripts\NAME.tcl     loaded beside the plugin folder's scripts;
#                                  one of the same name wins
#     Tobrisk\data\NAME\           ::tobrisk::data_dir, made when first asked for

# The user's scripts folder, or "" when there is no config directory.
proc ::tobrisk::sv::user_scripts_dir {} {
    variable state_dir
    if {$state_dir eq ""} { return "" }
    return [file join $state_dir scripts]
}

# Where script NAME's file comes from: "plugin", "user" for the user's own
# folder, or "overrides" for the user's one that takes the place of the
# plugin folder's script of the same name.
proc ::tobrisk::sv::origin {name} {
    variable scripts_dir
    if {![has $name file]} { return plugin }
    set path [get $name file]
    set user [user_scripts_dir]
    if {$user eq "" || [file dirname $path] ne $user} { return plugin }
    if {[file exists [file join $scripts_dir [file tail $path]]]} { return overrides }
    return user
}

# Says in the logs that script NAME of the user's folder is loaded in place
# of the plugin folder's.
proc ::tobrisk::sv::tell_origin {name} {
    variable scripts_dir
    if {[origin $name] ne "overrides"} return
    set text "[get $name file] is loaded in place of [file join $scripts_dir [file tail [get $name file]]]\n"
    log_write supervisor stdout $text
    log_write $name stdout $text
}

proc ::tobrisk::sv::data_dir {name} {
    variable state_dir
    if {$state_dir eq ""} {
        return -code error "$name has no data folder: the messenger gave no config directory"
    }
    set dir [file join $state_dir data $name]
    file mkdir $dir
    return $dir
}

# Script NAME's own folder for its files, kept across updates; in a
# script's interpreter, its own: ::tobrisk::data_dir.
proc ::tobrisk::data_dir {name} {
    ::tobrisk::sv::known $name
    return [::tobrisk::sv::data_dir $name]
}
