#!/usr/bin/env python3
"""Converts a 24-bit bitmap written by the runtime (screenshots) into a PNG file.

    tools/bmp2png.py frame-000600.bmp screenshot.png

read_bmp and write_png serve other tools too (tools/fontlayout.py).
"""
import struct
import sys
import zlib


def read_bmp(src):
    """The picture of a 24-bit bitmap: width, height and rows of RGB bytes, top row first."""
    data = open(src, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{src}: not a bitmap")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise SystemExit(f"{src}: {bits} bits per pixel, only 24 are read")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height) - 1, -1, -1) if height > 0 else range(abs(height)):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(rgb))
    return width, abs(height), rows


def write_png(dst, width, height, rows):
    """Writes rows of RGB bytes, top row first, as a PNG file."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(b"\x00" + bytes(r) for r in rows), 9)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


def convert(src, dst):
    write_png(dst, *read_bmp(src))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: bmp2png.py <in.bmp> <out.png>")
    convert(sys.argv[1], sys.argv[2])
