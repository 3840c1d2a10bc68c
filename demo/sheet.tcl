# The contact sheet: every picture of the window copied into one photo,
# panel by panel, with the titles and captions drawn in a small built-in
# bitmap font, then written as PNG with vspng. It stands in for a
# screenshot, which Tk cannot take of its own windows.

namespace eval demo::sheet {
    variable width 1040
    variable margin 14
    variable gap 12
    variable background #f4f4f4
    variable ink #202020
    variable band #3b5b8c

    # 5 x 7 glyphs, one hexadecimal number per row, the high bit (0x10) on
    # the left. Lower case is drawn as upper case; anything missing as "?".
    variable glyphs
    array set glyphs {
        A {0E 11 11 1F 11 11 11} B {1E 11 11 1E 11 11 1E} C {0E 11 10 10 10 11 0E}
        D {1E 11 11 11 11 11 1E} E {1F 10 10 1E 10 10 1F} F {1F 10 10 1E 10 10 10}
        G {0E 11 10 17 11 11 0F} H {11 11 11 1F 11 11 11} I {0E 04 04 04 04 04 0E}
        J {07 02 02 02 02 12 0C} K {11 12 14 18 14 12 11} L {10 10 10 10 10 10 1F}
        M {11 1B 15 15 11 11 11} N {11 11 19 15 13 11 11} O {0E 11 11 11 11 11 0E}
        P {1E 11 11 1E 10 10 10} Q {0E 11 11 11 15 12 0D} R {1E 11 11 1E 14 12 11}
        S {0F 10 10 0E 01 01 1E} T {1F 04 04 04 04 04 04} U {11 11 11 11 11 11 0E}
        V {11 11 11 11 11 0A 04} W {11 11 11 15 15 15 0A} X {11 11 0A 04 0A 11 11}
        Y {11 11 11 0A 04 04 04} Z {1F 01 02 04 08 10 1F}
        0 {0E 11 13 15 19 11 0E} 1 {04 0C 04 04 04 04 0E} 2 {0E 11 01 02 04 08 1F}
        3 {1F 02 04 02 01 11 0E} 4 {02 06 0A 12 1F 02 02} 5 {1F 10 1E 01 01 11 0E}
        6 {06 08 10 1E 11 11 0E} 7 {1F 01 02 04 08 08 08} 8 {0E 11 11 0E 11 11 0E}
        9 {0E 11 11 0F 01 02 0C}
        . {00 00 00 00 00 0C 0C} , {00 00 00 00 0C 04 08} : {00 0C 0C 00 0C 0C 00}
        - {00 00 00 1F 00 00 00} ( {02 04 08 08 08 04 02} ) {08 04 02 02 02 04 08}
        / {00 01 02 04 08 10 00} > {08 04 02 01 02 04 08} < {02 04 08 10 08 04 02}
        + {00 04 04 1F 04 04 00} = {00 00 1F 00 1F 00 00} # {0A 0A 1F 0A 1F 0A 0A}
        ? {0E 11 01 02 04 00 04} ' {04 04 08 00 00 00 00} _ {00 00 00 00 00 00 1F}
        " " {00 00 00 00 00 00 00}
    }
}

# Width in pixels of `text` drawn at `scale`: 6 columns per character.
proc demo::sheet::textWidth {text scale} {
    expr {[string length $text] * 6 * $scale}
}

proc demo::sheet::drawText {photo text x y colour scale} {
    variable glyphs
    foreach char [split [string toupper $text] ""] {
        if {![info exists glyphs($char)]} {set char ?}
        set row 0
        foreach bits $glyphs($char) {
            set bits [scan $bits %x]
            for {set col 0} {$col < 5} {incr col} {
                if {$bits & (0x10 >> $col)} {
                    set px [expr {$x + $col * $scale}]
                    set py [expr {$y + $row * $scale}]
                    $photo put $colour -to $px $py [expr {$px + $scale}] [expr {$py + $scale}]
                }
            }
            incr row
        }
        incr x [expr {6 * $scale}]
    }
}

