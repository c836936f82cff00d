#!/usr/bin/env python3
"""Checks that the thumbnails and copies kestrune.exe wrote in a folder (the copies in its
kestrune-copies/) are those the Linux build wrote for the same folder, as far as two codecs can
agree: the same files, each with the same mark (the photo's size, time and size in pixels, the
picture's size, the caption) and the same picture the right way up, compared by the colour at the
middle of each quarter.

    same_thumbnails.py LINUX-FOLDER WINDOWS-FOLDER
"""
import os
import sys

from PIL import Image

MARKER = b"Kestrune thumbnail 1;"
COPIES = "kestrune-copies"
TOLERANCE = 100  # per channel: colour handling differs (libvips converts to sRGB), a turn does not


def mark(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        head = f.read(8192)
    if head[:4] != b"\xff\xd8\xff\xfe" or head[6:6 + len(MARKER)] != MARKER:
        return None
    return head[6:4 + int.from_bytes(head[4:6], "big")]


def quarters(path):
    with Image.open(path) as image:
        image = image.convert("RGB")
        w, h = image.size
        return image.size, [image.getpixel((w * x // 4, h * y // 4)) for y in (1, 3) for x in (1, 3)]


def main(linux, windows):
    def thumbnails(folder):
        copies = os.path.join(folder, COPIES)
        names = os.listdir(folder)
        names += [os.path.join(COPIES, n) for n in os.listdir(copies)] if os.path.isdir(copies) else []
        return sorted(n for n in names if mark(os.path.join(folder, n)) is not None)

    expected, actual = thumbnails(linux), thumbnails(windows)
    failures = []
    if expected != actual:
        failures.append(f"thumbnails {actual}, expected {expected}")
    if not expected:
        failures.append("the Linux build wrote no thumbnail")
    for name in sorted(set(expected) & set(actual)):
        a, b = os.path.join(linux, name), os.path.join(windows, name)
        if mark(a) != mark(b):
            failures.append(f"{name}: mark {mark(b)!r}, expected {mark(a)!r}")
        (size_a, colours_a), (size_b, colours_b) = quarters(a), quarters(b)
        if size_a != size_b:
            failures.append(f"{name}: {size_b}, expected {size_a}")
        for ca, cb in zip(colours_a, colours_b):
            if any(abs(x - y) > TOLERANCE for x, y in zip(ca, cb)):
                failures.append(f"{name}: quarters {colours_b}, expected {colours_a}")
                break
    for failure in failures:
        print("FAIL:", failure)
    copies = sum(1 for name in expected if name.startswith(COPIES))
    print(f"{len(expected) - copies} thumbnails and {copies} copies compared, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
