# Runs files of Tcl's own test suite through tcltest in the interpreter
# that sources this file, and writes one line per test to OUTFILE:
# "PASSED NAME", "FAILED NAME" or "SKIPPED NAME".
#     ::conformance::run TESTDIR OUTFILE FILE ...
# A plain tclsh runs it as a program with the same words.
namespace eval ::conformance {}

proc ::conformance::run {testdir outfile args} {
    package require tcltest 2.5
    set log $outfile.log
    # Tcl's tests read and write files beside themselves and in the
    # current directory; they run from a scratch directory, and at the
    # global level, as in tclsh.
    set here [pwd]
    set scratch [file join [file dirname $outfile] [file rootname [file tail $outfile]]-files]
    file mkdir $scratch
    cd $scratch
    ::tcltest::configure -testdir $testdir -tmpdir $scratch -singleproc 1 -file $args \
        -verbose {pass skip error} -outfile $log -errfile $outfile.errors
    uplevel #0 {namespace import -force ::tcltest::*}
    catch {uplevel #0 ::tcltest::runAllTests} message
    cd $here
    foreach {which standard} {outputChannel stdout errorChannel stderr} {
        catch {close [set ::tcltest::$which]}
        set ::tcltest::$which $standard
    }
    set in [open $log]
    set text [read $in]
    close $in
    set out [open $outfile w]
    foreach line [split $text \n] {
        if {[regexp {^\+\+\+\+ (\S+) (PASSED|SKIPPED)} $line -> name outcome]
                || [regexp {^==== (\S+) .*(FAILED)$} $line -> name outcome]} {
            puts $out "$outcome $name"
        }
    }
    close $out
    return $message
}

if {[info exists argv0] && [file tail [info script]] eq [file tail $argv0]} {
    ::conformance::run {*}$argv
}
