# The script manager: one window with every script, what it costs, how it
# fails, its settings and its updates, built on the supervisor's commands.
# It is read when first opened (supervisor.tcl defines the command that
# reads it), so a plugin whose manager is never opened pays nothing.
#
#     ::tobrisk::manager              opens the window, or raises it
#     ::tobrisk::manager::embed HWND  the same list inside the window HWND
#                                     (the messenger's preferences page)
#
# Several views may be open at once (the window and the page); each is a
# toplevel TOP with the same widgets under it. The manager's own choices
# (the window's size and place, the last index link) are kept in
# Tobrisk\manager.txt under the messenger's config directory.

package require Tk

namespace eval ::tobrisk::manager {
    variable tops {}            ;# the open views
    variable sort {}            ;# TOP -> "" (load order) or "time"
    variable figures_id ""      ;# the timer that refreshes the figures
    variable figures_ms 1000
    variable prefs {}           ;# geometry, index
    variable busy {}            ;# NAME -> what is under way for it
    variable entered            ;# (WINDOW,FIELD) what the user typed
    array set entered {}
    variable counter 0
    variable embedded {}        ;# HWND -> the view inside that window
    # The list's columns: name, heading, width, anchor. The last five
    # show only where the supervisor has the commands that fill them.
    variable columns {
        name     Script          150 w
        version  Version          60 w
        state    State            70 w
        origin   From             90 w
        update   Update           60 w
        strikes  Strikes          50 e
        error    {Last error}    220 w
        calls    Calls            60 e
        time     {Time used}      80 e
        slowest  {Slowest call}  150 w
        grants   Capabilities    120 w
        refusals Refused          60 e
    }
}

# --- Opening and closing -------------------------------------------------------

proc ::tobrisk::manager {} {
    set top .tobrisk_manager
    # A closed window is only withdrawn: it opens again at once, and it
    # follows nothing while closed.
    if {[winfo exists $top]} {
        ::tobrisk::manager::shown $top
        wm deiconify $top
        raise $top
        focus $top.list
        return
    }
    ::tobrisk::manager::read_prefs
    toplevel $top
    wm title $top "Tobrisk scripts"
    wm minsize $top 480 260
    set geometry [::tobrisk::manager::pref geometry]
    if {$geometry ne ""} { catch {wm geometry $top $geometry} }
    wm protocol $top WM_DELETE_WINDOW [::list ::tobrisk::manager::close_view $top]
    bind $top <Escape> [::list ::tobrisk::manager::close_view $top]
    ::tobrisk::manager::build $top
    return
}

# The list inside the window HWND, as a toplevel that the window holds;
# `unembed` removes it before the window goes.
proc ::tobrisk::manager::embed {hwnd} {
    variable embedded
    unembed $hwnd
    read_prefs
    set top .tobrisk_page[incr [namespace current]::counter]
    toplevel $top -use $hwnd
    dict set embedded $hwnd $top
    build $top
    return $top
}

proc ::tobrisk::manager::unembed {hwnd} {
    variable embedded
    if {![dict exists $embedded $hwnd]} return
    destroy [dict get $embedded $hwnd]
    dict unset embedded $hwnd
}

proc ::tobrisk::manager::close_view {top} {
    if {![winfo exists $top]} return
    if {$top ne ".tobrisk_manager"} {
        destroy $top
        return
    }
    pref_set geometry [wm geometry $top]
    wm withdraw $top
    gone $top
}

# A view that goes, by `close` or with the window that held it.
proc ::tobrisk::manager::gone {top} {
    variable tops
    variable sort
    variable figures_id
    set tops [lsearch -all -inline -not -exact $tops $top]
    if {![winfo exists $top]} { dict unset sort $top }
    if {[llength $tops] == 0} {
        ::tobrisk::watch ::tobrisk::manager::changed off
        after cancel $figures_id
        set figures_id ""
    }
}

# At "stop" the views go before Tk does.
proc ::tobrisk::manager::stop {args} {
    variable tops
    trace remove execution ::tobrisk::shutdown enter ::tobrisk::manager::stop
    foreach top [lsort -unique [list .tobrisk_manager {*}$tops]] {
        if {$top eq ".tobrisk_manager" && [winfo exists $top] && [winfo ismapped $top]} {
            pref_set geometry [wm geometry $top]
        }
        destroy $top
    }
}

# --- The view --------------------------------------------------------------------

