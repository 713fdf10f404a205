#!/usr/bin/env python3
"""Writes the benchmark corpora of the mastering benchmark.

usage: corpus.py small|large|flat|huge|five DIR

  small  20,000 files of 1..8 KiB in 400 folders two levels deep
  large  8 files of 80 MiB (640 MiB in all)
  flat   50,000 files of 0..4 KiB in one folder, whose short names all clash
  huge   200,000 files of 0..4 KiB in 4,000 folders three levels deep
  five   one file of 5 GiB (several extents in an image)
The contents are pseudo-random with a fixed seed, so every run writes the
same corpus.
"""
import os
import random
import sys


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def small(root, rng):
    for top in range(20):
        for sub in range(20):
            folder = os.path.join(root, "dir%02d" % top, "sub%02d" % sub)
            os.makedirs(folder, exist_ok=True)
            for n in range(50):
                write(os.path.join(folder, "file%03d.dat" % n), rng.randbytes(rng.randint(1024, 8192)))


def large(root, rng):
    block = rng.randbytes(1 << 20)
    for n in range(8):
        with open(os.path.join(root, "big%d.bin" % n), "wb") as out:
            for m in range(80):
                out.write(block[m:] + block[:m])


def flat(root, rng):
    folder = os.path.join(root, "many")
    os.makedirs(folder, exist_ok=True)
    for n in range(50000):
        write(os.path.join(folder, "Entry number %05d.txt" % n), rng.randbytes(rng.randint(0, 4096)))


def huge(root, rng):
    for top in range(20):
        for group in range(200):
            folder = os.path.join(root, "part%02d" % top, "group%03d" % group)
            os.makedirs(folder, exist_ok=True)
            for n in range(50):
                write(os.path.join(folder, "item%02d.bin" % n), rng.randbytes(rng.randint(0, 4096)))


def five(root, rng):
    block = rng.randbytes(1 << 20)
    with open(os.path.join(root, "five.bin"), "wb") as out:
        for m in range(5 * 1024):
            out.write(block[m % 4096 :] + block[: m % 4096])


kinds = {"small": small, "large": large, "flat": flat, "huge": huge, "five": five}


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in kinds:
        sys.exit(__doc__)
    kind, root = sys.argv[1], sys.argv[2]
    os.makedirs(root, exist_ok=True)
    kinds[kind](root, random.Random(42))


if __name__ == "__main__":
    main()
