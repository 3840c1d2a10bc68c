#!/bin/sh
# Runs one tcltest file with tclsh, under Xvfb when no display is set.
# Exit status is non-zero when any test fails.
here=$(dirname "$0")
if [ -z "$DISPLAY" ]; then
    # A sanitizer runtime preloaded for tclsh must not reach the X server
    # and its helpers: they start slowly under it and report their own leaks.
    preload=${LD_PRELOAD-}
    # Test files run side by side: each looks for a free display from a
    # number of its own, so that two servers do not race for the same one.
    exec env -u LD_PRELOAD xvfb-run -a -n $(($$ % 900 + 100)) -s "-screen 0 1024x768x24" \
        env LD_PRELOAD="$preload" tclsh "$here/runtest.tcl" "$@"
fi
exec tclsh "$here/runtest.tcl" "$@"