proc ::tobrisk::manager::build {top} {
    ::tobrisk::sv::read_part autoreload.tcl
    variable columns
    variable sort
    set frame [ttk::frame $top.f -padding 6]
    pack $frame -fill both -expand 1
    # The list with its scroll bar.
    set names {}
    foreach {column heading width anchor} $columns { lappend names $column }
    ttk::treeview $top.list -columns $names -show headings -selectmode browse -height 12
    ttk::scrollbar $top.scroll -orient vertical -command [list $top.list yview]
    ttk::scrollbar $top.across -orient horizontal -command [list $top.list xview]
    $top.list configure -yscrollcommand [list $top.scroll set] -xscrollcommand [list $top.across set]
    foreach {column heading width anchor} $columns {
        $top.list heading $column -text $heading -anchor $anchor
        $top.list column $column -width $width -anchor $anchor -stretch [expr {$column eq "error"}]
    }
    $top.list heading time -command [list ::tobrisk::manager::sort_by $top time]
    $top.list heading name -command [list ::tobrisk::manager::sort_by $top ""]
    set shown [lrange $names 0 6]
    if {[info commands ::tobrisk::stats] ne ""} { lappend shown calls time slowest }
    if {[info commands ::tobrisk::grants] ne ""} { lappend shown grants refusals }
    $top.list configure -displaycolumns $shown
    bind $top.list <<TreeviewSelect>> [list ::tobrisk::manager::selected $top]
    bind $top.list <Return> [list ::tobrisk::manager::settings_form $top]
    bind $top.list <Double-1> [list ::tobrisk::manager::settings_form $top]

    # The actions on the selected script, and the installs.
    # Four to a row, so that the view fits the preferences page.
    set actions [ttk::frame $top.actions]
    set at 0
    foreach {button label command} {
        toggle  Disable    toggle
        reload  Reload     reload
        load    Unload     load_unload
        update  Update     update
        settings Settings... settings_form
        grants  Capabilities... grants_form
        log     Log        log_window
        console Console    console
        remove  Remove...  remove
    } {
        ttk::button $actions.$button -text $label -command [list ::tobrisk::manager::$command $top]
        grid $actions.$button -row [expr {$at / 4}] -column [expr {$at % 4}] -sticky we -padx 2 -pady 1
        incr at
    }
    set installs [ttk::frame $top.installs]
    ttk::label $installs.label -text "Install:"
    ttk::button $installs.file -text "From a file..." -command [list ::tobrisk::manager::install_file $top]
    ttk::button $installs.link -text "From a link..." -command [list ::tobrisk::manager::install_link $top]
    ttk::button $installs.index -text "From a repository..." -command [list ::tobrisk::manager::repository $top]
    ttk::checkbutton $installs.auto -text "Reload scripts when their file changes" \
        -variable ::tobrisk::sv::autoreload -command ::tobrisk::sv::autoreload_changed
    grid $installs.label $installs.file $installs.link $installs.index -sticky w -padx 2
    grid $installs.auto - - - -sticky w -padx 2 -pady {6 0}
    ttk::label $top.status -text "" -anchor w

    grid $top.list $top.scroll -in $frame -sticky news
    grid $top.across -in $frame -sticky we
    grid $actions - -in $frame -sticky w -pady {6 0}
    grid $installs - -in $frame -sticky we -pady {6 0}
    grid $top.status - -in $frame -sticky we -pady {6 0}
    grid columnconfigure $frame 0 -weight 1
    grid rowconfigure $frame 0 -weight 1
    bind $top <Return> {::tobrisk::manager::press %W}
    bind $top.f <Destroy> [list ::tobrisk::manager::gone $top]
    dict set sort $top ""
    shown $top
    focus $top.list
}

# View TOP is open: it is filled afresh and follows the supervisor.
proc ::tobrisk::manager::shown {top} {
    variable tops
    variable figures_id
    if {$top ni $tops} { lappend tops $top }
    ::tobrisk::watch ::tobrisk::manager::changed
    fill $top
    if {$figures_id eq "" && [info commands ::tobrisk::stats] ne ""} { figures }
}

# Enter presses the button that has the focus.
proc ::tobrisk::manager::press {widget} {
    if {[winfo class $widget] in {TButton TCheckbutton} && [$widget instate !disabled]} {
        $widget invoke
    }
}

# Every row afresh, in the view's order; the selection is kept.
proc ::tobrisk::manager::fill {top} {
    set list $top.list
    set chosen [$list selection]
    $list delete [$list children {}]
    set outdated [outdated]
    foreach name [ordered $top] {
        $list insert {} end -id $name -values [row $name $outdated]
    }
    if {$chosen ne "" && [$list exists $chosen]} {
        $list selection set $chosen
    } elseif {[llength [$list children {}]]} {
        $list selection set [lindex [$list children {}] 0]
    }
    $list focus [lindex [$list selection] 0]
    buttons $top
}

