#!/usr/bin/python3
"""Resampling of the same picture to the same size by Pillow and by this
library, alternated round by round in one run: Pillow's BILINEAR against
Resample mode 0 and its BICUBIC against mode 2. Prints the median CPU
milliseconds of each as "RESULT <name> <ms>" lines. For the photo commands
(timed in photo_bench.tcl by the clock) it also times, by the clock,
Pillow's BICUBIC resize and its thumbnail() to 200 x 150 of a copy of the
loaded picture (the copy made outside the timing).

Usage: pillow_resample.py RAW W H NEWW NEWH RUNS CODEC_BENCH
"""
import statistics
import subprocess
import sys
import time

from PIL import Image


def cpu_ms(fn):
    t0 = time.process_time()
    fn()
    return (time.process_time() - t0) * 1000.0


def wall_ms(fn):
    t0 = time.perf_counter()
    fn()
    return (time.perf_counter() - t0) * 1000.0


def main():
    raw, w, h, nw, nh, runs, tool = sys.argv[1:8]
    w, h, nw, nh, runs = int(w), int(h), int(nw), int(nh), int(runs)
    with open(raw, "rb") as f:
        img = Image.frombytes("RGB", (w, h), f.read(w * h * 3))
    times = {"pillow_bilinear": [], "pillow_bicubic": [], "vistel_mode0": [], "vistel_mode2": [],
             "pillow_bicubic_wall": []}
    thumbnails = []
    error = None
    for _ in range(runs):
        times["pillow_bilinear"].append(cpu_ms(lambda: img.resize((nw, nh), Image.Resampling.BILINEAR)))
        if error is None:
            out = subprocess.run([tool, "--resample-once", raw, str(w), str(h), str(nw), str(nh)],
                                 capture_output=True, text=True)
            if out.returncode != 0:
                error = (out.stderr.strip() or "failed").replace("\n", " ")
            else:
                words = out.stdout.split()
                times["vistel_mode0"].append(float(words[1]) * 1000.0)
                times["vistel_mode2"].append(float(words[3]) * 1000.0)
        times["pillow_bicubic"].append(cpu_ms(lambda: img.resize((nw, nh), Image.Resampling.BICUBIC)))
        times["pillow_bicubic_wall"].append(wall_ms(lambda: img.resize((nw, nh), Image.Resampling.BICUBIC)))
        copy = img.copy()
        thumbnails.append(wall_ms(lambda: copy.thumbnail((200, 150))))
    for name, values in times.items():
        key = "pillow/%s/%dx%d" % (name, nw, nh)
        if values:
            print("RESULT %s %.3f" % (key, statistics.median(values)))
        else:
            print("RESULT %s NA %s" % (key, error))
    print("RESULT pillow/thumbnail_wall/200x150 %.3f" % statistics.median(thumbnails))


if __name__ == "__main__":
    main()
