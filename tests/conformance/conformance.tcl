# Tcl's own test suite as the measure of a faithful Tcl: chosen files run
#   1. in a plain tclsh of the plugin's runtime,
#   2. in the plugin's main interpreter (tobrisk-host, no scripts),
#   3. in a supervised script's own interpreter,
# and every test that passes in 1 must pass in 2 and 3, apart from those
# that known.txt names with the reason. Run by ctest in the machine's own
# tclsh:
#   tclsh conformance.tcl EMULATOR HOST TCLSH PLUGIN TESTDIR WORKDIR ?--full?
# EMULATOR runs a Windows program (wine); --full runs the longer list.
lassign $argv emulator host tclsh plugin testdir workdir full
set here [file dirname [file normalize [info script]]]

# The quick list keeps the whole run well under a minute natively; on a
# machine TOBRISK_TEST_SLOWER times slower only the files nearest to what
# the plugin changes run. --full adds the files that take longest.
set quick {
    basic list dict namespace proc upvar uplevel var trace error apply
    coroutine unknown source msgcat chan timer
}
set slower {basic trace chan timer}
set longer {string oo encoding event interp safe cmdAH ioCmd}
if {$full eq "--full"} {
    set names [concat $quick $longer]
} elseif {[info exists ::env(TOBRISK_TEST_SLOWER)] && $::env(TOBRISK_TEST_SLOWER) > 1} {
    set names $slower
} else {
    set names $quick
}
set files {}
foreach name $names { lappend files $name.test }

proc windows_path {path} { return Z:[string map {/ \\} $path] }

proc run {args} {
    global emulator
    catch {exec {*}$emulator {*}$args 2>@1} output
    return $output
}

proc write_file {path text} {
    set channel [open $path w]
    puts -nonewline $channel $text
    close $channel
}

# PASSED, FAILED or SKIPPED per test, from a file of the driver's.
proc outcomes {path} {
    set result {}
    if {[catch {open $path} channel]} { return $result }
    foreach line [split [read $channel] \n] {
        if {[llength $line] == 2} { dict set result [lindex $line 1] [lindex $line 0] }
    }
    close $channel
    return $result
}

file delete -force $workdir
file mkdir $workdir [file join $workdir scripts-none] [file join $workdir scripts-one]
write_file [file join $workdir scripts-one conformance.tcl] "# runs Tcl's tests\n"
set driver [windows_path [file join $here driver.tcl]]
set tests [windows_path $testdir]

# 1. A plain tclsh.
set plain [file join $workdir plain.txt]
run $tclsh $driver $tests [windows_path $plain] {*}$files

# 2 and 3. The main interpreter and a script's own, each in a host of its
# own: Tcl's tests delete every child interpreter they find.
foreach {setting folder target} {
    main scripts-none {string cat}
    script scripts-one {::tobrisk::budget conformance 60000; ::tobrisk::interp conformance}
} {
    set out [file join $workdir $setting.txt]
    set call [list ::conformance::run $tests [windows_path $out] {*}$files]
    set scenario [file join $workdir $setting.scenario]
    write_file $scenario [join [list \
        "option scripts [windows_path [file join $workdir $folder]]" \
        "tcl set target \[$target\]; interp eval \$target [list [list source $driver]]; interp eval \$target [list $call]" \
        ""] \n]
    set transcript($setting) [run $host --plugin [windows_path $plugin] --timeout 0 [windows_path $scenario]]
    set results($setting) [outcomes $out]
}

# Differences that come from the messenger itself, with their reasons.
set known {}
set channel [open [file join $here known.txt]]
foreach line [split [read $channel] \n] {
    if {[regexp {^\s*(#|$)} $line]} continue
    lassign $line pattern where
    lappend known $pattern $where
}
close $channel

proc known {name setting} {
    foreach {pattern where} $::known {
        if {[string match $pattern $name] && $where in [list $setting both]} { return 1 }
    }
    return 0
}

set baseline [outcomes $plain]
set passed [dict keys [dict filter $baseline value PASSED]]
puts "[llength $files] files, [dict size $baseline] tests, [llength $passed] pass in a plain tclsh"
set wrong 0
foreach setting {main script} {
    set failed {}
    set excused 0
    foreach name $passed {
        set outcome [expr {[dict exists $results($setting) $name] ? [dict get $results($setting) $name] : "NOT RUN"}]
        if {$outcome eq "FAILED" || $outcome eq "NOT RUN"} {
            if {[known $name $setting]} { incr excused; continue }
            lappend failed "$name ($outcome)"
        }
    }
    set ran [dict size $results($setting)]
    puts "$setting: $ran tests ran, $excused known differences, [llength $failed] unexpected failures"
    foreach line $failed { puts "    $line" }
    if {[llength $failed] > 0} {
        incr wrong
        if {$ran == 0} { puts $transcript($setting) }
    }
}
exit [expr {$wrong > 0}]
