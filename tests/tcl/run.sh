#!/bin/sh
# Runs one tcltest file with tclsh, under Xvfb when no display is set.
# Exit status is non-zero when any test fails.
here=$(dirname "$0")
if [ -z "$DISPLAY" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" tclsh "$here/runtest.tcl" "$@"
fi
exec tclsh "$here/runtest.tcl" "$@"
