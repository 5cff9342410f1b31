#!/usr/bin/env python3
"""Renders the program icon from its shapes into 16-colour PNGs and a Windows .ico.

The shapes are the ones in res/icons/praveltest.svg: a spotlight on a dark square, its beam
falling on a stage. Run it after changing the design; the outputs are committed.
"""
import struct
import sys
import zlib
from pathlib import Path

# A 16-colour palette (the classic VGA set).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, GREY, SILVER, YELLOW, OLIVE, WHITE, BLACK = 4, 8, 7, 11, 3, 15, 0


def inside_polygon(x, y, points):
    hit = False
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def render(size):
    """Samples the 32-unit design at the pixel centres of a size x size grid."""
    scale = 32 / size
    pixels = []
    for row in range(size):
        line = []
        for col in range(size):
            x, y = (col + 0.5) * scale, (row + 0.5) * scale
            colour = NAVY
            if y >= 26:
                colour = OLIVE  # stage
            if inside_polygon(x, y, [(10, 9), (15, 9), (28, 27), (6, 27)]):
                colour = YELLOW  # beam
            if 26 <= y < 28 and 8 <= x < 27:
                colour = YELLOW if inside_polygon(x, y, [(10, 9), (15, 9), (28, 27), (6, 27)]) else OLIVE
            if 4 <= x < 21 and 3 <= y < 10:
                colour = GREY  # lamp body
            if 5 <= x < 20 and 4 <= y < 9:
                colour = SILVER
            if 9 <= x < 16 and 9 <= y < 11:
                colour = WHITE  # lens
            if 20 <= x < 24 and 5 <= y < 8:
                colour = BLACK  # yoke
            line.append(colour)
        pixels.append(line)
    return pixels


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(pixels):
    size = len(pixels)
    rows = b""
    for line in pixels:
        packed = bytes((line[i] << 4) | line[i + 1] for i in range(0, size, 2))
        rows += b"\x00" + packed
    header = struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)  # 4-bit palette
    palette = b"".join(bytes(c) for c in PALETTE)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", palette) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def ico(images):
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        data += blob
    return header + entries + data


def main(out_dir):
    out = Path(out_dir)
    images = []
    for size in (16, 32):
        blob = png(render(size))
        (out / f"praveltest-{size}.png").write_bytes(blob)
        images.append((size, blob))
    (out / "praveltest.ico").write_bytes(ico(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "res" / "icons")
