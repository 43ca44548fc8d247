#!/usr/bin/env python3
"""Writes the dialog program's icon: a chip with an upward arrow, in the eight images the
resources carry (32 and 16 pixels in 16 colours; 48, 32 and 16 pixels in 256 colours and in
32-bit colour with alpha). Usage: make_icon.py OUTPUT.ico"""

import struct
import sys

# The standard 16-colour palette, which 16-colour icons are drawn with.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]

BODY = (36, 52, 92)
EDGE = (16, 24, 48)
PIN = (200, 200, 200)
ARROW = (40, 200, 64)
ARROW_EDGE = (0, 96, 24)


def arrow_inside(x, y, grow):
    head = 0.08 - grow <= y <= 0.44 + grow and abs(x - 0.5) <= (y - 0.08) * 0.62 + grow
    shaft = 0.40 <= y <= 0.78 + grow and abs(x - 0.5) <= 0.08 + grow
    return head or shaft


def colour_at(x, y):
    """The picture in unit coordinates; None is transparent."""
    if arrow_inside(x, y, 0.0):
        return ARROW
    if arrow_inside(x, y, 0.05):
        return ARROW_EDGE
    if 0.20 <= x <= 0.80 and 0.22 <= y <= 0.90:
        if x < 0.25 or x > 0.75 or y < 0.27 or y > 0.85:
            return EDGE
        return BODY
    for centre in (0.34, 0.50, 0.66, 0.82):
        if abs(y - centre) <= 0.035 and (0.06 <= x < 0.20 or 0.80 < x <= 0.94):
            return PIN
    return None


def render(size):
    """RGBA rows, top row first, 4x4 samples per pixel."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            samples = [colour_at((px + (sx + 0.5) / 4) / size, (py + (sy + 0.5) / 4) / size)
                       for sy in range(4) for sx in range(4)]
            solid = [c for c in samples if c is not None]
            if not solid:
                row.append((0, 0, 0, 0))
                continue
            r = sum(c[0] for c in solid) // len(solid)
            g = sum(c[1] for c in solid) // len(solid)
            b = sum(c[2] for c in solid) // len(solid)
            row.append((r, g, b, 255 * len(solid) // len(samples)))
        rows.append(row)
    return rows


def nearest(palette, colour):
    return min(range(len(palette)), key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


def mask_rows(pixels, size):
    """The 1-bit AND mask, rows padded to 32 bits: 1 where the icon is transparent."""
    stride = (size + 31) // 32 * 4
    out = []
    for row in pixels:
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out.append(bytes(bits))
    return out


def image(size, bits):
    pixels = render(size)
    bottom_up = list(reversed(pixels))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    if bits == 32:
        body = b"".join(bytes(v for (r, g, b, a) in row for v in (b, g, r, a)) for row in bottom_up)
        palette = b""
        colours = 0
    else:
        if bits == 4:
            table = VGA
        else:
            used = sorted({(r, g, b) for row in pixels for (r, g, b, a) in row if a >= 128})
            table = [(0, 0, 0)] + used[:255]
            table += [(0, 0, 0)] * (256 - len(table))
        palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in table)
        colours = len(table)
        stride = (size * bits + 31) // 32 * 4
        body = b""
        for row in bottom_up:
            indices = [nearest(table, (r, g, b)) if a >= 128 else 0 for (r, g, b, a) in row]
            if bits == 8:
                line = bytes(indices)
            else:
                line = bytes((indices[i] << 4) | (indices[i + 1] if i + 1 < size else 0) for i in range(0, size, 2))
            body += line + bytes(stride - len(line))
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)
    mask = b"".join(reversed(mask_rows(pixels, size)))
    return header + palette + body + mask, (0 if colours >= 256 else colours)


def main():
    formats = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]
    images = [(size, bits) + image(size, bits) for size, bits in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data, colours in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data, _ in images)
    with open(sys.argv[1], "wb") as file:
        file.write(out)


if __name__ == "__main__":
    main()
