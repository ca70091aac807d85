"""Decodes a PNG with nothing but zlib and struct and compares it with raw
RGB pixels: png_check.py PICTURE.png PIXELS.rgb WIDTH HEIGHT; or two
pictures with each other, pixel for pixel whatever their encoding:
png_check.py --same A.png B.png."""
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def decode(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("not a PNG signature")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            sys.exit("bad CRC in chunk %r" % kind)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 2 or interlace != 0:
        sys.exit("not 8-bit RGB without interlace: %r" % (header,))
    raw = zlib.decompress(idat)
    stride = 3 * width
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - 3] if x >= 3 else 0
            up, corner = previous[x], previous[x - 3] if x >= 3 else 0
            add = [0, left, up, (left + up) // 2, paeth(left, up, corner)][kind]
            line[x] = (line[x] + add) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, b"".join(rows)


def main():
    if sys.argv[1] == "--same":
        with open(sys.argv[2], "rb") as a, open(sys.argv[3], "rb") as b:
            if decode(a.read()) != decode(b.read()):
                sys.exit("the pixels differ")
        return
    png, pixels, width, height = sys.argv[1:5]
    with open(png, "rb") as f:
        got_width, got_height, got = decode(f.read())
    with open(pixels, "rb") as f:
        expected = f.read()
    if (got_width, got_height) != (int(width), int(height)):
        sys.exit("size %dx%d, expected %sx%s" % (got_width, got_height, width, height))
    if got != expected:
        sys.exit("the pixels differ")


main()
