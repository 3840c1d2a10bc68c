# The Vistel demonstration: loads the Tkvistel extension into wish and shows,
# in one window, what it adds to Tk photos. Every picture is drawn here and
# written to and read from files in a temporary directory that is removed
# before the window appears.
#
# Environment:
#   TKVISTEL_LIBDIR  directory holding the library and pkgIndex.tcl (build/)
#   DEMO_AUTOEXIT    when set, let the animation play for a moment, save the
#                    contact sheet and exit (used without a display)
#   DEMO_SHEET       where the contact sheet goes
#                    (default: demo-contact-sheet.png in TKVISTEL_LIBDIR)
#   VISTEL_TESTDATA  optional test corpus; one camera photo from it is shown
#                    when it is there

set demoDir [file dirname [file normalize [info script]]]
if {[info exists env(TKVISTEL_LIBDIR)]} {
    set libdir [file normalize $env(TKVISTEL_LIBDIR)]
} else {
    set libdir [file normalize [file join $demoDir .. build]]
}
lappend auto_path $libdir
set version [package require Tkvistel]

namespace eval demo {
    variable panels {}      ;# frame and title of every panel, in order
    variable tiles          ;# frame -> list of photo and caption
    array set tiles {}
    variable autoexit [expr {[info exists ::env(DEMO_AUTOEXIT)] && $::env(DEMO_AUTOEXIT) ne ""}]
}

foreach part {pictures animation bmp panels sheet} {
    source [file join $demoDir $part.tcl]
}

# Prints a paragraph for the reader, wrapped to the terminal's usual width.
proc demo::say {text {indent "  "}} {
    set line ""
    set out {}
    foreach word [regexp -all -inline {\S+} $text] {
        if {$line ne "" && [string length "$line $word"] > 76} {
            lappend out $line
            set line $word
        } elseif {$line eq ""} {
            set line $word
        } else {
            append line " " $word
        }
    }
    lappend out $line
    puts "* [join $out "\n$indent"]"
    flush stdout
}

proc demo::writeBytes {path bytes} {
    set chan [open $path wb]
    puts -nonewline $chan $bytes
    close $chan
}

# A labelled panel inside `parent`; its pictures are added with demo::tile.
proc demo::panel {parent name title} {
    variable panels
    variable tiles
    set frame [ttk::labelframe $parent.$name -text $title -padding 4]
    lappend panels [list $frame $title]
    set tiles($frame) {}
    return $frame
}

# Shows `photo` with its caption under it, in the next column of the panel.
# Pictures go into classic labels: a ttk::label showing an animated photo
# brings wish down on Tk 8.6.13 when the frame changes during its redraw.
proc demo::tile {frame photo caption} {
    variable tiles
    set column [llength $tiles($frame)]
    label $frame.t$column -image $photo -text $caption -compound top -justify center
    grid $frame.t$column -row 0 -column $column -padx 3 -sticky n
    lappend tiles($frame) [list $photo $caption]
}

proc demo::makeTempDir {} {
    set base [expr {[info exists ::env(TMPDIR)] ? $::env(TMPDIR) : "/tmp"}]
    for {set i 0} {1} {incr i} {
        set dir [file join $base vistel-demo-[pid]-$i]
        if {![file exists $dir]} break
    }
    file mkdir $dir
    return $dir
}

proc demo::sheetPath {} {
    global env libdir
    if {[info exists env(DEMO_SHEET)] && $env(DEMO_SHEET) ne ""} {
        return [file normalize $env(DEMO_SHEET)]
    }
    return [file join $libdir demo-contact-sheet.png]
}

proc demo::saveSheet {} {
    set path [sheetPath]
    sheet::write $path
    say "Contact sheet saved to $path"
    return $path
}

# Builds every panel into the window.
proc demo::build {dir} {
    set main [ttk::frame .main -padding 6]
    grid [animation $main $dir] -row 0 -column 0 -sticky nsew -padx 3 -pady 3
    grid [alpha $main $dir] -row 0 -column 1 -sticky nsew -padx 3 -pady 3
    grid [files $main $dir] -row 0 -column 2 -sticky nsew -padx 3 -pady 3
    grid [bmp $main] -row 1 -column 0 -columnspan 3 -sticky nsew -padx 3 -pady 3
    grid [formats $main $dir] -row 2 -column 0 -columnspan 2 -sticky nsew -padx 3 -pady 3
    grid [convert $main $dir] -row 2 -column 2 -sticky nsew -padx 3 -pady 3
    grid [thumbnails $main] -row 3 -column 0 -sticky nsew -padx 3 -pady 3
    grid [transforms $main] -row 3 -column 1 -columnspan 2 -sticky nsew -padx 3 -pady 3
    pack $main -fill both -expand 1

    set bar [ttk::frame .bar -padding {6 0 6 6}]
    ttk::label $bar.keys -text "Keys: space starts or stops the animation,\
        Left and Right step through its frames, Home shows the first."
    ttk::button $bar.sheet -text "Save contact sheet" -command demo::saveSheet
    ttk::button $bar.close -text Close -command demo::quit
    pack $bar.keys -side left
    pack $bar.close $bar.sheet -side right -padx 3
    pack $bar -fill x
}

proc demo::quit {} {
    exit
}

# Processes events until `window` can be seen, for at most two seconds.
proc demo::waitUntilShown {window} {
    for {set i 0} {$i < 100 && ![winfo viewable $window]} {incr i} {
        update
        after 20
    }
}

# Without a display: let the animation be seen playing, drive it as the
# buttons would, save the contact sheet and leave.
proc demo::autoRun {} {
    waitUntilShown .main.animation.t0
    say "Letting the animation play for 2.5 seconds..."
    set changes [anim::countChanges 2500]
    say "In that time it changed frame $changes times\
        ([expr {$changes >= 10 ? "it plays" : "too few: it is NOT playing"}])."
    anim::stop
    ::Vistel::JumpToFrame $anim::photo 5
    update
    say "Stop, then JumpToFrame 5: the photo now shows frame [anim::current]\
        (counted from 0)."
    anim::step 1
    update
    say "Next frame: [anim::current]."
    anim::start
        saveSheet
    quit
}

puts "Vistel demonstration: Tkvistel $version from $libdir\n"
demo::say "Tkvistel adds the photo formats vsbmp, vsgif, vsjpg, vspng, vstga and\
    vistel to Tk (reading any of them by content) and the commands\
    [join [lsort [lmap c [info commands ::Vistel::*] {namespace tail $c}]] {, }]."
demo::say "Every picture below is drawn by this script, written with Vistel and\
    read back; nothing is loaded from outside."
puts ""

wm title . "Vistel $version demonstration"
set tmpDir [demo::makeTempDir]
# A failure ends the demo with its message rather than leaving a half-built
# window open (under Xvfb nobody could close it).
set failed [catch {demo::build $tmpDir} message options]
file delete -force $tmpDir
if {$failed} {
    puts stderr "The demo failed: [dict get $options -errorinfo]"
    exit 1
}
puts ""

if {$demo::autoexit} {
    # No one is there to dismiss an error dialog.
    interp bgerror {} {apply {{message options} {
        puts stderr "The demo failed: [dict get $options -errorinfo]"
        exit 1
    }}}
    after 10 demo::autoRun
} else {
    wm protocol . WM_DELETE_WINDOW demo::quit
    demo::say "The window stays open until you close it. \"Save contact sheet\" writes\
        every picture into one PNG at [demo::sheetPath]."
}
