#!/usr/bin/python3
"""Pillow's side of the GIF writer comparison, one measurement per call so
that photo_bench.tcl can alternate it with ours round by round. Times are
wall milliseconds of the timed part only, as the Tcl side takes them.

Usage:
  pillow_gif.py save GIF OUT             save of a palette picture as GIF
  pillow_gif.py quantize RAW W H OUT     quantize() with its defaults, then
                                         save; prints the time and the PSNR
                                         of the palette picture
  pillow_gif.py psnr RAW W H GIF         PSNR of a GIF against the raw RGB
"""
import math
import sys
import time

from PIL import Image, ImageChops, ImageStat


def load_raw(path, w, h):
    with open(path, "rb") as f:
        return Image.frombytes("RGB", (w, h), f.read(w * h * 3))


def psnr(a, b):
    stat = ImageStat.Stat(ImageChops.difference(a, b.convert("RGB")))
    mse = sum(stat.sum2) / (3.0 * a.width * a.height)
    return 99.0 if mse == 0 else 10 * math.log10(255.0 * 255.0 / mse)


def main():
    what = sys.argv[1]
    if what == "save":
        img = Image.open(sys.argv[2])
        img.load()
        t0 = time.perf_counter()
        img.save(sys.argv[3], format="GIF")
        print("%.3f" % ((time.perf_counter() - t0) * 1000.0))
    elif what == "quantize":
        raw, w, h, out = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
        img = load_raw(raw, w, h)
        t0 = time.perf_counter()
        palette = img.quantize()
        palette.save(out, format="GIF")
        ms = (time.perf_counter() - t0) * 1000.0
        print("%.3f %.3f" % (ms, psnr(img, palette)))
    elif what == "psnr":
        raw, w, h, gif = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
        print("%.3f" % psnr(load_raw(raw, w, h), Image.open(gif)))
    else:
        raise SystemExit("unknown measurement " + what)


if __name__ == "__main__":
    main()
