#!/bin/sh
# Installs the build into a temporary prefix and checks the result the way a
# user meets it:
#   - the package directory holds the library and pkgIndex.tcl, and it or
#     its parent is on tclsh's default package path for the prefixes /usr
#     and /usr/local;
#   - a tclsh that has the temporary counterpart of that parent on its path
#     (TCLLIBPATH) loads Tkvistel from the installed copy, at the build's
#     version, with its commands;
#   - the manual page is installed and formats without a groff warning.
#
#   install.sh CMAKE BUILD_DIR PKGDIR VERSION MANDIR
#
# Runs under xvfb-run when DISPLAY is empty. Exit status 0 on success, 77
# (skipped) when an install directory is absolute.
set -u

if [ $# -ne 5 ]; then
    echo "usage: install.sh CMAKE BUILD_DIR PKGDIR VERSION MANDIR" >&2
    exit 2
fi
cmake=$1 build=$2 pkgdir=$3 version=$4 mandir=$5

# A sanitizer build hands its runtime in LD_PRELOAD; only the tclsh that
# loads the instrumented library needs it.
tcl_preload=${LD_PRELOAD:-}
unset LD_PRELOAD DESTDIR TCLLIBPATH

# An absolute install directory lies outside any temporary prefix; the
# test installs nothing into the real system.
for dir in "$pkgdir" "$mandir"; do
    case $dir in
        /*)
            echo "install directory $dir is absolute: test skipped"
            exit 77
            ;;
    esac
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" || fail "cmake --install"

installed=$prefix/$pkgdir
[ -f "$installed/pkgIndex.tcl" ] || fail "no pkgIndex.tcl in $installed"
ls "$installed"/libtkvistel.* >/dev/null 2>&1 || fail "no library in $installed"

# Tcl finds packages in the directories of auto_path and one level below
# them, so the package directory or its parent must be on the default path.
for real in /usr /usr/local; do
    dir=$real/$pkgdir
    echo "exit [expr {[lsearch -exact \$auto_path $dir] < 0 &&
                     [lsearch -exact \$auto_path [file dirname $dir]] < 0}]" |
        tclsh || fail "$dir is not on tclsh's default package path"
done

check=$prefix/check.tcl
cat >"$check" <<'EOF'
lassign $argv prefix version
proc fail {msg} { puts stderr "FAIL: $msg"; exit 1 }
if {[catch {package require Tk} msg]} { fail "package require Tk: $msg" }
wm withdraw .
if {[catch {package require -exact Tkvistel $version} got]} {
    fail "package require Tkvistel $version: $got"
}
set from ""
foreach pair [info loaded] {
    if {[lindex $pair 1] eq "Tkvistel"} { set from [lindex $pair 0] }
}
if {[string first $prefix/ $from] != 0} { fail "loaded from \"$from\", not from $prefix" }
if {[llength [info commands ::Vistel::*]] < 9} { fail "commands missing" }
puts "Tkvistel $got loaded from $from"
exit 0
EOF

# TCLLIBPATH is a Tcl list; braces keep a path with blanks one element.
TCLLIBPATH="{$(dirname "$installed")}"
export TCLLIBPATH
set -- tclsh "$check" "$prefix" "$version"
[ -n "$tcl_preload" ] && set -- env LD_PRELOAD="$tcl_preload" "$@"
if [ -z "${DISPLAY:-}" ]; then
    set -- xvfb-run -a -s "-screen 0 1024x768x24" "$@"
fi
"$@" || fail "loading the installed package"

page=$prefix/$mandir/mann/tkvistel.n
[ -f "$page" ] || fail "manual page not installed as $page"
if command -v groff >/dev/null 2>&1; then
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warnings in the manual page: $warnings"
fi
echo "install: ok"
