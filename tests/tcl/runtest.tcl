# Runs the tcltest file named on the command line and exits 1 on failure.
package require tcltest 2
set file [file normalize [lindex $argv 0]]
tcltest::configure -testdir [file dirname $file] -singleproc 1 -verbose {error}
set tcltest::failed 0
proc tcltest::cleanupTestsHook {} {
    variable numTests
    set ::tcltest::failed $numTests(Failed)
}
source $file
exit [expr {$tcltest::failed > 0}]
