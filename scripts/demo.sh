#!/usr/bin/env bash
# Builds the extension in build/ when needed and runs the demonstration in
# wish. Without a display it runs under Xvfb and closes by itself.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/deps.sh
. "$root/scripts/deps.sh"
vistel_ensure_packages

if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTEL_SANITIZE=OFF
fi
cmake --build build --target tkvistel -j2

export TKVISTEL_LIBDIR="$root/build"
if [ -z "${DISPLAY:-}" ]; then
    export DEMO_AUTOEXIT=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" wish demo/demo.tcl
fi
exec wish demo/demo.tcl
