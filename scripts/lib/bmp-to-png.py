#!/usr/bin/env python3
"""Converts a 24-bit uncompressed BMP (as the Windows smoke test saves the
screen) into a PNG, with the standard library only: bmp-to-png.py IN OUT."""
import struct
import sys
import zlib


def convert(src, dst):
    with open(src, "rb") as f:
        data = f.read()
    if data[:2] != b"BM" or len(data) < 54:
        raise ValueError("not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise ValueError("only 24-bit uncompressed BMP files are read")
    stride = (width * 3 + 3) & ~3
    rows = abs(height)
    if offset + stride * rows > len(data):
        raise ValueError("the BMP file is cut short")
    raw = bytearray()
    for y in range(rows):
        # Bottom-up unless the height is negative.
        line = rows - 1 - y if height > 0 else y
        start = offset + line * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3] = bgr[2::3]
        rgb[1::3] = bgr[1::3]
        rgb[2::3] = bgr[0::3]
        raw += b"\0" + rgb

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, rows, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(dst, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: bmp-to-png.py IN.bmp OUT.png")
    try:
        convert(sys.argv[1], sys.argv[2])
    except (OSError, ValueError) as e:
        sys.exit("bmp-to-png.py: %s: %s" % (sys.argv[1], e))