# The photos to place for one tile: an animated photo gives one still per
# frame (the photo must be on screen for its frames to be drawn into it).
proc demo::sheet::stills {photo caption} {
    set n [::Vistel::NumberOfFrames $photo]
    if {$n < 2} {
        return [list $photo $caption 0]
    }
    set shown [expr {$photo eq $demo::anim::photo ? [demo::anim::current] : 0}]
    set out {}
    for {set i 0} {$i < $n} {incr i} {
        ::Vistel::JumpToFrame $photo $i
        update idletasks
        set still [image create photo]
        $still copy $photo
        lappend out $still "frame $i" 1
    }
    ::Vistel::JumpToFrame $photo $shown
    return $out
}

# One panel as a block: its width, its height and its drawing operations
# relative to its top left corner, {text string x y colour scale},
# {photo name x y temporary} and {band x y w h}. Its tiles run in one row,
# wrapped at the sheet's width.
proc demo::sheet::panelBlock {frame heading} {
    variable width
    variable margin
    variable gap
    variable ink
    set limit [expr {$width - 2 * $margin}]
    set ops [list [list text $heading 4 4 #ffffff 2]]
    set blockWidth [expr {[textWidth $heading 2] + 8}]
    set x 0
    set y [expr {22 + $gap / 2}]
    set rowHeight 0
    foreach tile $demo::tiles($frame) {
        foreach {photo caption temporary} [stills {*}$tile] {
            set lines [split $caption \n]
            set cell [image width $photo]
            foreach line $lines {
                set cell [expr {max($cell, [textWidth $line 1])}]
            }
            if {$x > 0 && $x + $cell > $limit} {
                incr y [expr {$rowHeight + $gap}]
                set x 0
                set rowHeight 0
            }
            lappend ops [list photo $photo $x $y $temporary]
            set ty [expr {$y + [image height $photo] + 4}]
            foreach line $lines {
                lappend ops [list text $line $x $ty $ink 1]
                incr ty 10
            }
            set rowHeight [expr {max($rowHeight, $ty - $y)}]
            set blockWidth [expr {max($blockWidth, $x + $cell)}]
            incr x [expr {$cell + $gap}]
        }
    }
    set ops [linsert $ops 0 [list band 0 0 $blockWidth 22]]
    return [list $blockWidth [expr {$y + $rowHeight}] $ops]
}

# Places the panels' blocks side by side while they fit, under a title.
# Returns the operations in sheet coordinates and the sheet's height.
proc demo::sheet::layout {title} {
    variable width
    variable margin
    variable gap
    variable ink
    set ops [list [list text $title $margin $margin $ink 3]]
    set x $margin
    set y [expr {$margin + 7 * 3 + $gap}]
    set rowHeight 0
    foreach panel $demo::panels {
        lassign [panelBlock {*}$panel] w h blockOps
        if {$x > $margin && $x + $w > $width - $margin} {
            incr y [expr {$rowHeight + 2 * $gap}]
            set x $margin
            set rowHeight 0
        }
        foreach op $blockOps {
            set at [expr {[lindex $op 0] eq "band" ? 1 : 2}]
            lset op $at [expr {[lindex $op $at] + $x}]
            lset op $at+1 [expr {[lindex $op $at+1] + $y}]
            lappend ops $op
        }
        set rowHeight [expr {max($rowHeight, $h)}]
        incr x [expr {$w + 2 * $gap}]
    }
    return [list $ops [expr {$y + $rowHeight + $margin}]]
}

proc demo::sheet::write {path} {
    variable width
    variable background
    variable band
    lassign [layout "Vistel $::version demonstration"] ops height
    set sheet [image create photo -width $width -height $height]
    $sheet put $background -to 0 0 $width $height
    foreach op $ops {
        switch -- [lindex $op 0] {
            text {
                lassign $op - text x y colour scale
                drawText $sheet $text $x $y $colour $scale
            }
            band {
                lassign $op - x y w h
                $sheet put $band -to $x $y [expr {$x + $w}] [expr {$y + $h}]
            }
            photo {
                lassign $op - photo x y temporary
                $sheet copy $photo -to $x $y -compositingrule overlay
                if {$temporary} {image delete $photo}
            }
        }
    }
    $sheet write $path -format vspng
    image delete $sheet
    return $path
}
