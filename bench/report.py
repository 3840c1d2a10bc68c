#!/usr/bin/python3
"""Builds the one table of scripts/bench.sh from the results of a run: the
Google Benchmark JSON of codec_bench, and the "RESULT <name> <value>" lines
of photo_bench.tcl and pillow_resample.py (a name seen several times, as the
animation runs are, takes the median of its values).

Usage: report.py SIZES CODEC_JSON RESULTS_TXT
"""
import json
import statistics
import sys


class NA:
    """A value that could not be measured, with the reason."""

    def __init__(self, reason):
        self.reason = reason


def load_codec(path):
    values = {}
    try:
        with open(path) as f:
            data = json.load(f)
    except (OSError, ValueError):
        return values
    for b in data.get("benchmarks", []):
        if b.get("error_occurred"):
            values[b["run_name"]] = NA(b.get("error_message", "failed"))
        elif b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median":
            values[b["run_name"]] = b["cpu_time"]
    return values


def load_results(path):
    seen = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) < 3 or words[0] != "RESULT":
                continue
            if words[2] == "NA":
                seen.setdefault(words[1], []).append(NA(" ".join(words[3:])))
            else:
                seen.setdefault(words[1], []).append(float(words[2]))
    values = {}
    for name, vals in seen.items():
        nums = [v for v in vals if not isinstance(v, NA)]
        values[name] = statistics.median(nums) if nums else vals[0]
    return values


def load_sizes(path):
    sizes = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 3:
                sizes[words[0]] = (int(words[1]), int(words[2]))
    return sizes


class Table:
    def __init__(self):
        self.rows = []
        self.missing = []

    def section(self, title, short):
        self.rows.append(("**%s**" % title, "", "", "", "", ""))
        self.short = short

    def add(self, label, ours, ref_name="", ref=None, target=None, unit="ms", invert=False):
        """One row: ours against ref; target is the highest ratio that
        passes (or, with invert, the lowest)."""
        fmt = lambda v: ("%.1f" % v if v >= 10 else "%.3g" % v) if not isinstance(v, NA) else "n/a"
        ours_s = fmt(ours) + " " + unit if ours is not None and not isinstance(ours, NA) else "n/a"
        ref_s = ""
        if ref is not None:
            ref_s = ref_name + " " + (fmt(ref) + " " + unit if not isinstance(ref, NA) else "n/a")
        ratio = ""
        verdict = ""
        usable = lambda v: v is not None and not isinstance(v, NA)
        if usable(ours) and usable(ref) and ref > 0:
            r = ours / ref
            ratio = "%.2f" % r
            if target is not None:
                ok = r >= target if invert else r <= target
                verdict = "PASS" if ok else "FAIL"
        elif target is not None:
            verdict = "n/a"
        if isinstance(ours, NA) or ours is None:
            self.missing.append((self.short + ", " + label.strip(), ours.reason if isinstance(ours, NA) else "not measured"))
        target_s = "" if target is None else ("≥ " if invert else "≤ ") + "%g ×" % target
        self.rows.append((label, ours_s, ref_s, ratio, target_s, verdict))

    def markdown(self):
        head = ("Measure", "Vistel", "Reference", "Ratio", "Target", "Result")
        lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
        for row in self.rows:
            lines.append("| " + " | ".join(row) + " |")
        return "\n".join(lines)


def read_rows(t, r, prefix, title, short, floor_label):
    """One photo-read section: each format against the faster of Tk and Img."""
    t.section(title, short)
    for key, label, tgt in [("png_rgb", "PNG RGB", 1.0), ("png_rgba", "PNG RGBA", 1.0),
                            ("gif256", "GIF 256 colours", 0.9), ("jpeg_base", "JPEG baseline", 0.8),
                            ("jpeg_prog", "JPEG progressive", 0.8), ("bmp24", "BMP 24-bit", 1.0),
                            ("bmp32", "BMP 32-bit", 1.0), ("tga_raw", "TGA raw", 1.0),
                            ("tga_rle", "TGA RLE", 0.5)]:
        best = None
        for side in ("tk", "img"):
            theirs = r("%s/%s/%s" % (prefix, key, side))
            if isinstance(theirs, NA) or (best and best[1] <= theirs):
                continue
            best = (side, theirs)
        if best is None:
            t.add(label, r("%s/%s/vistel@img" % (prefix, key)), "Tk/Img", NA("not measured"), tgt)
        else:
            side, theirs = best
            t.add(label, r("%s/%s/vistel@%s" % (prefix, key, side)), {"tk": "Tk", "img": "Img"}[side],
                  theirs, tgt)
    t.add("  " + floor_label, r("%s/floor/tk" % prefix))