proc ::tobrisk::manager::ordered {top} {
    variable sort
    set names $::tobrisk::sv::order
    if {[dict get $sort $top] eq "time" && [info commands ::tobrisk::stats] ne ""} {
        set timed {}
        foreach name $names { lappend timed [list $name [figure $name time]] }
        set names {}
        foreach pair [lsort -integer -decreasing -index 1 $timed] { lappend names [lindex $pair 0] }
    }
    return $names
}

proc ::tobrisk::manager::sort_by {top how} {
    variable sort
    dict set sort $top $how
    $top.list heading time -text [expr {$how eq "time" ? "Time used \u25BC" : "Time used"}]
    fill $top
}

# The installed scripts with a newer version in the index last read:
# NAME -> VERSION.
proc ::tobrisk::manager::outdated {} {
    set found {}
    foreach entry [::tobrisk::outdated] {
        dict set found [lindex $entry 0] [lindex $entry 2]
    }
    return $found
}

# One figure of script NAME from ::tobrisk::stats, 0 when there is none.
proc ::tobrisk::manager::figure {name key} {
    if {[catch {::tobrisk::stats $name} stats] || ![dict exists $stats $key]} { return 0 }
    return [dict get $stats $key]
}

proc ::tobrisk::manager::milliseconds {us} {
    return [format "%.1f ms" [expr {$us / 1000.0}]]
}

# The values of script NAME's row, in the order of the columns.
proc ::tobrisk::manager::row {name outdated} {
    set sv ::tobrisk::sv
    set shown $name
    set version ""
    if {[${sv}::has $name manifest]} {
        set manifest [${sv}::get $name manifest]
        if {[dict get $manifest name] ne ""} { set shown [dict get $manifest name] }
        set version [dict get $manifest version]
    }
    set state [${sv}::get $name state]
    variable busy
    if {[dict exists $busy $name]} { set state [dict get $busy $name] }
    set origin [dict get {plugin shipped user yours overrides {yours, replaces shipped}} [${sv}::origin $name]]
    set update [expr {[dict exists $outdated $name] ? [dict get $outdated $name] : ""}]
    set strikes [expr {[${sv}::has $name strikes] ? [${sv}::get $name strikes] : 0}]
    set error ""
    if {[${sv}::has $name last_message]} {
        set when [clock format [expr {[${sv}::get $name last_error] / 1000}] -format %H:%M:%S]
        set error "$when [lindex [split [${sv}::get $name last_message] \n] 0]"
    }
    # The figures and the capabilities, where the supervisor has them; a
    # script they do not know leaves its cells empty.
    set calls ""; set time ""; set slowest ""
    if {[info commands ::tobrisk::stats] ne ""} {
        catch {
            set stats [::tobrisk::stats $name]
            set calls [dict get $stats calls]
            set time [milliseconds [dict get $stats time]]
            set worst [dict get $stats slowest]
            if {[dict size $worst]} {
                set slowest "[milliseconds [dict get $worst time]] [dict get $worst kind] [dict get $worst what]"
            }
        }
    }
    set grants ""; set refusals ""
    if {[info commands ::tobrisk::grants] ne ""} {
        catch {
            set grants [granted_text [::tobrisk::grants $name]]
            set refusals [::tobrisk::refusals $name]
        }
    }
    return [list $shown $version $state $origin $update $strikes $error $calls $time $slowest \
        $grants $refusals]
}

# What a script may do, from ::tobrisk::grants, in a few words.
proc ::tobrisk::manager::granted_text {given} {
    if {[dict get $given full]} { return "full access" }
    set granted [join [dict get $given granted] ", "]
    set pending [join [dict get $given pending] ", "]
    if {$pending eq ""} { return [expr {$granted eq "" ? "nothing" : $granted}] }
    if {$granted eq ""} { return "asks for $pending" }
    return "$granted (asks for $pending)"
}

# The supervisor tells of script NAME: its row changes in every view.
proc ::tobrisk::manager::changed {name} {
    variable tops
    set outdated [outdated]
    foreach top $tops {
        set list $top.list
        if {![::tobrisk::sv::has $name state]} {
            if {[$list exists $name]} { $list delete $name }
        } elseif {[$list exists $name]} {
            $list item $name -values [row $name $outdated]
        } else {
            fill $top
            continue
        }
        buttons $top
    }
}

# The figures of every row, about once a second while a view is open.
proc ::tobrisk::manager::figures {} {
    variable tops
    variable sort
    variable figures_id
    variable figures_ms
    set outdated [outdated]
    foreach top $tops {
        if {[dict get $sort $top] eq "time"} {
            fill $top
            continue
        }
        foreach name [$top.list children {}] {
            if {[::tobrisk::sv::has $name state]} { $top.list item $name -values [row $name $outdated] }
        }
    }
    set figures_id [after $figures_ms ::tobrisk::manager::figures]
}

