# The still-picture panels: alpha through PNG, JPEG and TGA files, every
# format written and read back, file conversion, thumbnails, and the photo
# transforms (colourise, resize, rotate).

# The landscape most panels start from, drawn once.
proc demo::original {} {
    variable original
    if {![info exists original]} {
        set original [demo::pic::scene 96 72]
    }
    return $original
}

proc demo::copyOf {photo} {
    set copy [image create photo]
    $copy copy $photo
    return $copy
}

# "12 345 bytes": sizes are easier to compare with the thousands apart.
proc demo::bytes {n} {
    set text [regsub -all {\d(?=(\d{3})+$)} $n {& }]
    return "$text bytes"
}

# The JFIF density of a JPEG file as "72 x 72 dpi", or "" when it has none.
proc demo::jfifDensity {path} {
    set chan [open $path rb]
    set head [read $chan 18]
    close $chan
    if {[binary scan $head a2@6a5@13cuSuSu soi id units xd yd] != 5 ||
        $soi ne "\xFF\xD8" || $id ne "JFIF\x00"} {
        return ""
    }
    set unit [lindex {"(aspect ratio)" dpi "dots/cm"} $units]
    return "$xd x $yd $unit"
}

proc demo::alpha {parent dir} {
    set frame [panel $parent alpha "PNG with alpha"]
    set tga [file join $dir wheel.tga]
    writeBytes $tga [pic::wheelTga 96]
    set wheel [image create photo -file $tga -format vstga]
    set png [file join $dir wheel.png]
    $wheel write $png -format vspng
    set back [image create photo -file $png]
    tile $frame [pic::overChecker $back] "wheel.png\n[bytes [file size $png]]"
    set dark [image create photo -width 96 -height 96]
    $dark put #203050 -to 0 0 96 96
    $dark copy $back -compositingrule overlay
    tile $frame $dark "the same PNG\nover dark blue"
    say "PNG with alpha: a colour wheel with a soft edge and a clear centre, built\
        in Tcl as a 32-bit TGA, read with vstga, written as wheel.png with vspng\
        and read back; shown over a checkerboard and over dark blue."
    image delete $wheel
    return $frame
}

proc demo::files {parent dir} {
    set frame [panel $parent files "JPEG and TGA files"]
    set source [original]

    set jpg [file join $dir photo.jpg]
    $source write $jpg -format vsjpg
    set photo [image create photo -file $jpg]
    set density [jfifDensity $jpg]
    tile $frame $photo "photo.jpg\n[bytes [file size $jpg]]"
    say "JPEG: the landscape written as photo.jpg with vsjpg\
        ([image width $photo] x [image height $photo], [bytes [file size $jpg]][expr {$density ne "" ? ", JFIF density $density" : ""}])\
        and read back by content, with no -format."

    set tga [file join $dir photo.tga]
    $source write $tga -format vstga
    set photo [image create photo -file $tga -format vstga]
    tile $frame $photo "photo.tga\n[bytes [file size $tga]]"
    say "TGA: the same landscape written as photo.tga with vstga and read back."

    set camera [cameraPhoto]
    if {$camera ne ""} {
        lassign $camera path photo
        tile $frame $photo "a camera's JPEG\n[bytes [file size $path]]"
    }
    return $frame
}

# A real camera JPEG from the test corpus, when it is present, fitted into
# 96 x 72 with ::Vistel::Thumbnail: its path and the photo, or "".
proc demo::cameraPhoto {} {
    global env demoDir
    set corpus [expr {[info exists env(VISTEL_TESTDATA)] ? $env(VISTEL_TESTDATA)
                      : [file join $demoDir .. .. shared testdata]}]
    set path [file join $corpus jpeg exif-samples exif-org canon-ixus.jpg]
    if {![file isfile $path] || [catch {image create photo -file $path} photo]} {
        return ""
    }
    set size "[image width $photo] x [image height $photo]"
    ::Vistel::Thumbnail $photo 96 72 #d9d9d9
    say "Camera file: [file tail $path] from the test corpus ($size,\
        [bytes [file size $path]]), read and fitted into 96 x 72."
    return [list $path $photo]
}

proc demo::formats {parent dir} {
    set frame [panel $parent formats "One photo written in every format and read back"]
    set source [original]
    set sizes {}
    foreach {format ext} {vsbmp bmp vsgif gif vsjpg jpg vspng png vstga tga} {
        set path [file join $dir roundtrip.$ext]
        $source write $path -format $format
        set format [expr {$ext eq "tga" ? "-format vstga" : ""}]
        set back [image create photo -file $path {*}$format]
        tile $frame $back "[string toupper $ext]\n[bytes [file size $path]]"
        lappend sizes "[string toupper $ext] [file size $path]"
    }
    say "Every format: the 96 x 72 landscape written with each of the five\
        writers and read back, by content (bytes: [join $sizes {, }]). GIF has 256\
        colours with error diffusion; JPEG is lossy; the others are exact."
    return $frame
}

proc demo::convert {parent dir} {
    set frame [panel $parent convert "::Vistel::Convert"]
    set png [file join $dir scene.png]
    [original] write $png -format vspng
    foreach ext {gif jpg} {
        set out [file join $dir scene.$ext]
        ::Vistel::Convert $png $out
        tile $frame [image create photo -file $out] "scene.png to .$ext\n[bytes [file size $out]]"
    }
    say "Convert: scene.png ([bytes [file size $png]]) converted file to file into\
        scene.gif and scene.jpg, the type taken from the name; both read back."
    return $frame
}

proc demo::thumbnails {parent} {
    set frame [panel $parent thumbnails "::Vistel::Thumbnail into 64 x 64"]
    set sources [list [pic::scene 192 144] [pic::tall 50 150] [pic::wide 240 60] \
                     [pic::scene 40 30]]
    foreach source $sources {
        set size "[image width $source] x [image height $source]"
        ::Vistel::Thumbnail $source 64 64 #5070a0
        tile $frame $source $size
    }
    say "Thumbnails: pictures of four shapes fitted into 64 x 64 boxes with\
        ::Vistel::Thumbnail, keeping their proportions, on a blue border; the\
        small one is not enlarged, only framed."
    return $frame
}

proc demo::transforms {parent} {
    set frame [panel $parent transforms "Colorize, Resize, Rotate"]
    set source [original]
    tile $frame $source "original"

    set warm [copyOf $source]
    ::Vistel::Colorize $warm #ffb060
    tile $frame $warm "Colorize\n#ffb060"

    set faded [image create photo -data [pic::wheelTga 72] -format vstga]
    ::Vistel::Colorize $faded #ffffff 0.4
    tile $frame [pic::overChecker $faded] "Colorize\nopacity 0.4"

    set wide [copyOf $source]
    ::Vistel::Resize $wide 150 56
    tile $frame $wide "Resize\n150 x 56"

    set turned [copyOf $source]
    ::Vistel::Rotate $turned 30
    tile $frame [pic::overChecker $turned] "Rotate 30"
    say "Transforms: a copy tinted with ::Vistel::Colorize, a colour wheel made\
        40% opaque with it, a copy stretched to 150 x 56 with ::Vistel::Resize and\
        one turned 30 degrees with ::Vistel::Rotate (its new corners transparent)."
    return $frame
}
