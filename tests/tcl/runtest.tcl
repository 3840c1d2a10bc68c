# Runs the tcltest file named on the command line and exits 1 on failure.
# Further words are tcltest options, e.g. -match 'entry-4.*' -verbose bpe.
package require tcltest 2
set file [file normalize [lindex $argv 0]]
tcltest::configure -testdir [file dirname $file] -singleproc 1 -verbose {error}
tcltest::configure {*}[lrange $argv 1 end]
set tcltest::failed 0
# With Tk loaded, cleanupTests exits by itself (with status 0) unless the run
# counts as interactive; claiming so lets the exit below report failures.
tcltest::testConstraint interactive 1
proc tcltest::cleanupTestsHook {} {
    variable numTests
    set ::tcltest::failed $numTests(Failed)
}
source $file
exit [expr {$tcltest::failed > 0}]
