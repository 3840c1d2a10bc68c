# Tcl-level benchmarks of the extension, run by scripts/bench.sh under Xvfb.
# Every measurement prints one line "RESULT <name> <value>" or, when the
# thing measured is missing from this build, "RESULT <name> NA <reason>".
#
#   tclsh photo_bench.tcl pairs tk|img   reads, writes, Resize, Thumbnail
#   tclsh photo_bench.tcl warm tk|img    reads only, named warmread/...; run
#                                        with malloc keeping freed memory
#   tclsh photo_bench.tcl anim vistel|tk SECONDS FILE   FILE: anim.gif or anim_td.gif
#   tclsh photo_bench.tcl mem vistel|tk
#   tclsh photo_bench.tcl gif            the GIF writer against Pillow and Tk
#   tclsh photo_bench.tcl hostile NAME   one hostile input (names: hostileNames)
#
# Environment: BENCH_INPUTS (input directory), BENCH_SCRATCH (where written
# files go), BENCH_RUNS (repetitions of each pair), TKVISTEL_LIBDIR,
# BENCH_PYTHON (a Python with Pillow, for the gif mode).
package require Tk

set inputs $env(BENCH_INPUTS)
set scratch $env(BENCH_SCRATCH)
set runs [expr {[info exists env(BENCH_RUNS)] ? $env(BENCH_RUNS) : 5}]

proc result {name args} {
    puts "RESULT $name [join $args]"
    flush stdout
}

proc loadVistel {} {
    global env
    lappend ::auto_path $env(TKVISTEL_LIBDIR)
    if {[catch {package require Tkvistel} msg]} {
        return -code error "extension not loadable: $msg"
    }
}

proc median {values} {
    set s [lsort -real $values]
    set n [llength $s]
    if {$n % 2} { return [lindex $s [expr {$n / 2}]] }
    return [expr {([lindex $s [expr {$n / 2 - 1}]] + [lindex $s [expr {$n / 2}]]) / 2.0}]
}

# Microseconds taken by one evaluation of script (in the caller's scope).
proc usecs {script} {
    set t0 [clock microseconds]
    uplevel 1 $script
    return [expr {[clock microseconds] - $t0}]
}

