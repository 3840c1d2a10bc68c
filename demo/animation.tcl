# The animated GIF: eight frames drawn in Tcl, each written by Vistel's GIF
# encoder, joined into one animated file and read back into a photo that
# plays by itself. The panel has Start, Stop, Prev and Next buttons
# (keys: space starts and stops, Left and Right step, Home goes to frame 0).

namespace eval demo::anim {
    variable size 96
    variable frames 8
    variable delay 12     ;# hundredths of a second per frame
    variable photo ""
    variable playing 1
    variable status ""
    # The ball's colour in each frame.
    variable colours {{255 0 0} {255 255 0} {0 255 0} {0 255 255}
                      {0 0 255} {255 0 255} {255 255 255} {192 192 192}}
}

# Frame i: a ball circling the centre with fading trail dots, and along
# the bottom a bar of `frames` segments of which the first i + 1 are lit.
# The bar lets the demo read back which frame the photo shows.
proc demo::anim::frameColour {i x y} {
    variable size
    variable frames
    variable colours
    if {$y >= $size - 10} {
        if {$y >= $size - 3} {return {0 0 0}}
        lassign [segment $x] k inside
        if {!$inside} {return {0 0 0}}
        return [expr {$k <= $i ? {255 255 255} : {128 128 128}}]
    }
    set c [expr {$size / 2.0}]
    set cy [expr {$c - 6}]
    if {hypot($x - $c, $y - $cy) < 5} {return {255 255 255}}
    set orbit [expr {$size * 0.3}]
    for {set back 0} {$back < 3} {incr back} {
        set angle [expr {2 * acos(-1) * ($i - $back) / $frames}]
        set bx [expr {$c + $orbit * cos($angle)}]
        set by [expr {$cy + $orbit * sin($angle)}]
        set radius [expr {11 - 3 * $back}]
        if {hypot($x - $bx, $y - $by) < $radius} {
            return [expr {$back == 0 ? [lindex $colours $i] : {128 128 128}}]
        }
    }
    return {0 0 0}
}

# The segment under column x of the bar, and whether x is inside it
# rather than in the gap after it.
proc demo::anim::segment {x} {
    variable size
    variable frames
    set width [expr {($size - 8) / $frames}]
    set k [expr {($x - 4) / $width}]
    set inside [expr {$x >= 4 && $k < $frames && ($x - 4) % $width < $width - 3}]
    return [list $k $inside]
}

# The bytes of the animated GIF. Each frame is written alone by the GIF
# encoder, which gives it a palette of exactly its own colours; the frames
# are joined after a screen without a global table and a looping
# extension, each with a control block carrying the delay and its palette
# as the image's local table (so every frame is painted with its own).
proc demo::anim::gifData {} {
    variable size
    variable frames
    variable delay
    set body ""
    for {set i 0} {$i < $frames} {incr i} {
        set frame [demo::pic::render $size $size [list demo::anim::frameColour $i]]
        set gif [$frame data -format vsgif]
        image delete $frame
        append body [binary format c4sc2 {0x21 0xF9 4 0x04} $delay {0 0}]
        append body [localImage $gif]
    }
    set head [binary format a6s2c3 GIF89a [list $size $size] {0 0 0}]
    append head [binary format c3a11c2sc {0x21 0xFF 11} NETSCAPE2.0 {3 1} 0 0]
    return "$head$body\x3B"
}

# The first image of a one-frame GIF as an image descriptor with a local
# colour table (the file's global one unless the image has its own),
# followed by its image data.
proc demo::anim::localImage {gif} {
    binary scan $gif @10cu screenFlags
    set pos 13
    set table ""
    if {$screenFlags & 0x80} {
        set bytes [expr {3 << (($screenFlags & 7) + 1)}]
        set table [string range $gif $pos [expr {$pos + $bytes - 1}]]
        set tableBits [expr {$screenFlags & 7}]
        incr pos $bytes
    }
    while {1} {
        binary scan $gif @${pos}cu introducer
        if {$introducer == 0x2C} break
        if {$introducer != 0x21} { error "unexpected layout of a GIF written by vsgif" }
        set pos [skipSubBlocks $gif [expr {$pos + 2}]]
    }
    binary scan $gif @[expr {$pos + 9}]cu imageFlags
    set descriptor [string range $gif $pos [expr {$pos + 8}]]
    incr pos 10
    if {$imageFlags & 0x80} {
        set bytes [expr {3 << (($imageFlags & 7) + 1)}]
        set table [string range $gif $pos [expr {$pos + $bytes - 1}]]
        set tableBits [expr {$imageFlags & 7}]
        incr pos $bytes
    }
    if {$table eq ""} { error "unexpected layout of a GIF written by vsgif" }
    set flags [expr {0x80 | ($imageFlags & 0x40) | $tableBits}]
    set data [string range $gif $pos [expr {[skipSubBlocks $gif [expr {$pos + 1}]] - 1}]]
    return "$descriptor[binary format cu $flags]$table$data"
}

