#!/usr/bin/env python3
"""Compares a raw 2352-byte sector image read from QEMU's ATAPI drive with
the 2048-byte ISO image it was made from.

QEMU's emulated READ CD delivers the sync field, the header and the user
data, and leaves EDC and ECC zero, so those three fields are compared and the
rest is not. Its header holds minutes, seconds and frames of LBA + 150 as
plain binary numbers rather than the BCD of ECMA-130 (sector 10: 00 02 0A 01,
where a disc has 00 02 10 01); --binary-header expects that form.

usage: check_raw_image.py [--binary-header] RAW ISO FIRST COUNT [ZERO_FROM]
  sectors FIRST .. FIRST+COUNT-1 of ISO; from ZERO_FROM on (an address) every
  sector of RAW must be all zeros instead.
"""
import sys

SYNC = bytes([0]) + bytes([0xFF] * 10) + bytes([0])


def bcd(n):
    return ((n // 10) << 4) | (n % 10)


BINARY_HEADER = "--binary-header" in sys.argv
ARGS = [a for a in sys.argv[1:] if a != "--binary-header"]


def header(lba):
    a = lba + 150
    m, s, f = a // 4500, a // 75 % 60, a % 75
    if BINARY_HEADER:
        return bytes([m, s, f, 1])
    return bytes([bcd(m), bcd(s), bcd(f), 1])


def main():
    raw_path, iso_path, first, count = ARGS[0], ARGS[1], int(ARGS[2]), int(ARGS[3])
    zero_from = int(ARGS[4]) if len(ARGS) > 4 else None
    raw = open(raw_path, "rb").read()
    iso = open(iso_path, "rb").read()
    problems = []
    if len(raw) != count * 2352:
        problems.append("size %d, expected %d" % (len(raw), count * 2352))
    for i in range(min(count, len(raw) // 2352)):
        lba = first + i
        s = raw[i * 2352:(i + 1) * 2352]
        if zero_from is not None and lba >= zero_from:
            if any(s):
                problems.append("sector %d is not zero" % lba)
            continue
        if s[0:12] != SYNC:
            problems.append("sector %d: sync %s" % (lba, s[0:12].hex()))
        if s[12:16] != header(lba):
            problems.append("sector %d: header %s, expected %s" % (lba, s[12:16].hex(), header(lba).hex()))
        if s[16:2064] != iso[lba * 2048:(lba + 1) * 2048]:
            problems.append("sector %d: user data differs" % lba)
    for p in problems[:10]:
        print("  " + p)
    sys.exit(1 if problems else 0)


main()
