#!/usr/bin/python3
"""A thumbnail of a JPEG file by Pillow, as an application makes one: open
the file and Image.thumbnail(), which decodes at a reduced DCT scale (its
draft mode) and then resamples. Prints the median wall milliseconds as a
"RESULT thumbnail/jpeg/pillow <ms>" line, the measure our read with -scale
and ::Vistel::Thumbnail is held to; photo_bench.tcl runs it once a round,
between its own rounds.

Usage: pillow_thumbnail.py JPEG W H RUNS
"""
import statistics
import sys
import time

from PIL import Image


def main():
    path, w, h, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    times = []
    for r in range(runs + 1):
        t0 = time.perf_counter()
        with Image.open(path) as im:
            im.thumbnail((w, h))
        if r > 0:  # the first round warms up, as photo_bench.tcl's does
            times.append((time.perf_counter() - t0) * 1000.0)
    print("RESULT thumbnail/jpeg/pillow %.3f" % statistics.median(times))


if __name__ == "__main__":
    main()