# --- Actions ------------------------------------------------------------------------

proc ::tobrisk::manager::chosen {top} {
    return [lindex [$top.list selection] 0]
}

proc ::tobrisk::manager::selected {top} {
    buttons $top
}

# The buttons as the selected script allows.
proc ::tobrisk::manager::buttons {top} {
    set name [chosen $top]
    set a $top.actions
    set known [expr {$name ne "" && [::tobrisk::sv::has $name state]}]
    set state [expr {$known ? [::tobrisk::sv::get $name state] : ""}]
    set child [expr {$known && ($state ne "loaded" || [::tobrisk::sv::has $name child])}]
    $a.toggle configure -text [expr {$state eq "disabled" ? "Enable" : "Disable"}]
    $a.load configure -text [expr {$state eq "loaded" ? "Unload" : "Load"}]
    enable $a.toggle [expr {$known && $child}]
    enable $a.reload [expr {$known && $child && $state ne "disabled"}]
    enable $a.load [expr {$known && $child && $state ne "disabled"}]
    enable $a.update [expr {$known && [dict exists [outdated] $name]}]
    enable $a.settings [expr {$known && [::tobrisk::sv::has $name manifest]
        && [dict size [dict get [::tobrisk::sv::get $name manifest] settings]] > 0}]
    enable $a.log $known
    enable $a.console [expr {$known && [::tobrisk::sv::has $name child]}]
    enable $a.grants [expr {$known && [info commands ::tobrisk::grants] ne ""}]
    enable $a.remove [expr {$known && [::tobrisk::sv::origin $name] ne "plugin" && $child}]
}

proc ::tobrisk::manager::enable {widget yes} {
    $widget state [expr {$yes ? "!disabled" : "disabled"}]
}

# Says TEXT in the status line of every view.
proc ::tobrisk::manager::say {text} {
    variable tops
    foreach top $tops { $top.status configure -text $text }
}

