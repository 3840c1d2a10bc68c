# The demo's own pictures, drawn pixel by pixel in Tcl so that the demo needs
# no input files: a small landscape, a tall and a wide picture for the
# thumbnails, a colour wheel with a soft alpha edge (as the bytes of a 32-bit
# TGA file, since Tk 8.6 photos cannot be given partial alpha from Tcl), and
# the frames of an animated GIF.

namespace eval demo::pic {}

# A photo of w x h pixels whose colours come from `command x y`, which
# returns red green blue 0..255. Rows are put whole, which is far faster
# than one put per pixel.
proc demo::pic::render {w h command} {
    set rows {}
    for {set y 0} {$y < $h} {incr y} {
        set row {}
        for {set x 0} {$x < $w} {incr x} {
            lappend row [format #%02x%02x%02x {*}[{*}$command $x $y]]
        }
        lappend rows $row
    }
    set photo [image create photo -width $w -height $h]
    $photo put $rows
    return $photo
}

# Hue 0..1 at full saturation and value v, as red green blue 0..255.
proc demo::pic::hue {h {v 1.0}} {
    set h [expr {6.0 * ($h - floor($h))}]
    set i [expr {int($h)}]
    set f [expr {$h - $i}]
    set q [expr {1.0 - $f}]
    set rgb [lindex [list [list 1 $f 0] [list $q 1 0] [list 0 1 $f] \
                         [list 0 $q 1] [list $f 0 1] [list 1 0 $q]] $i]
    return [lmap c $rgb {expr {int($c * $v * 255 + 0.5)}}]
}

proc demo::pic::mix {a b t} {
    lmap p $a q $b {expr {int($p + ($q - $p) * $t + 0.5)}}
}

# A landscape: sky, sun, hills and a house.
proc demo::pic::sceneColour {w h x y} {
    set u [expr {double($x) / $w}]
    set v [expr {double($y) / $h}]
    set hill [expr {0.62 + 0.07 * sin($u * 8.0) + 0.04 * sin($u * 19.0 + 1.0)}]
    if {$u > 0.18 && $u < 0.36 && $v > 0.52 && $v < 0.72} {
        if {$u > 0.24 && $u < 0.29 && $v > 0.62} {return {90 50 20}}
        return {200 60 45}
    }
    if {$v <= 0.52 && $v > 0.38 && abs($u - 0.27) < ($v - 0.38) * 0.9} {
        return {110 40 30}
    }
    if {$v > $hill} {
        set t [expr {($v - $hill) / (1.0 - $hill)}]
        return [mix {90 170 60} {30 90 30} $t]
    }
    set d [expr {hypot(($u - 0.75) * $w, ($v - 0.25) * $h) / $h}]
    if {$d < 0.11} {return {255 225 70}}
    set sky [mix {60 110 210} {200 225 250} [expr {$v / $hill}]]
    if {$d < 0.2} {return [mix {255 235 150} $sky [expr {($d - 0.11) / 0.09}]]}
    return $sky
}

proc demo::pic::scene {w h} {
    render $w $h [list demo::pic::sceneColour $w $h]
}

# Tall: a striped tower of hues; wide: a rainbow band darkening downward.
proc demo::pic::tall {w h} {
    render $w $h [list apply {{w h x y} {
        set stripe [expr {(($x * 4 / $w) + ($y / 12)) % 2}]
        demo::pic::hue [expr {double($y) / $h}] [expr {$stripe ? 1.0 : 0.6}]
    }} $w $h]
}

proc demo::pic::wide {w h} {
    render $w $h [list apply {{w h x y} {
        demo::pic::hue [expr {double($x) / $w}] [expr {1.0 - 0.7 * $y / $h}]
    }} $w $h]
}

# An uncompressed 32-bit TGA, rows top down: a colour wheel whose alpha falls
# off toward the rim, with a clear hole in the middle.
proc demo::pic::wheelTga {size} {
    set header [binary format cccsscsssscc 0 0 2 0 0 0 0 0 $size $size 32 0x28]
    set pixels ""
    set c [expr {($size - 1) / 2.0}]
    set rim [expr {$size / 2.0 - 1}]
    for {set y 0} {$y < $size} {incr y} {
        for {set x 0} {$x < $size} {incr x} {
            set d [expr {hypot($x - $c, $y - $c) / $rim}]
            if {$d > 1.0 || $d < 0.22} {
                append pixels [binary format cccc 0 0 0 0]
                continue
            }
            set alpha [expr {int(255 * (1.0 - pow($d, 4)))}]
            lassign [hue [expr {atan2($y - $c, $x - $c) / (2 * acos(-1))}]] r g b
            append pixels [binary format cccc $b $g $r $alpha]
        }
    }
    return $header$pixels
}

# A photo of w x h in light and dark grey squares, to show through
# transparent pixels.
proc demo::pic::checker {w h {square 8}} {
    set photo [image create photo -width $w -height $h]
    $photo put #cccccc -to 0 0 $w $h
    for {set y 0} {$y < $h} {incr y $square} {
        for {set x [expr {($y / $square) % 2 * $square}]} {$x < $w} {incr x [expr {2 * $square}]} {
            $photo put #ffffff -to $x $y [expr {min($x + $square, $w)}] [expr {min($y + $square, $h)}]
        }
    }
    return $photo
}

# A new photo: `photo` laid over a checkerboard of its size.
proc demo::pic::overChecker {photo} {
    set out [checker [image width $photo] [image height $photo]]
    $out copy $photo -compositingrule overlay
    return $out
}
