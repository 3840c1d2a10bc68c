# Loads the extension from the build directory and provides shared helpers
# for the Tcl-level tests.
package require tcltest 2
namespace import -force ::tcltest::*
package require Tk
wm withdraw .

if {![info exists ::env(TKVISTEL_LIBDIR)]} {
    error "TKVISTEL_LIBDIR must name the build directory"
}
set ::vistelLibDir $::env(TKVISTEL_LIBDIR)
set ::vistelLib [file join $::vistelLibDir libtkvistel[info sharedlibextension]]
lappend auto_path $::vistelLibDir
package require Tkvistel

set ::testdata [expr {[info exists ::env(VISTEL_TESTDATA)] ? $::env(VISTEL_TESTDATA) : ""}]
testConstraint testdata [expr {$::testdata ne "" && [file isdirectory $::testdata]}]
