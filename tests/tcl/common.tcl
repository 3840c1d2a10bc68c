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

# Tests of the shared corpora skip when they are absent, except under CI
# (CI=true), where they run and fail.
set ::testdata [expr {[info exists ::env(VISTEL_TESTDATA)] ? $::env(VISTEL_TESTDATA) : ""}]
testConstraint testdata [expr {($::testdata ne "" && [file isdirectory $::testdata])
    || ([info exists ::env(CI)] && $::env(CI) eq "true")}]

# Writes bytes to a file, returning its path; reads a file's bytes (the
# first `n` when given).
proc writeBinary {path bytes} {
    set f [open $path wb]
    puts -nonewline $f $bytes
    close $f
    return $path
}
proc readBinary {path {n -1}} {
    set f [open $path rb]
    set bytes [expr {$n < 0 ? [read $f] : [read $f $n]}]
    close $f
    return $bytes
}

# A PNG chunk: length, type, data, CRC of type and data.
proc pngChunk {type data} {
    binary format Ia4a*I [string length $data] $type $data [zlib crc32 $type$data]
}

# Every pixel of a photo as {r g b a}, top row first, alpha included: read
# back from Tk's own PNG writer (8-bit RGB or RGBA rows, filter 0).
proc photoRgba {photo} {
    set png [$photo data -format png]
    set idat ""
    for {set at 8} {$at < [string length $png]} {incr at [expr {12 + $len}]} {
        binary scan $png @${at}Ia4 len type
        if {$type eq "IHDR"} { binary scan $png @[expr {$at + 17}]c colorType }
        if {$type eq "IDAT"} { append idat [string range $png $at+8 [expr {$at + 7 + $len}]] }
    }
    set channels [expr {$colorType == 6 ? 4 : 3}]
    set rowBytes [expr {[image width $photo] * $channels}]
    set rows [zlib decompress $idat]
    set out {}
    for {set y 0} {$y < [image height $photo]} {incr y} {
        binary scan $rows @[expr {$y * ($rowBytes + 1) + 1}]cu$rowBytes samples
        for {set i 0} {$i < $rowBytes} {incr i $channels} {
            set pixel [lrange $samples $i [expr {$i + 2}]]
            lappend out [lappend pixel [expr {$channels == 4 ? [lindex $samples $i+3] : 255}]]
        }
    }
    return $out
}

# A photo of one colour, of the given size.
proc solidPhoto {color {w 8} {h 6}} {
    set p [image create photo -width $w -height $h]
    $p put $color -to 0 0 $w $h
    return $p
}

# The bytes of an animated GIF whose frames are solid colours, shown for
# the given delays (hundredths of a second). Each frame is written by our
# encoder; the first file supplies the header and screen, and each file's
# colour table becomes the local table of its frame.
proc animatedGifData {colors delays {w 8} {h 6}} {
    set head ""
    set body ""
    foreach color $colors delay $delays {
        set p [solidPhoto $color $w $h]
        set gif [$p data -format vsgif]
        image delete $p
        binary scan $gif @10cu flags
        set tableEnd [expr {13 + 3 * (2 << ($flags & 7))}]
        if {$head eq ""} {
            set head [string range $gif 0 9][binary format c [expr {$flags & 0x7F}]]
            append head [string range $gif 11 12] [binary format c3a11c2sc \
                {0x21 0xFF 11} NETSCAPE2.0 {3 1} 0 0]
        }
        # The 8-byte control block, then the 10-byte image descriptor.
        set frame [string range $gif $tableEnd end-1]
        set frame [string replace $frame 4 5 [binary format s $delay]]
        append body [string range $frame 0 16] [binary format c [expr {0x80 | ($flags & 7)}]] \
            [string range $gif 13 [expr {$tableEnd - 1}]] [string range $frame 18 end]
    }
    return "$head$body\x3B"
}

# Records (elapsed ms, colour of pixel 0 0) of a photo shown in a label
# until `ms` have passed; keeps only the changes.
proc colourChanges {p ms} {
    set start [clock milliseconds]
    set changes {}
    set last ""
    while {[set now [expr {[clock milliseconds] - $start}]] < $ms} {
        update
        set c [$p get 0 0]
        if {$c ne $last} {
            lappend changes [list $now $c]
            set last $c
        }
        after 5
    }
    return $changes
}

proc showPhoto {p} {
    destroy .anim
    toplevel .anim
    label .anim.l -image $p
    pack .anim.l
    update
}
