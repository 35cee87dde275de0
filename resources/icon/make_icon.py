#!/usr/bin/env python3
"""Writes the program's icon: an open book on a blue tile.

Four images, in this order: 32x32 and 16x16 at 16 colours (4 bits per pixel),
then 16x16 and 32x32 at 24 bits per pixel. Each image is drawn from the same
picture below, scaled, with a transparency mask for the corners.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The 16-colour palette used by the 4-bit images (the classic VGA colours),
# as (blue, green, red, reserved) quads.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (r, g, b)

TILE, PAGE, SPINE, LINE = 4, 15, 8, 7  # palette indexes used by the picture


def pixel(x, y, size):
    """Palette index of the picture at (x, y), 0 <= x, y < size, top row 0;
    None where the icon is transparent."""
    u, v = x / size, y / size
    # Rounded tile: cut the four corners.
    corner = 0.12
    for cx, cy in ((corner, corner), (1 - corner, corner), (corner, 1 - corner), (1 - corner, 1 - corner)):
        outside_x = (u < corner and cx == corner) or (u > 1 - corner and cx == 1 - corner)
        outside_y = (v < corner and cy == corner) or (v > 1 - corner and cy == 1 - corner)
        if outside_x and outside_y and (u + 0.5 / size - cx) ** 2 + (v + 0.5 / size - cy) ** 2 > corner ** 2:
            return None
    # The book: two pages either side of a spine.
    if 0.2 <= v < 0.8 and 0.12 <= u < 0.88:
        if abs(u - 0.5) < 0.04:
            return SPINE
        # Text lines on the pages.
        row = int((v - 0.28) * size)
        if v >= 0.28 and v < 0.72 and row % max(2, size // 8) == 0 and 0.2 <= u < 0.8 and abs(u - 0.5) > 0.08:
            return LINE
        return PAGE
    return TILE


def bitmap(size, bits):
    """The DIB of one icon image: header, palette (4-bit), XOR and AND masks."""
    rows = []
    mask_rows = []
    for y in reversed(range(size)):  # bottom-up
        colour_row = bytearray()
        mask_row = 0
        nibbles = []
        for x in range(size):
            index = pixel(x, y, size)
            transparent = index is None
            mask_row = (mask_row << 1) | (1 if transparent else 0)
            index = 0 if transparent else index
            if bits == 4:
                nibbles.append(index)
            else:
                r, g, b = PALETTE[index]
                colour_row += bytes((b, g, r))
        if bits == 4:
            for i in range(0, size, 2):
                colour_row.append((nibbles[i] << 4) | nibbles[i + 1])
        while len(colour_row) % 4:
            colour_row.append(0)
        rows.append(bytes(colour_row))
        mask_bytes = mask_row.to_bytes(size // 8, "big")
        mask_rows.append(mask_bytes + bytes((-len(mask_bytes)) % 4))
    colours = 16 if bits == 4 else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         sum(map(len, rows)) + sum(map(len, mask_rows)), 0, 0, colours, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE) if bits == 4 else b""
    return header + palette + b"".join(rows) + b"".join(mask_rows)


def icon(images):
    """An .ico file holding the given (size, bits) images in order."""
    data = [bitmap(size, bits) for size, bits in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), dib in zip(images, data):
        colour_count = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(dib), offset)
        offset += len(dib)
    return out + b"".join(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(icon([(32, 4), (16, 4), (16, 24), (32, 24)]))