# The position after the sub-blocks that start at pos and their terminator.
proc demo::anim::skipSubBlocks {gif pos} {
    while {1} {
        binary scan $gif @${pos}cu length
        incr pos [expr {$length + 1}]
        if {$length == 0} { return $pos }
    }
}

# The frame the photo shows now, read from the lit segments of its bar.
proc demo::anim::current {} {
    variable photo
    variable size
    variable frames
    set width [expr {($size - 8) / $frames}]
    set lit 0
    for {set k 0} {$k < $frames} {incr k} {
        if {[lindex [$photo get [expr {4 + $k * $width + 1}] [expr {$size - 6}]] 0] > 200} {
            incr lit
        }
    }
    return [expr {max($lit - 1, 0)}]
}

proc demo::anim::start {} {
    variable photo
    variable playing 1
    ::Vistel::StartAnimation $photo
}

proc demo::anim::stop {} {
    variable photo
    variable playing 0
    ::Vistel::StopAnimation $photo
}

proc demo::anim::toggle {} {
    variable playing
    if {$playing} {stop} else {start}
}

# Stops the animation and shows the frame `step` away from the current one.
proc demo::anim::step {step} {
    variable photo
    stop
    set n [::Vistel::NumberOfFrames $photo]
    ::Vistel::JumpToFrame $photo [expr {([current] + $step + $n) % $n}]
}

proc demo::anim::first {} {
    variable photo
    stop
    ::Vistel::JumpToFrame $photo 0
}

# Keeps the status line under the animation up to date.
proc demo::anim::watch {} {
    variable photo
    variable playing
    variable status
    if {$photo eq "" || $photo ni [image names]} return
    set state [expr {$playing ? "playing" : "stopped"}]
    set last [expr {[::Vistel::NumberOfFrames $photo] - 1}]
    set status "frame [current] of 0 to $last, $state"
    after 100 demo::anim::watch
}

# Watches the photo for `ms` milliseconds and returns how many times its
# frame changed.
proc demo::anim::countChanges {ms} {
    set changes 0
    set last [current]
    set end [expr {[clock milliseconds] + $ms}]
    while {[clock milliseconds] < $end} {
        after 20
        update
        set now [current]
        if {$now != $last} {
            incr changes
            set last $now
        }
    }
    return $changes
}

proc demo::animation {parent dir} {
    variable anim::photo
    variable anim::delay
    set frame [demo::panel $parent animation "Animated GIF"]
    set data [anim::gifData]
    set path [file join $dir anim.gif]
    demo::writeBytes $path $data
    set photo [image create photo -file $path]
    set n [::Vistel::NumberOfFrames $photo]
    demo::say "Animated GIF: $n frames drawn in Tcl, each written with vsgif and joined\
        into anim.gif ([demo::bytes [file size $path]]); ::Vistel::IsAnimated gives\
        [::Vistel::IsAnimated $path] and ::Vistel::NumberOfFrames $n. It plays in an\
        ordinary photo, [expr {$delay * 10}] ms per frame; the bar at its foot shows\
        which frame is up."
    demo::tile $frame $photo "anim.gif, $n frames"

    set buttons [ttk::frame $frame.buttons]
    ttk::button $buttons.start -text Start -width 6 -command demo::anim::start
    ttk::button $buttons.stop -text Stop -width 6 -command demo::anim::stop
    ttk::button $buttons.prev -text "< Prev" -width 6 -command {demo::anim::step -1}
    ttk::button $buttons.next -text "Next >" -width 6 -command {demo::anim::step 1}
    pack $buttons.start $buttons.stop $buttons.prev $buttons.next -side left -padx 1
    ttk::label $frame.status -textvariable demo::anim::status
    grid $buttons -row 1 -column 0 -columnspan 4 -pady 2
    grid $frame.status -row 2 -column 0 -columnspan 4
    bind . <space> demo::anim::toggle
    bind . <Right> {demo::anim::step 1}
    bind . <Left> {demo::anim::step -1}
    bind . <Home> demo::anim::first
    after idle demo::anim::watch
    return $frame
}
