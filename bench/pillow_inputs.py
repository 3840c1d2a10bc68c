#!/usr/bin/python3
"""Writes the benchmark inputs that the library's own encoders could not
make, from the raw pixel files bench_inputs left, as listed in pending.txt:

    <file> <kind> <raw file> <width> <height> <channels> [<frames> <delay>]

Usage: pillow_inputs.py DIR
"""
import os
import sys

from PIL import Image


def load(path, w, h, ch, offset=0):
    mode = "RGBA" if ch == 4 else "RGB"
    with open(path, "rb") as f:
        f.seek(offset)
        data = f.read(w * h * ch)
    return Image.frombytes(mode, (w, h), data)


def animation(path, w, h, frames, delay, out):
    images = [load(path, w, h, 3, i * w * h * 3).quantize(256, dither=Image.Dither.FLOYDSTEINBERG)
              for i in range(frames)]
    # Each frame keeps its own palette, so every frame after the first
    # carries a local colour table.
    images[0].save(out, save_all=True, append_images=images[1:], duration=delay * 10,
                   loop=0, optimize=False, disposal=1)


def write(out, kind, img):
    if kind == "png":
        img.save(out, compress_level=6)
    elif kind == "jpeg90":
        img.save(out, quality=90)
    elif kind == "jpeg90prog":
        img.save(out, quality=90, progressive=True)
    elif kind in ("bmp24", "bmp32"):
        img.save(out, format="BMP")
    elif kind == "tga24":
        img.save(out, format="TGA", compression=None)
    elif kind == "tga24rle":
        img.save(out, format="TGA", compression="tga_rle")
    elif kind == "gif256":
        img.quantize(256, dither=Image.Dither.FLOYDSTEINBERG).save(out, format="GIF")
    else:
        raise SystemExit("unknown input kind " + kind)


def main():
    d = sys.argv[1]
    with open(os.path.join(d, "pending.txt")) as f:
        lines = [ln.split() for ln in f if ln.strip()]
    for words in lines:
        name, kind, raw = words[0], words[1], os.path.join(d, words[2])
        w, h, ch = (int(x) for x in words[3:6])
        out = os.path.join(d, name)
        if kind == "animgif":
            animation(raw, w, h, int(words[6]), int(words[7]), out)
        else:
            write(out, kind, load(raw, w, h, ch))
        print("pillow wrote", name)


if __name__ == "__main__":
    main()