# Runs the named cases alternately, a warm-up round and then $runs rounds,
# and prints each median in milliseconds. cases: a list of {name script}
# pairs; a case whose script fails reports NA with the error message.
proc interleave {cases} {
    global runs
    array set times {}
    array set broken {}
    for {set r -1} {$r < $runs} {incr r} {
        foreach {name script} $cases {
            if {[info exists broken($name)]} continue
            set t0 [clock microseconds]
            if {[catch {uplevel #0 $script} msg]} {
                set broken($name) [string map {\n " "} $msg]
                continue
            }
            if {$r >= 0} { lappend times($name) [expr {[clock microseconds] - $t0}] }
        }
    }
    foreach {name script} $cases {
        if {[info exists broken($name)]} {
            result $name NA $broken($name)
        } else {
            result $name [format %.3f [expr {[median $times($name)] / 1000.0}]]
        }
    }
}

# ------------------------------------------------------------------- pairs

# Our thumbnail of a JPEG file against Pillow's, alternated round by round
# (a warm-up round, then $runs): Pillow runs in a Python process of its own
# each round, which times only its open and thumbnail().
proc thumbnailAgainstPillow {jpeg w h} {
    set script [file join [file dirname [info script]] pillow_thumbnail.py]
    set ours {}
    set theirs {}
    for {set r -1} {$r < $::runs} {incr r} {
        set t [usecs [list scaledThumbnail $jpeg $w $h]]
        if {[catch {exec /usr/bin/python3 $script $jpeg $w $h 1} out]} {
            result thumbnail/jpeg/pillow NA [string map {\n " "} $out]
            set theirs {}
            break
        }
        if {$r >= 0} {
            lappend ours $t
            lappend theirs [lindex $out 2]
        }
    }
    result thumbnail/jpeg/vistel [format %.3f [expr {[median $ours] / 1000.0}]]
    if {[llength $theirs]} { result thumbnail/jpeg/pillow [format %.3f [median $theirs]] }
}

# A size from sizes.txt: big, small, anim or shrink (the size the big
# picture is resampled to, 800 x 600 for 4000 x 3000).
proc pictureSize {kind} {
    set f [open [file join $::inputs sizes.txt]]
    set text [read $f]
    close $f
    regexp -line "^$kind (\\d+) (\\d+)\$" $text -> w h
    return [list $w $h]
}

# Input file, our format name and the other side's, by input kind.
set readCases {
    png_rgb  big_rgb.png  vspng png
    png_rgba big_rgba.png vspng png
    gif256   big_256.gif  vsgif gif
    jpeg_base big_base.jpg vsjpg jpeg
    jpeg_prog big_prog.jpg vsjpg jpeg
    bmp24    big_24.bmp   vsbmp bmp
    bmp32    big_32.bmp   vsbmp bmp
    tga_raw  big_raw.tga  vstga tga
    tga_rle  big_rle.tga  vstga tga
}

proc readOnce {file format} {
    image delete [image create photo -file $file -format $format]
}

# A thumbnail of a JPEG as an application makes one with the extension:
# the largest DCT scale that still covers the box, then ::Vistel::Thumbnail.
proc scaledThumbnail {file w h} {
    lassign [lmap k {width height} {dict get [::Vistel::Info $file] $k}] fw fh
    set scale 8
    while {$scale > 1 && ($fw / $scale < $w || $fh / $scale < $h)} { set scale [expr {$scale / 2}] }
    set p [image create photo -file $file -format [list vsjpg -scale 1/$scale]]
    ::Vistel::Thumbnail $p $w $h white
    image delete $p
}

# Microseconds of "command photo args..." on a fresh copy of photo big;
# the copy is made outside the timed part.
proc timedOnCopy {big command} {
    set work [image create photo]
    $work copy $big
    set args [lassign $command name]
    set t [usecs [list $name $work {*}$args]]
    image delete $work
    return $t
}

# Reads against Tk's (side tk) or Img's formats, then, unless only the
# reads are wanted (prefix warmread), writes, Resize and Thumbnail.
proc pairs {side {prefix read}} {
    global inputs scratch readCases
    if {$side eq "img"} {
        foreach p {png gif jpeg bmp tga} { package require img::$p }
        set theirFormats {png gif jpeg bmp tga}
    } else {
        set theirFormats {png gif}
    }
    set vistelError ""
    if {[catch loadVistel msg]} { set vistelError $msg }

    # What every read of the big picture pays before any reader runs: Tk
    # making the empty photo it reads into (allocating and clearing it).
    if {$side eq "tk"} {
        lassign [pictureSize big] w h
        interleave [list $prefix/floor/tk "image delete \[image create photo -width $w -height $h\]"]
    }
    foreach {kind file ours theirs} $readCases {
        if {$theirs ni $theirFormats} continue
        set path [file join $inputs $file]
        if {$vistelError ne ""} {
            result $prefix/$kind/vistel@$side NA $vistelError
            interleave [list $prefix/$kind/$side [list readOnce $path $theirs]]
            continue
        }
        interleave [list $prefix/$kind/vistel@$side [list readOnce $path $ours] \
                         $prefix/$kind/$side [list readOnce $path $theirs]]
    }
    if {$side ne "tk" || $prefix ne "read"} return

    # Writes of a 1000 x 1000 picture; GIF from its 256-colour version.
    set still [image create photo -file [file join $inputs small_rgb.png] -format png]
    set few [image create photo -file [file join $inputs small_256.gif] -format gif]
    set out [file join $scratch out]
    set cases {}
    foreach {kind src ours theirs} {png $still vspng png  gif $few vsgif gif} {
        set src [subst $src]
        if {$vistelError eq ""} {
            lappend cases write/$kind/vistel [list $src write $out.$kind -format $ours]
        }
        lappend cases write/$kind/tk [list $src write $out.t.$kind -format $theirs]
    }
    interleave $cases
    if {$vistelError eq ""} {
        set cases {}
        foreach {kind ext format} {jpeg jpg vsjpg  bmp bmp vsbmp  tga tga vstga} {
            lappend cases write/$kind/vistel [list $still write $out.$ext -format $format]
        }
        interleave $cases
    }

    # The big JPEG read whole, read at 1/8 through the DCT scaling, and its
    # header and metadata read; then a 200 x 150 thumbnail made so against
    # Pillow's thumbnail() in the same rounds.
    if {$vistelError eq ""} {
        set jpeg [file join $inputs big_base.jpg]
        interleave [list scale/full/vistel [list readOnce $jpeg vsjpg] \
                         scale/eighth/vistel [list readOnce $jpeg {vsjpg -scale 1/8}] \
                         info/jpeg/vistel [list ::Vistel::Info $jpeg]]
        thumbnailAgainstPillow $jpeg 200 150
    }

    # Resize and Thumbnail of a 4000 x 3000 photo: each run starts from a
    # fresh copy, made outside the timed part.
    if {$vistelError ne ""} {
        result resize/shrink/vistel NA $vistelError
        result thumbnail/200x150/vistel NA $vistelError
        return
    }
    set big [image create photo -file [file join $inputs big_rgb.png] -format png]
    lassign [pictureSize shrink] w h
    foreach {name command} [list resize/shrink/vistel [list ::Vistel::Resize $w $h] \
                                 thumbnail/200x150/vistel [list ::Vistel::Thumbnail 200 150 white]] {
        set times {}
        set failed ""
        for {set r 0} {$r < $::runs} {incr r} {
            if {[catch {timedOnCopy $big $command} t]} {
                set failed [string map {\n " "} $t]
                break
            }
            lappend times $t
        }
        if {$failed ne ""} {
            result $name NA $failed
        } else {
            result $name [format %.3f [expr {[median $times] / 1000.0}]]
        }
    }
}

# -------------------------------------------------------------- animation

proc procStatus {field} {
    set f [open /proc/self/status]
    set text [read $f]
    close $f
    regexp "$field:\\s+(\\d+)" $text -> kb
    return $kb
}

# CPU seconds of this process (user + system), from /proc/self/stat.
proc cpuSeconds {} {
    set f [open /proc/self/stat]
    set stat [read $f]
    close $f
    # Fields after the command name, which is in parentheses.
    set rest [string range $stat [expr {[string last ")" $stat] + 2}] end]
    set utime [lindex $rest 11]
    set stime [lindex $rest 12]
    return [expr {($utime + $stime) / 100.0}]
}

# Skips the data sub-blocks that start at offset i; returns the offset
# after their terminator.
proc skipSubBlocks {data i} {
    while {[binary scan $data @${i}cu n] == 1 && $n > 0} {
        incr i [expr {$n + 1}]
    }
    return [expr {$i + 1}]
}

# Frame delays in hundredths of a second, one per image of a GIF file, from
# the graphic control extension before each (0 when there is none).
proc gifDelays {path} {
    set f [open $path rb]
    set data [read $f]
    close $f
    binary scan $data @10cu flags
    set i 13
    if {$flags & 0x80} { incr i [expr {3 << (($flags & 7) + 1)}] }
    set delays {}
    set delay 0
    while {[binary scan $data @${i}cu block] == 1} {
        switch -- $block {
            33 {
                binary scan $data @[expr {$i + 1}]cu label
                if {$label == 0xF9} { binary scan $data @[expr {$i + 4}]su delay }
                set i [skipSubBlocks $data [expr {$i + 2}]]
            }
            44 {
                binary scan $data @[expr {$i + 9}]cu flags
                incr i 10
                if {$flags & 0x80} { incr i [expr {3 << (($flags & 7) + 1)}] }
                set i [skipSubBlocks $data [expr {$i + 1}]]
                lappend delays $delay
                set delay 0
            }
            default break
        }
    }
    return $delays
}

# Counts what the label shows change: each frame carries a colour of its
# own in its top-left corner.
proc sample {} {
    set c [[.l cget -image] get 4 4]
    if {$c ne $::lastColour} {
        set ::lastColour $c
        incr ::changes
    }
    set ::sampler [after 5 sample]
}

# Milliseconds a frame of `delay` hundredths shows, as browsers play it.
proc showMs {delay} {
    expr {$delay <= 1 ? 100 : $delay * 10}
}

# The Tk-only way: the label shows the next pre-made photo when it falls
# due. Each change is timed from when it was due, not from when the event
# loop got to it, so that both sides play at the file's frame rate and
# their CPU is compared for the same number of frames.
proc cycle {i due} {
    .l configure -image $::frames($i)
    set next [expr {($i + 1) % $::nframes}]
    set due [expr {$due + [showMs [lindex $::delays $i]]}]
    set wait [expr {max(0, $due - [clock milliseconds])}]
    set ::cycler [after $wait [list cycle $next $due]]
}

proc anim {side seconds file} {
    global inputs
    set path [file join $inputs $file]
    set key [file rootname $file]
    set ::delays [gifDelays $path]
    set ::nframes [llength $::delays]
    if {$side eq "vistel" && [catch loadVistel msg]} {
        result $key/ready/$side NA $msg
        return
    }
    label .l
    pack .l
    update
    set rss0 [procStatus VmRSS]

    set t0 [clock microseconds]
    if {$side eq "vistel"} {
        if {[catch {image create photo anim -file $path -format vsgif} msg]} {
            result $key/ready/$side NA [string map {\n " "} $msg]
            return
        }
        set ready [expr {[clock microseconds] - $t0}]
        if {[::Vistel::NumberOfFrames anim] < 2} {
            result $key/ready/$side NA "the photo is not animated"
            return
        }
        .l configure -image anim
    } else {
        for {set i 0} {$i < $::nframes} {incr i} {
            set ::frames($i) [image create photo -file $path -format [list gif -index $i]]
        }
        set ready [expr {[clock microseconds] - $t0}]
        cycle 0 [clock milliseconds]
    }
    update

    set ::lastColour ""
    set ::changes 0
    set cpu0 [cpuSeconds]
    set w0 [clock microseconds]
    sample
    after [expr {int($seconds * 1000)}] {set ::done 1}
    vwait ::done
    set wall [expr {([clock microseconds] - $w0) / 1e6}]
    set cpu [expr {[cpuSeconds] - $cpu0}]
    set rss1 [procStatus VmRSS]

    set total 0
    foreach d $::delays { incr total [showMs $d] }
    set fileFps [expr {$::nframes * 1000.0 / $total}]
    result $key/ready/$side [format %.3f [expr {$ready / 1000.0}]]
    result $key/cpu/$side [format %.3f $cpu]
    result $key/fps/$side [format %.2f [expr {($::changes - 1) / $wall}]]
    result $key/filefps [format %.2f $fileFps]
    result $key/rss/$side [format %.1f [expr {($rss1 - $rss0) / 1024.0}]]
}

# ----------------------------------------------------------------- memory

proc mem {side} {
    global inputs
    set path [file join $inputs big_rgb.png]
    set format png
    if {$side eq "vistel"} {
        if {[catch loadVistel msg]} {
            result mem/png_read/$side NA $msg
            return
        }
        set format vspng
    }
    set base [procStatus VmRSS]
    if {[catch {image create photo -file $path -format $format} msg]} {
        result mem/png_read/$side NA [string map {\n " "} $msg]
        return
    }
    set peak [procStatus VmHWM]
    result mem/png_read/$side [format %.1f [expr {($peak - $base) / 1024.0}]]
}

# ------------------------------------------------------------ GIF writer

# One measurement of bench/pillow_gif.py: its printed words.
proc pillow {args} {
    set script [file join [file dirname [info script]] pillow_gif.py]
    return [exec $::env(BENCH_PYTHON) $script {*}$args]
}

# A photo of a raw RGB file's pixels, read through Tk's PPM reader.
proc rawPhoto {raw w h} {
    set f [open $raw rb]
    set pixels [read $f]
    close $f
    set ppm [file join $::scratch raw.ppm]
    set f [open $ppm wb]
    puts -nonewline $f "P6\n$w $h\n255\n$pixels"
    close $f
    return [image create photo -file $ppm -format ppm]
}

proc medianResult {name values} {
    result $name [format %.3f [median $values]]
}

# The photo write of a picture of 256 colours or fewer against Pillow's
# save of the same palette picture and Tk's gif writer; the photo write of
# photo-like pictures against Pillow's quantize() with its defaults plus
# save, in time and in PSNR. Ours and theirs alternate round by round after
# a warm-up round.
proc gifWrites {} {
    global inputs scratch runs
    if {[catch loadVistel msg]} {
        foreach name {gifwrite/few/vistel gifphoto/photo/vistel gifphoto/small/vistel
                      gifphoto/big/vistel} {
            result $name NA $msg
        }
        return
    }
    set out [file join $scratch gifwrite]
    set gif [file join $inputs big_256.gif]
    set few [image create photo -file $gif -format gif]
    foreach side {vistel pillow tk} { set times($side) {} }
    for {set r -1} {$r < $runs} {incr r} {
        set ours [usecs {$few write $out.v.gif -format vsgif}]
        set theirs [pillow save $gif $out.p.gif]
        set tk [usecs {$few write $out.t.gif -format gif}]
        if {$r < 0} continue
        lappend times(vistel) [expr {$ours / 1000.0}]
        lappend times(pillow) $theirs
        lappend times(tk) [expr {$tk / 1000.0}]
    }
    foreach side {vistel pillow tk} { medianResult gifwrite/few/$side $times($side) }
    image delete $few

    foreach kind {photo small big} {
        lassign [pictureSize $kind] w h
        set raw [file join $inputs [dict get {photo photo.rgb small small.rgb big big.rgb} $kind]]
        set p [rawPhoto $raw $w $h]
        set ours {}
        set theirs {}
        set theirPsnr {}
        for {set r -1} {$r < $runs} {incr r} {
            set t [usecs {$p write $out.$kind.gif -format vsgif}]
            lassign [pillow quantize $raw $w $h $out.p.gif] ms psnr
            if {$r < 0} continue
            lappend ours [expr {$t / 1000.0}]
            lappend theirs $ms
            lappend theirPsnr $psnr
        }
        image delete $p
        medianResult gifphoto/$kind/vistel $ours
        medianResult gifphoto/$kind/pillow $theirs
        result gifpsnr/$kind/vistel [pillow psnr $raw $w $h $out.$kind.gif]
        medianResult gifpsnr/$kind/pillow $theirPsnr
    }
}

# --------------------------------------------------------- hostile inputs

# Data whose header claims what the data cannot hold or the pixel limit
# refuses, as tests/tcl/hostile.test builds it; "" for the inputs that are
# files only (a JPEG signature before 300 MB of zeros, /dev/zero).
proc le16 {v} { binary format s $v }
proc le32 {v} { binary format i $v }
proc chunk {type data} {
    binary format Ia4a*I [string length $data] $type $data [zlib crc32 $type$data]
}
proc hostileData {name} {
    lassign [split $name _] type size
    set w [set h $size]
    switch $type {
        png {
            set ihdr [binary format IIc5 $w $h {8 2 0 0 0}]
            return "\x89PNG\r\n\x1A\n[chunk IHDR $ihdr][chunk IDAT [zlib compress [string repeat \0 1000]]][chunk IEND {}]"
        }
        bmp {
            return BM[le32 70][le32 0][le32 54][le32 40][le32 $w][le32 $h][le16 1][le16 24][string repeat \0 24][string repeat \x55 16]
        }
        tga { return [binary format c3s2cs4c2 {0 0 2} {0 0} 0 [list 0 0 $w $h] {24 32}][string repeat \x55 64] }
        gif {
            set screen [expr {$size eq "screen" ? "[le16 6727][le16 65351]" : "[le16 $w][le16 $h]"}]
            if {$size eq "screen"} { set w [set h 4] }
            return GIF89a$screen\x80\0\0\0\0\0\xFF\xFF\xFF,[le32 0][le16 $w][le16 $h]\0\x08\x10[string repeat \0 16]\0\x3B
        }
        jpeg {
            set p [image create photo -width 16 -height 16]
            $p put red -to 0 0 16 16
            set jpeg [$p data -format vsjpg]
            image delete $p
            set sof [string first \xFF\xC0 $jpeg]
            return [string replace $jpeg $sof+5 $sof+8 [binary format SS $h $w]]
        }
    }
    return ""
}
set hostileNames {png_32000 png_12000 gif_32000 gif_12000 gif_screen bmp_32000 bmp_12000
    jpeg_32000 jpeg_12000 tga_12000 jpegzeros_300MB devzero_0}

# Milliseconds of `image create photo -data|-file` of one hostile input
# through our formats (-format vistel: Tk's own would read /dev/zero for
# ever), and the resident memory it added at its peak (MiB); whether it was
# refused.
proc hostile {name} {
    global scratch
    if {[catch loadVistel msg]} {
        result hostile/$name/file NA $msg
        return
    }
    set data [hostileData $name]
    set path [file join $scratch hostile-$name]
    switch $name {
        devzero_0 { set path /dev/zero }
        jpegzeros_300MB {
            set f [open $path wb]
            puts -nonewline $f \xFF\xD8\xFF
            chan truncate $f 300000000
            close $f
        }
        default {
            set f [open $path wb]
            puts -nonewline $f $data
            close $f
        }
    }
    set hows [expr {$data eq "" ? {file} : {data file}}]
    set base [procStatus VmRSS]
    set refused 1
    foreach how $hows {
        set arg [expr {$how eq "data" ? $data : $path}]
        set t0 [clock microseconds]
        if {![catch {image create photo -$how $arg -format vistel} p]} {
            image delete $p
            set refused 0
        }
        result hostile/$name/$how [format %.3f [expr {([clock microseconds] - $t0) / 1000.0}]]
    }
    result hostile/$name/mb [format %.1f [expr {([procStatus VmHWM] - $base) / 1024.0}]]
    result hostile/$name/bytes [expr {$data eq "" ? 0 : [string length $data]}]
    result hostile/$name/refused $refused
}

# ------------------------------------------------------------------- main

lassign $argv mode side seconds
switch -- $mode {
    pairs { wm withdraw . ; pairs $side }
    warm { wm withdraw . ; pairs $side warmread }
    anim { anim $side $seconds [lindex $argv 3] }
    mem { wm withdraw . ; mem $side }
    gif { wm withdraw . ; gifWrites }
    hostile { wm withdraw . ; hostile $side }
    names { puts $hostileNames }
    default { error "usage: photo_bench.tcl pairs|warm|anim|mem|gif|hostile SIDE ?SECONDS FILE?" }
}
exit