def main():
    sizes = load_sizes(sys.argv[1])
    codec = load_codec(sys.argv[2])
    res = load_results(sys.argv[3])
    c = lambda name: codec.get(name, NA("not run"))
    r = lambda name: res.get(name, NA("not run"))
    bw, bh = sizes.get("big", (0, 0))
    sw, sh = sizes.get("small", (0, 0))
    shrink = sizes.get("shrink", (0, 0))
    big = "%d×%d" % (bw, bh)
    small = "%d×%d" % (sw, sh)
    to = "%d×%d" % shrink
    t = Table()

    t.section("Decode, C++, %s, CPU time: library floor" % big, "decode")
    for key, label, ref, tgt in [
            ("png_rgb", "PNG RGB", "libpng", 1.15), ("png_rgba", "PNG RGBA", "libpng", 1.15),
            ("jpeg_base", "JPEG baseline q90", "libjpeg", 1.10),
            ("jpeg_prog", "JPEG progressive q90", "libjpeg", 1.10),
            ("bmp24", "BMP 24-bit", "memcpy", 2.0), ("bmp32", "BMP 32-bit", "memcpy", None),
            ("tga_raw", "TGA 24-bit raw", "memcpy", 2.0), ("tga_rle", "TGA 24-bit RLE", "memcpy", None),
            ("gif256", "GIF 256 colours", "giflib", 1.0),
            ("anim_gif", "GIF 100 frames, all frames", "giflib", 1.0)]:
        t.add(label, c("decode/%s/vistel" % key), ref, c("decode/%s/%s" % (key, ref)), tgt)

    t.section("Encode, C++, %s, CPU time" % small, "encode")
    for key, label in [("png_rgb", "PNG RGB"), ("png_rgba", "PNG RGBA"), ("jpeg_base", "JPEG baseline q90"),
                       ("jpeg_prog", "JPEG progressive q90"), ("bmp24", "BMP 24-bit"),
                       ("tga24", "TGA 24-bit"), ("tga32", "TGA 32-bit"),
                       ("gif256", "GIF (after the palette reduction)")]:
        t.add(label, c("encode/" + key))

    t.section("Transforms, C++, CPU time", "transform")
    t.add("Encode2RGBA %s RGB" % big, c("encode2rgba/rgb"))
    t.add("Encode2RGBA %s RGBA" % big, c("encode2rgba/rgba"))
    for mode in range(3):
        t.add("Resample mode %d %s → %s" % (mode, big, to), c("resample/mode%d/shrink" % mode))
        t.add("Resample mode %d %s → 2×" % (mode, small), c("resample/mode%d/2x" % mode))
    for m in ("bilinear", "bicubic"):
        t.add("Resample2 %s %s → %s" % (m, big, to), c("resample2/%s/shrink" % m))
        t.add("Resample2 %s %s → 2×" % (m, small), c("resample2/%s/2x" % m))
    t.add("DecreaseBpp(8, true) %s" % small, c("decreasebpp/8_diffusion"))
    t.add("Palette reduction (ReduceImage) %s" % small, c("reduce/photo"))
    t.add("RotateRight %s" % big, c("rotateright"))
    p = "pillow/%s/%dx%d"
    t.add("Resample mode 0 %s → %s, against Pillow" % (big, to), r(p % (("vistel_mode0",) + shrink)), "Pillow BILINEAR",
          r(p % (("pillow_bilinear",) + shrink)), 1.0)
    t.add("Resample mode 2 %s → %s, against Pillow" % (big, to), r(p % (("vistel_mode2",) + shrink)), "Pillow BICUBIC",
          r(p % (("pillow_bicubic",) + shrink)), 1.0)

    read_rows(t, r, "read", "Photo read, Tcl, %s, wall time, against the faster of Tk and Img" % big,
              "photo read",
              "(Tk making the empty photo every read fills: the floor under all rows above)")
    read_rows(t, r, "warmread", "Photo read on a warm heap (freed memory kept for reuse), "
              "Tcl, %s, wall time, against the faster of Tk and Img" % big, "photo read, warm heap",
              "(Tk making the empty photo, warm heap)")

    t.section("Reading at a scale, Tcl, the %s JPEG, wall time" % big, "scaled read")
    t.add("Read with -scale 1/8, against the full read", r("scale/eighth/vistel"), "full",
          r("scale/full/vistel"), 0.15)
    t.add("Thumbnail 200×150 (-scale, ::Vistel::Thumbnail)", r("thumbnail/jpeg/vistel"),
          "Pillow thumbnail()", r("thumbnail/jpeg/pillow"), 1.0)
    t.add("::Vistel::Info (headers and metadata only)", r("info/jpeg/vistel"))

    t.section("Photo write and commands, Tcl, wall time (writes of the %s picture)" % small, "photo write")
    t.add("PNG", r("write/png/vistel"), "Tk", r("write/png/tk"), 1.0)
    t.add("GIF (256-colour photo)", r("write/gif/vistel"), "Tk", r("write/gif/tk"), 1.0)
    for key, label in [("jpeg", "JPEG"), ("bmp", "BMP"), ("tga", "TGA")]:
        t.add(label, r("write/%s/vistel" % key))
    t.add("::Vistel::Resize %s → %s, photo to photo" % (big, to), r("resize/shrink/vistel"),
          "Pillow BICUBIC", r(p % (("pillow_bicubic_wall",) + shrink)), 1.0)
    t.add("::Vistel::Thumbnail %s → 200×150, photo to photo" % big, r("thumbnail/200x150/vistel"),
          "Pillow thumbnail()", r("pillow/thumbnail_wall/200x150"), 2.0)

    t.section("GIF writer, Tcl photo write (vsgif), wall time, against Pillow (and Tk)", "gif writer")
    t.add("256-colour %s photo, against Pillow's save of the same palette picture" % big,
          r("gifwrite/few/vistel"), "Pillow save", r("gifwrite/few/pillow"), 2.0)
    t.add("  (Tk's gif writer, for comparison)", r("gifwrite/few/vistel"), "Tk", r("gifwrite/few/tk"))
    for kind in ("photo", "small", "big"):
        size = "%d×%d" % sizes.get(kind, (0, 0))
        t.add("Photo-like %s: time" % size, r("gifphoto/%s/vistel" % kind), "Pillow quantize()+save",
              r("gifphoto/%s/pillow" % kind), 1.0)
        t.add("Photo-like %s: PSNR" % size, r("gifpsnr/%s/vistel" % kind), "Pillow quantize()",
              r("gifpsnr/%s/pillow" % kind), 1.0, unit="dB", invert=True)

    for key, what in [("anim", "a local colour table per frame"),
                      ("anim_td", "one table, transparency and disposal 2")]:
        fps = r(key + "/filefps")
        t.section("Animation, 100-frame GIF with %s, against Tk-only frames cycled with after "
                  "(file: %s frames/s)" % (what, "%.1f" % fps if not isinstance(fps, NA) else "?"),
                  "animation")
        t.add("Ready (image create to all frames)", r(key + "/ready/vistel"), "Tk",
              r(key + "/ready/tk"), 0.1)
        t.add("CPU while playing", r(key + "/cpu/vistel"), "Tk", r(key + "/cpu/tk"), 1.2, unit="s")
        t.add("Frames shown per second", r(key + "/fps/vistel"), "file", fps, 0.95, unit="/s",
              invert=True)
        t.add("  (Tk-only, for comparison)", r(key + "/fps/tk"), "file", fps, unit="/s")
        t.add("Resident memory added", r(key + "/rss/vistel"), "Tk", r(key + "/rss/tk"), 0.5,
              unit="MiB")

    photo_mb = bw * bh * 4 / 1048576.0
    t.section("Memory", "memory")
    t.add("Peak RSS reading the %s PNG, over the photo's %.1f MiB" % (big, photo_mb),
          r("mem/png_read/vistel"), "photo", photo_mb, 2.0, unit="MiB")
    t.add("  (Tk's own png reader, for comparison)", r("mem/png_read/tk"), "photo", photo_mb, unit="MiB")

    t.section("Hostile inputs through photos (-format vistel), refused: wall time and peak "
              "resident memory added, against the goal of 100 ms and 16 MiB", "hostile")
    for name, what in [("png_32000", "PNG claiming 32000×32000"), ("png_12000", "PNG claiming 12000×12000"),
                       ("gif_32000", "GIF claiming 32000×32000"), ("gif_12000", "GIF claiming 12000×12000"),
                       ("gif_screen", "GIF screen 6727×65351, 4×4 frame"),
                       ("bmp_32000", "BMP claiming 32000×32000"), ("bmp_12000", "BMP claiming 12000×12000"),
                       ("jpeg_32000", "JPEG claiming 32000×32000"), ("jpeg_12000", "JPEG claiming 12000×12000"),
                       ("tga_12000", "TGA claiming 12000×12000"),
                       ("jpegzeros_300MB", "JPEG signature, then 300 MB of zeros"),
                       ("devzero_0", "/dev/zero")]:
        size = r("hostile/%s/bytes" % name)
        if not isinstance(size, NA) and size > 0:
            what += ", %d bytes" % size
        if r("hostile/%s/refused" % name) == 0:
            what += " (NOT refused)"
        for how in ("data", "file"):
            ms = r("hostile/%s/%s" % (name, how))
            if how == "data" and isinstance(ms, NA) and size == 0:
                continue
            t.add("%s, -%s" % (what, how), ms, "goal", 100.0, 1.0)
        t.add("  memory added", r("hostile/%s/mb" % name), "goal", 16.0, 1.0, unit="MiB")

    print(t.markdown())
    if t.missing:
        print()
        print("Not available in this build:")
        for label, reason in t.missing:
            print("- %s: %s" % (label, reason))


if __name__ == "__main__":
    main()
