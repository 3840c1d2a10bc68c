# BMP reading: builds small bitmaps of every depth the reader takes (1, 4
# and 8 bits with palettes, 8 bits run-length coded, 16, 24 and 32 bits) in
# memory, reads each into a photo and shows them side by side, enlarged.
# A 24-bit picture also goes through our own encoder and back.

namespace eval demo::bmpdata {
    variable size 32

    # A BMP file with a 40-byte header around the given rows (bottom-up,
    # each padded to 4 bytes) and palette.
    proc file {width height bpp rows {palette ""} {compression 0} {masks ""}} {
        set colours [expr {[string length $palette] / 4}]
        set info [binary format iiissiiiiii 40 $width $height 1 $bpp $compression \
                      0 2835 2835 $colours 0]
        set offset [expr {14 + 40 + [string length $masks] + [string length $palette]}]
        set total [expr {$offset + [string length $rows]}]
        return "[binary format a2issi BM $total 0 0 $offset]$info$masks$palette$rows"
    }

    proc pad {row} {
        set extra [expr {(4 - [string length $row] % 4) % 4}]
        return $row[string repeat \x00 $extra]
    }

    # Colour of pixel (x, y) of the demo picture, y = 0 at the bottom: a
    # hue ramp across, darkening upward, as red green blue 0..255.
    proc colour {x y} {
        variable size
        set h [expr {6.0 * $x / $size}]
        set v [expr {1.0 - 0.6 * $y / $size}]
        set i [expr {int($h)}]
        set f [expr {$h - $i}]
        set q [expr {1.0 - $f}]
        switch -- [expr {$i % 6}] {
            0 {set rgb [list 1 $f 0]}
            1 {set rgb [list $q 1 0]}
            2 {set rgb [list 0 1 $f]}
            3 {set rgb [list 0 $q 1]}
            4 {set rgb [list $f 0 1]}
            5 {set rgb [list 1 0 $q]}
        }
        return [lmap c $rgb {expr {int($c * $v * 255)}}]
    }

    # Palette of `n` greys or hues, B G R 0 per entry.
    proc palette {n} {
        set out ""
        for {set i 0} {$i < $n} {incr i} {
            lassign [colour [expr {$i * 32 / $n}] 0] r g b
            append out [binary format cccc $b $g $r 0]
        }
        return $out
    }

    proc truecolour {bpp} {
        variable size
        set rows ""
        for {set y 0} {$y < $size} {incr y} {
            set row ""
            for {set x 0} {$x < $size} {incr x} {
                lassign [colour $x $y] r g b
                switch -- $bpp {
                    16 {append row [binary format s [expr {(($r >> 3) << 10) | (($g >> 3) << 5) | ($b >> 3)}]]}
                    24 {append row [binary format ccc $b $g $r]}
                    32 {append row [binary format cccc $b $g $r 0]}
                }
            }
            append rows [pad $row]
        }
        return [file $size $size $bpp $rows]
    }

    # Palette images: index = column band, so each depth shows its steps.
    proc indexed {bpp} {
        variable size
        set n [expr {1 << $bpp}]
        set rows ""
        for {set y 0} {$y < $size} {incr y} {
            set bits ""
            for {set x 0} {$x < $size} {incr x} {
                set index [expr {($x * $n / $size + ($y / 8)) % $n}]
                append bits [string range [format %08b $index] end-[expr {$bpp - 1}] end]
            }
            append rows [pad [binary format B* $bits]]
        }
        return [file $size $size $bpp $rows [palette $n]]
    }

    # 8 bits run-length coded: each row is four runs of eight pixels.
    proc rle8 {} {
        variable size
        set codes {}
        for {set y 0} {$y < $size} {incr y} {
            for {set band 0} {$band < 4} {incr band} {
                lappend codes 8 [expr {($band * 64 + $y * 2) % 256}]
            }
            lappend codes 0 0
        }
        lappend codes 0 1
        return [file $size $size 8 [binary format c* $codes] [palette 256] 1]
    }
}

proc demo::bmp {parent} {
    set frame [demo::panel $parent bmp "BMP files of every depth, read into photos (shown 3x)"]
    set samples [list \
        "1 bit" [demo::bmpdata::indexed 1] \
        "4 bits" [demo::bmpdata::indexed 4] \
        "8 bits" [demo::bmpdata::indexed 8] \
        "8 bits RLE" [demo::bmpdata::rle8] \
        "16 bits" [demo::bmpdata::truecolour 16] \
        "24 bits" [demo::bmpdata::truecolour 24] \
        "32 bits" [demo::bmpdata::truecolour 32]]
    # The 24-bit one again, through our own encoder and back.
    set source [image create photo -data [demo::bmpdata::truecolour 24] -format vsbmp]
    lappend samples "written by vsbmp" [$source data -format vsbmp]
    image delete $source

    foreach {caption data} $samples {
        set small [image create photo -data $data -format vsbmp]
        set big [image create photo]
        $big copy $small -zoom 3
        image delete $small
        demo::tile $frame $big "$caption\n[demo::bytes [string length $data]]"
    }
    demo::say "BMP: 32 x 32 bitmaps with palettes of 1, 4 and 8 bits, 8 bits run-length\
        coded, and 16, 24 and 32 bits per pixel, built byte by byte in Tcl and\
        read with vsbmp; the last one was written by vsbmp itself."
    return $frame
}
