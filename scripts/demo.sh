#!/usr/bin/env bash
# The Vistel demonstration: builds the extension in build/ when needed and
# runs demo/demo.tcl in wish. It needs no arguments and no input files.
#
# With a display it opens a window that stays until it is closed: an
# animated GIF with Start/Stop/step buttons, alpha, JPEG, TGA and BMP files,
# every format written and read back, conversion, thumbnails and transforms.
# Without a display it runs the same under Xvfb, lets the animation play for
# a moment, saves a contact sheet of every picture as a PNG, prints its path
# and exits. DEMO_SHEET=path chooses where the sheet goes.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"
vistel_ensure_packages

if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTEL_SANITIZE=OFF
fi
if ! log=$(cmake --build build --target tkvistel -j2 2>&1); then
    echo "$log" >&2
    exit 1
fi

export TKVISTEL_LIBDIR="$root/build"
if [ -z "${DISPLAY:-}" ]; then
    echo "No display: running under Xvfb; a contact sheet replaces the window."
    echo
    export DEMO_AUTOEXIT=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" wish demo/demo.tcl
fi
exec wish demo/demo.tcl
