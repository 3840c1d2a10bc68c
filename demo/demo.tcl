# Loads the Tkvistel extension into wish and shows what it registers: the
# photo formats Tk now knows and the ::Vistel:: commands.
#
# TKVISTEL_LIBDIR names the directory holding the library and pkgIndex.tcl
# (build/ by default). With DEMO_AUTOEXIT set, the window closes by itself
# after a moment; otherwise it stays until it is closed.

set here [file dirname [file normalize [info script]]]
if {[info exists env(TKVISTEL_LIBDIR)]} {
    set libdir $env(TKVISTEL_LIBDIR)
} else {
    set libdir [file join $here .. build]
}
lappend auto_path $libdir
set version [package require Tkvistel]

set ourFormats {vistel vsgif vspng vsjpg vstga vsbmp}
set tkFormats {gif png ppm}

# Tk 8.6 cannot list its photo formats. A name it does not know is refused as
# unsupported; a known one gets as far as that format's match procedure.
proc formatKnown {name} {
    if {![catch {image create photo -format $name -data "x"} msg]} {
        image delete $msg
        return 1
    }
    return [expr {![string match {image format * is not supported} $msg]}]
}

# Called without arguments, a command that exists only as a placeholder says
# so; a working one answers with its usage message.
proc commandState {cmd} {
    catch {$cmd} msg
    if {[string match "*is not available in this build*" $msg]} {
        return "not built yet"
    }
    return "ready"
}

set lines {}
lappend lines "Tkvistel $version loaded from [file normalize $libdir]" ""
lappend lines "Photo formats registered by Tkvistel:"
foreach name $ourFormats {
    lappend lines [format "  %-8s %s" $name \
        [expr {[formatKnown $name] ? "known to Tk" : "MISSING"}]]
}
set builtin {}
foreach name $tkFormats {
    if {[formatKnown $name]} {lappend builtin $name}
}
lappend lines "Tk's own photo formats: [join $builtin {, }]" ""
lappend lines "Commands:"
foreach cmd [lsort [info commands ::Vistel::*]] {
    lappend lines [format "  %-24s %s" $cmd [commandState $cmd]]
}
set report [join $lines \n]
puts $report

# The window: the report beside a photo drawn here, which Tk displays through
# the extension's display hook.
wm title . "Tkvistel $version"
image create photo swatch -width 96 -height 96
for {set y 0} {$y < 96} {incr y 8} {
    for {set x 0} {$x < 96} {incr x 8} {
        set colour [format "#%02x%02x%02x" [expr {$x * 255 / 88}] \
            [expr {$y * 255 / 88}] [expr {255 - $x * 255 / 88}]]
        swatch put $colour -to $x $y [expr {$x + 8}] [expr {$y + 8}]
    }
}
label .swatch -image swatch -borderwidth 2 -relief sunken
label .report -text $report -justify left -font TkFixedFont
button .quit -text Close -command exit
grid .swatch .report -padx 8 -pady 8 -sticky nw
grid .quit - -pady 8

if {[info exists env(DEMO_AUTOEXIT)] && $env(DEMO_AUTOEXIT) ne ""} {
    after 1500 exit
}