# Runs a command of the supervisor on the selected script; its error goes
# to the status line.
proc ::tobrisk::manager::act {top command what {name ""}} {
    if {$name eq ""} { set name [chosen $top] }
    if {$name eq ""} return
    if {[catch {uplevel #0 [list {*}$command $name]} message]} {
        say "$name: $message"
    } else {
        say "$name: $what"
    }
}

proc ::tobrisk::manager::toggle {top} {
    set name [chosen $top]
    if {$name eq ""} return
    if {[::tobrisk::sv::get $name state] eq "disabled"} {
        act $top ::tobrisk::enable enabled
    } else {
        act $top ::tobrisk::disable "disabled: it stays off until you enable it"
    }
}

proc ::tobrisk::manager::reload {top} { act $top ::tobrisk::reload "reloaded" }

proc ::tobrisk::manager::load_unload {top} {
    set name [chosen $top]
    if {$name eq ""} return
    if {[::tobrisk::sv::get $name state] eq "loaded"} {
        act $top ::tobrisk::unload "unloaded until the messenger starts again"
    } else {
        act $top ::tobrisk::load "loaded"
    }
}

proc ::tobrisk::manager::console {top} {
    act $top ::tobrisk::console::open "its console is open"
}

proc ::tobrisk::manager::remove {top} {
    set name [chosen $top]
    if {$name eq ""} return
    ask $top "Remove $name?" "Remove the script $name? Its settings and data stay." \
        Remove [list ::tobrisk::manager::act $top ::tobrisk::remove removed $name]
}

proc ::tobrisk::manager::update {top} {
    set name [chosen $top]
    if {$name eq ""} return
    started $name updating
    if {[catch {::tobrisk::install $name [list ::tobrisk::manager::finished $name]} message]} {
        finished $name error $message
    }
}

# An install or update of NAME under way: its row and the status say so.
proc ::tobrisk::manager::started {name what} {
    variable busy
    dict set busy $name "$what..."
    say "$name: $what..."
    if {[::tobrisk::sv::has $name state]} { changed $name }
}

# An install or update that ends waiting for the user's grant asks at once.
proc ::tobrisk::manager::finished {name outcome text} {
    variable busy
    dict unset busy $name
    say [expr {$outcome eq "ok" ? $text : "Not done: $text"}]
    if {![::tobrisk::sv::has $name state]} return
    changed $name
    if {$outcome eq "ok" && [info commands ::tobrisk::grants] ne ""
            && ![catch {::tobrisk::grants $name} given] && [llength [dict get $given pending]]} {
        capabilities_form $name
    }
}

# A small window of TOP that asks QUESTION; YES runs COMMAND. It waits for
# nothing: the messenger goes on while it is open.
proc ::tobrisk::manager::ask {top title question yes command} {
    set dialog $top.ask
    destroy $dialog
    toplevel $dialog
    wm title $dialog $title
    wm transient $dialog [winfo toplevel $top]
    ttk::frame $dialog.f -padding 10
    ttk::label $dialog.f.text -text $question -wraplength 320
    ttk::button $dialog.f.yes -text $yes -command "destroy $dialog; $command"
    ttk::button $dialog.f.no -text Cancel -command [list destroy $dialog]
    grid $dialog.f.text - -sticky w -pady {0 10}
    grid $dialog.f.yes $dialog.f.no -sticky e -padx 2
    pack $dialog.f -fill both -expand 1
    bind $dialog <Escape> [list destroy $dialog]
    bind $dialog <Return> {::tobrisk::manager::press %W}
    focus $dialog.f.no
}

# --- The log -------------------------------------------------------------------------

proc ::tobrisk::manager::log_window {top} {
    set name [chosen $top]
    if {$name eq ""} return
    set window .tobrisk_log_[regsub -all {[^A-Za-z0-9_]} $name _]
    if {![winfo exists $window]} {
        toplevel $window
        wm title $window "Log of $name"
        ttk::frame $window.f -padding 4
        text $window.text -height 20 -width 90 -wrap none -yscrollcommand [list $window.scroll set]
        ttk::scrollbar $window.scroll -command [list $window.text yview]
        ttk::button $window.close -text Close -command [list destroy $window]
        grid $window.text $window.scroll -in $window.f -sticky news
        grid $window.close - -in $window.f -sticky e -pady {4 0}
        grid columnconfigure $window.f 0 -weight 1
        grid rowconfigure $window.f 0 -weight 1
        pack $window.f -fill both -expand 1
        bind $window <Escape> [list destroy $window]
        bind $window.text <Destroy> [list ::tobrisk::manager::log_closed $window]
        set hook [list ::tobrisk::manager::log_heard $window $name]
        lappend ::tobrisk::output_hooks $hook
    }
    log_show $window $name
    focus $window.close
}

proc ::tobrisk::manager::log_closed {window} {
    set ::tobrisk::output_hooks [lsearch -all -inline -not -glob $::tobrisk::output_hooks \
        [list ::tobrisk::manager::log_heard $window *]]
}

# A write to a log: the open log window of that script follows it, once
# for a burst of writes.
proc ::tobrisk::manager::log_heard {window name written channel text} {
    if {$written ne $name || ![winfo exists $window]} return
    after cancel [list ::tobrisk::manager::log_show $window $name]
    after idle [list ::tobrisk::manager::log_show $window $name]
}

proc ::tobrisk::manager::log_show {window name} {
    if {![winfo exists $window]} return
    $window.text configure -state normal
    $window.text delete 1.0 end
    $window.text insert end [::tobrisk::log $name 500]
    $window.text configure -state disabled
    $window.text see end
}

# --- Settings ------------------------------------------------------------------------

# The form of the selected script's settings, made from its manifest: a
# field for each, its description, and room for the message of a wrong
# value.
proc ::tobrisk::manager::settings_form {top} {
    set name [chosen $top]
    if {$name eq "" || ![::tobrisk::sv::has $name manifest]} return
    set declared [dict get [::tobrisk::sv::get $name manifest] settings]
    if {[dict size $declared] == 0} return
    set form .tobrisk_settings_[regsub -all {[^A-Za-z0-9_]} $name _]
    destroy $form
    toplevel $form
    wm title $form "Settings of $name"
    set f [ttk::frame $form.f -padding 10]
    set row 0
    set values [::tobrisk::settings $name]
    variable entered
    foreach {setting declaration} $declared {
        set field $f.field$row
        set entered($form,$setting) [dict get $values $setting]
        set variable ::tobrisk::manager::entered($form,$setting)
        ttk::label $f.label$row -text $setting
        switch -- [dict get $declaration type] {
            boolean {
                ttk::checkbutton $field -variable $variable -text [dict get $declaration description]
            }
            choice {
                ttk::combobox $field -textvariable $variable -state readonly \
                    -values [dict get $declaration choices]
            }
            file - folder {
                ttk::frame $field
                ttk::entry $field.entry -textvariable $variable -width 30
                ttk::button $field.choose -text Choose... \
                    -command [list ::tobrisk::manager::choose $form [dict get $declaration type] $variable]
                pack $field.entry $field.choose -side left
            }
            default {
                ttk::entry $field -textvariable $variable -width 30
            }
        }
        ttk::label $f.message$row -text "" -foreground red
        grid $f.label$row $field $f.message$row -sticky w -padx 2 -pady 2
        if {[dict get $declaration type] ni {boolean}} {
            ttk::label $f.about$row -text [dict get $declaration description]
            grid x $f.about$row - -sticky w -padx 2
        }
        incr row
    }
    ttk::frame $f.buttons
    ttk::button $f.buttons.apply -text Apply -command [list ::tobrisk::manager::settings_apply $form $name]
    ttk::button $f.buttons.close -text Close -command [list destroy $form]
    pack $f.buttons.apply $f.buttons.close -side left -padx 2
    grid $f.buttons - - -sticky e -pady {10 0}
    pack $f -fill both -expand 1
    bind $form <Escape> [list destroy $form]
    bind $form <Return> [list ::tobrisk::manager::settings_enter $form $name %W]
    bind $f <Destroy> [list array unset ::tobrisk::manager::entered $form,*]
    focus [lindex [concat [winfo children $f.field0] $f.field0] 0]
    return $form
}

# A file or folder picked with Windows' own dialog goes into VARIABLE.
proc ::tobrisk::manager::choose {form type variable} {
    upvar #0 $variable value
    if {$type eq "folder"} {
        set picked [tk_chooseDirectory -parent $form -initialdir $value]
    } else {
        set picked [tk_getOpenFile -parent $form -initialfile $value]
    }
    if {$picked ne ""} { set value [file nativename $picked] }
}

# Enter applies, unless a button has the focus: that one is pressed.
proc ::tobrisk::manager::settings_enter {form name widget} {
    if {[winfo class $widget] in {TButton TCheckbutton}} {
        press $widget
    } else {
        settings_apply $form $name
    }
}

# Checks every field first: one wrong value stores nothing and says why
# beside its field. Then each changed value is stored, and the script
# hears of it.
proc ::tobrisk::manager::settings_apply {form name} {
    variable entered
    set f $form.f
    set declared [dict get [::tobrisk::sv::get $name manifest] settings]
    set row 0
    set wrong 0
    set normal {}
    foreach {setting declaration} $declared {
        if {[catch {::tobrisk::manifest::value $declaration $entered($form,$setting)} value]} {
            $f.message$row configure -text $value
            incr wrong
        } else {
            $f.message$row configure -text ""
            dict set normal $setting $value
        }
        incr row
    }
    if {$wrong} {
        say "$name: nothing was stored"
        return 0
    }
    set row 0
    dict for {setting value} $normal {
        if {[::tobrisk::settings $name $setting] ne $value
                && [catch {::tobrisk::settings $name $setting $value} message]} {
            $f.message$row configure -text $message
            say "$name: $message"
            return 0
        }
        set entered($form,$setting) $value
        incr row
    }
    say "$name: settings stored"
    return 1
}

# --- Capabilities ---------------------------------------------------------------------

proc ::tobrisk::manager::grants_form {top} {
    set name [chosen $top]
    if {$name ne ""} { capabilities_form $name }
}

# What script NAME may do: a box for each capability it declares, with
# what that lets it do. A script that asks has them ticked, to grant or
# to leave waiting; for one that has its answer, an unticked box is taken
# back. A script without a list of needs has full access.
proc ::tobrisk::manager::capabilities_form {name} {
    set form .tobrisk_grants_[regsub -all {[^A-Za-z0-9_]} $name _]
    destroy $form
    toplevel $form
    wm title $form "Capabilities of $name"
    set f [ttk::frame $form.f -padding 10]
    set given [::tobrisk::grants $name]
    set needs [dict get $given needs]
    set pending [dict get $given pending]
    ttk::frame $f.buttons
    if {[dict get $given full]} {
        ttk::label $f.full -text "full access" -font TkHeadingFont
        ttk::label $f.text -wraplength 440 -text "$name does not say what it needs, so Tobrisk\
            does not limit it: it may do everything that you can do on this computer.\
            Keep only scripts that you trust."
        grid $f.full -sticky w
        grid $f.text -sticky w -pady {4 0}
        ttk::button $f.buttons.close -text Close -command [list destroy $form]
        pack $f.buttons.close -side left -padx 2
    } else {
        set text [expr {[llength $pending]
            ? "$name asks to do what is ticked below, and waits until you answer.\
               Untick what you do not want it to do."
            : "$name may do what is ticked below. Untick what you want to take back:\
               it then starts again without it."}]
        ttk::label $f.text -wraplength 440 -text $text
        grid $f.text - -sticky w -pady {0 8}
        variable entered
        set row 0
        foreach capability $needs {
            set entered($form,$capability) [expr {$capability in [dict get $given granted]
                || $capability in $pending}]
            ttk::checkbutton $f.cap$row -text [::tobrisk::sv::capability_about $capability] \
                -variable ::tobrisk::manager::entered($form,$capability)
            ttk::label $f.name$row -text "($capability)" -foreground gray40
            grid $f.cap$row $f.name$row -sticky w -padx 2 -pady 1
            incr row
        }
        if {$row == 0} {
            ttk::label $f.nothing -text "It asks for nothing beyond its own folder and settings."
            grid $f.nothing - -sticky w
        }
        set apply [list ::tobrisk::manager::grants_apply $form $name]
        if {[llength $pending]} {
            ttk::button $f.buttons.apply -text Grant -command $apply
            ttk::button $f.buttons.close -text "Not now" -command [list destroy $form]
        } else {
            ttk::button $f.buttons.apply -text Apply -command $apply
            ttk::button $f.buttons.close -text Close -command [list destroy $form]
        }
        pack $f.buttons.apply $f.buttons.close -side left -padx 2
        bind $f <Destroy> [list array unset ::tobrisk::manager::entered $form,*]
    }
    grid $f.buttons - -sticky e -pady {10 0}
    pack $f -fill both -expand 1
    bind $form <Escape> [list destroy $form]
    bind $form <Return> {::tobrisk::manager::press %W}
    focus [lindex [winfo children $f.buttons] 0]
    return $form
}

# The ticks of FORM become script NAME's grants: an unticked capability is
# withdrawn (or declined, when it was asked for), a ticked one granted. A
# script that waited and is refused all it asked for starts without it.
proc ::tobrisk::manager::grants_apply {form name} {
    variable entered
    set given [::tobrisk::grants $name]
    set give {}
    set take {}
    foreach capability [dict get $given needs] {
        set has [expr {$capability in [dict get $given granted]}]
        if {$entered($form,$capability)} {
            if {!$has} { lappend give $capability }
        } elseif {$has || $capability in [dict get $given pending]} {
            lappend take $capability
        }
    }
    destroy $form
    set done {}
    if {[catch {
        foreach capability $take { ::tobrisk::withdraw $name $capability }
        if {[llength $take]} { lappend done "took back [join $take {, }]" }
        if {[llength $give]} {
            ::tobrisk::grant $name {*}$give
            lappend done "granted [join $give {, }]"
        } elseif {[llength [dict get $given pending]]} {
            ::tobrisk::sv::answered $name
        }
    } message]} {
        say "$name: $message"
        return
    }
    if {[llength $done] == 0} { set done [list "nothing changed"] }
    say "$name: [join $done {; }]"
}

# --- Installs ---------------------------------------------------------------------------

proc ::tobrisk::manager::install_file {top} {
    set path [tk_getOpenFile -parent [winfo toplevel $top] -title "Install a script" \
        -filetypes {{{Tcl scripts} .tcl} {{All files} *}}]
    if {$path ne ""} { install $path }
}

proc ::tobrisk::manager::install_link {top} {
    set dialog $top.link
    destroy $dialog
    toplevel $dialog
    wm title $dialog "Install from a link"
    wm transient $dialog [winfo toplevel $top]
    variable entered
    set entered($dialog,link) ""
    ttk::frame $dialog.f -padding 10
    ttk::label $dialog.f.label -text "Link of the script (http:// or https://):"
    ttk::entry $dialog.f.link -width 50 -textvariable ::tobrisk::manager::entered($dialog,link)
    ttk::button $dialog.f.ok -text Install -command [list ::tobrisk::manager::link_given $dialog]
    ttk::button $dialog.f.cancel -text Cancel -command [list destroy $dialog]
    grid $dialog.f.label - -sticky w
    grid $dialog.f.link - -sticky we -pady 4
    grid $dialog.f.ok $dialog.f.cancel -sticky e -padx 2
    pack $dialog.f -fill both -expand 1
    bind $dialog <Escape> [list destroy $dialog]
    bind $dialog.f.link <Return> [list $dialog.f.ok invoke]
    bind $dialog.f <Destroy> [list array unset ::tobrisk::manager::entered $dialog,*]
    focus $dialog.f.link
}

proc ::tobrisk::manager::link_given {dialog} {
    variable entered
    set link [string trim $entered($dialog,link)]
    destroy $dialog
    if {$link ne ""} { install $link }
}

# Installs SOURCE (a file, a link or a name of the index); a link is
# fetched while the messenger goes on.
proc ::tobrisk::manager::install {source} {
    set name [file rootname [file tail [lindex [split $source "?#"] 0]]]
    started $name installing
    if {[catch {::tobrisk::install $source [list ::tobrisk::manager::finished $name]} message]} {
        finished $name error $message
    }
}

# The repository: the scripts of an index, with their descriptions and
# versions, installed by name.
proc ::tobrisk::manager::repository {top} {
    set dialog $top.repository
    if {[winfo exists $dialog]} { raise $dialog; return }
    toplevel $dialog
    wm title $dialog "Scripts of a repository"
    wm transient $dialog [winfo toplevel $top]
    variable entered
    set entered($dialog,link) [pref index]
    set f [ttk::frame $dialog.f -padding 10]
    ttk::label $f.label -text "Index:"
    ttk::entry $f.link -width 50 -textvariable ::tobrisk::manager::entered($dialog,link)
    ttk::button $f.read -text Read -command [list ::tobrisk::manager::index_read $dialog]
    ttk::treeview $f.list -columns {name version installed description} -show headings -height 10 \
        -selectmode browse
    foreach {column heading width} {name Script 120 version Version 60 installed Installed 70
            description Description 300} {
        $f.list heading $column -text $heading -anchor w
        $f.list column $column -width $width -stretch [expr {$column eq "description"}]
    }
    ttk::label $f.status -text "" -anchor w
    ttk::button $f.install -text Install -command [list ::tobrisk::manager::index_install $dialog]
    ttk::button $f.close -text Close -command [list destroy $dialog]
    grid $f.label $f.link $f.read -sticky we -padx 2
    grid $f.list - - -sticky news -pady 6
    grid $f.status - - -sticky we
    grid x $f.install $f.close -sticky e -padx 2 -pady {6 0}
    grid columnconfigure $f 1 -weight 1
    grid rowconfigure $f 1 -weight 1
    pack $f -fill both -expand 1
    bind $dialog <Escape> [list destroy $dialog]
    bind $f.link <Return> [list $f.read invoke]
    bind $f.list <Return> [list $f.install invoke]
    bind $f <Destroy> [list array unset ::tobrisk::manager::entered $dialog,*]
    focus $f.link
    if {$entered($dialog,link) ne ""} { index_read $dialog }
}

proc ::tobrisk::manager::index_read {dialog} {
    variable entered
    set link [string trim $entered($dialog,link)]
    if {$link eq ""} return
    pref_set index $link
    $dialog.f.status configure -text "Reading $link..."
    if {[catch {::tobrisk::available $link [list ::tobrisk::manager::index_shown $dialog]} message]} {
        $dialog.f.status configure -text $message
    }
}

proc ::tobrisk::manager::index_shown {dialog outcome result} {
    if {![winfo exists $dialog]} return
    set list $dialog.f.list
    if {$outcome ne "ok"} {
        $dialog.f.status configure -text "Not read: $result"
        return
    }
    $list delete [$list children {}]
    foreach {name version description} $result {
        set installed ""
        if {[::tobrisk::sv::has $name manifest]} {
            set installed [dict get [::tobrisk::sv::get $name manifest] version]
        }
        $list insert {} end -id $name -values [list $name $version $installed $description]
    }
    if {[llength [$list children {}]]} {
        $list selection set [lindex [$list children {}] 0]
        $list focus [lindex [$list children {}] 0]
    }
    $dialog.f.status configure -text "Scripts in the index: [llength [$list children {}]]"
    # What the index offers shows in the list's Update column.
    variable tops
    foreach top $tops { fill $top }
}

proc ::tobrisk::manager::index_install {dialog} {
    set name [lindex [$dialog.f.list selection] 0]
    if {$name ne ""} { install $name }
}

# --- The manager's own choices ------------------------------------------------------------

proc ::tobrisk::manager::prefs_path {} {
    if {$::tobrisk::sv::state_dir eq ""} { return "" }
    return [file join $::tobrisk::sv::state_dir manager.txt]
}

proc ::tobrisk::manager::read_prefs {} {
    variable prefs
    set path [prefs_path]
    if {$path eq "" || [catch {::tobrisk::sv::read_durable $path ::tobrisk::manager::whole} found]
            || $found eq ""} return
    set text [encoding convertfrom utf-8 [lindex $found 1]]
    if {[whole $text]} { set prefs $text }
}

proc ::tobrisk::manager::whole {text} {
    return [expr {![catch {dict size $text}]}]
}

proc ::tobrisk::manager::pref {key} {
    variable prefs
    if {[dict exists $prefs $key]} { return [dict get $prefs $key] }
    return ""
}

proc ::tobrisk::manager::pref_set {key value} {
    variable prefs
    if {[pref $key] eq $value} return
    dict set prefs $key $value
    set path [prefs_path]
    if {$path eq ""} return
    if {[catch {::tobrisk::sv::write_durable $path $prefs} message]} {
        ::tobrisk::sv::log_write supervisor error "cannot write $path: $message\n"
    }
}

trace add execution ::tobrisk::shutdown enter ::tobrisk::manager::stop
