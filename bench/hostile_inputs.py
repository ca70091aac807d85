#!/usr/bin/env python3
"""Writes the hostile game folders that bench/README.md times meshcheck on.

    bench/hostile_inputs.py OUT samples/skiff.md3

Each is a small file that once cost meshcheck minutes or gigabytes:
  OUT/script     a 7.9 KiB pk3 with an 8 MB shader script of '"a" ' tokens
  OUT/tokens     two scripts of one 200 MiB token each
  OUT/shared200  200 directory entries over one deflate stream of 256 MiB
  OUT/shared6    6 such entries (for --jobs 6)
  OUT/skin       a 1M-line skin beside a player head, in a 32 KiB pk3
"""
import os
import struct
import sys
import zlib


def deflate(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def local_header(name, crc, packed, size):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, packed, size,
                       len(name), 0) + name


def central_entry(name, crc, packed, size, offset):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc, packed,
                       size, len(name), 0, 0, 0, 0, 0, offset) + name


def end_record(count, size, offset):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, offset, 0)


def write_zip(path, members):
    """members: (name, data) pairs, each deflated."""
    body, directory = b"", b""
    for name, data in members:
        packed, crc = deflate(data), zlib.crc32(data)
        directory += central_entry(name.encode(), crc, len(packed), len(data), len(body))
        body += local_header(name.encode(), crc, len(packed), len(data)) + packed
    with open(path, "wb") as out:
        out.write(body + directory + end_record(len(members), len(directory), len(body)))


def write_shared(path, entries):
    """`entries` directory entries, names of one length, all at one stream."""
    size = 256 << 20
    crc, packed = 0, b""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = bytes(1 << 20)
    for _ in range(size >> 20):
        crc = zlib.crc32(block, crc)
        packed += packer.compress(block)
    packed += packer.flush()
    names = [("models/m%03d.md3" % k).encode() for k in range(entries)]
    body = local_header(names[0], crc, len(packed), size) + packed
    directory = b"".join(central_entry(n, crc, len(packed), size, 0) for n in names)
    with open(path, "wb") as out:
        out.write(body + directory + end_record(entries, len(directory), len(body)))


def main():
    out, model = sys.argv[1], open(sys.argv[2], "rb").read()
    for game in ("script", "tokens", "shared200", "shared6", "skin"):
        os.makedirs(os.path.join(out, game), exist_ok=True)
    write_zip(os.path.join(out, "script", "pak0.pk3"),
              [("scripts/a.shader", b'"a" ' * (2 << 20)), ("models/x.md3", model)])
    for k in range(2):
        write_zip(os.path.join(out, "tokens", "pak%d.pk3" % k),
                  [("scripts/t%d.shader" % k, b"t" * (200 << 20)), ("models/x.md3", model)])
    write_shared(os.path.join(out, "shared200", "pak0.pk3"), 200)
    write_shared(os.path.join(out, "shared6", "pak0.pk3"), 6)
    # The sample's surfaces are "hull" and "fin".
    write_zip(os.path.join(out, "skin", "pak0.pk3"),
              [("models/players/x/head.md3", model),
               ("models/players/x/head_default.skin", b"hull,gone/a\n" * 1000000)])


main()
