#!/usr/bin/env python3
"""Draws the installer's icon, a small monitor with a starry screen, and writes ssinstaller.ico.

The icon group holds three images, 48, 32 and 16 pixels square, each with a 256-colour palette
(8 bits per pixel) and a 1-bit transparency mask, the form every Windows version shows. The
pixels come from the shapes and star positions below; nothing is read from other files.

The build uses the checked-in ssinstaller.ico and never runs this script. After changing the
drawing, run it from this folder (`python3 make_icon.py`) and check in both files;
`python3 make_icon.py --check` tells whether the checked-in icon matches the drawing.
"""

import os
import struct
import sys

# Palette index -> (red, green, blue). Index 0 is the transparent background (masked out).
PALETTE = {
    0: (0, 0, 0),
    1: (24, 24, 32),  # outline
    2: (176, 180, 190),  # bezel
    3: (226, 228, 234),  # bezel, lit edge
    4: (112, 116, 128),  # bezel, shaded edge
    5: (64, 200, 96),  # power light
    14: (255, 255, 255),  # bright star
    15: (255, 230, 120),  # warm star
    16: (170, 200, 255),  # cool star
    17: (110, 120, 170),  # faint star
    18: (250, 240, 200),  # moon
    19: (140, 144, 156),  # stand
    20: (90, 94, 104),  # stand, shaded
}
# Indices 6..13: the night sky, darkest at the top of the screen.
SKY = list(range(6, 14))
for step, index in enumerate(SKY):
    t = step / (len(SKY) - 1)
    PALETTE[index] = (round(8 + 34 * t), round(10 + 26 * t), round(40 + 72 * t))

OUTLINE, BEZEL, BEZEL_LIT, BEZEL_SHADE, LED = 1, 2, 3, 4, 5
WHITE, WARM, COOL, FAINT, MOON, STAND, STAND_SHADE = 14, 15, 16, 17, 18, 19, 20

# Per size: the monitor's outer box (left, top, right, bottom, inclusive), the bezel width, the
# neck and the foot of the stand as boxes, the power light, the moon (centre x, y, radius and
# the shift of the disc that cuts it to a crescent, or None), and the stars as (x, y, shape, colour) in screen pixels. Shapes: "dot" one pixel,
# "plus" a pixel with four arms, "spark" a plus with arms two pixels long.
LAYOUTS = {
    48: dict(
        body=(1, 3, 46, 35),
        bezel=3,
        neck=(19, 36, 28, 39),
        foot=(11, 40, 36, 43),
        led=(41, 33),
        moon=(34, 12, 4, 3, -1),
        stars=[
            (9, 9, "spark", WHITE), (19, 14, "plus", WARM), (14, 22, "dot", COOL),
            (26, 9, "dot", WHITE), (8, 27, "dot", FAINT), (22, 24, "spark", COOL),
            (31, 22, "dot", WARM), (38, 26, "plus", WHITE), (28, 29, "dot", FAINT),
            (12, 15, "dot", FAINT), (40, 19, "dot", COOL), (17, 29, "dot", WHITE),
            (30, 16, "dot", FAINT),
        ],
    ),
    32: dict(
        body=(1, 2, 30, 23),
        bezel=2,
        neck=(13, 24, 18, 26),
        foot=(8, 27, 23, 29),
        led=(27, 22),
        moon=(22, 8, 3, 2, 0),
        stars=[
            (6, 6, "plus", WHITE), (13, 10, "dot", WARM), (9, 15, "dot", COOL),
            (17, 6, "dot", WHITE), (15, 16, "plus", COOL), (25, 16, "dot", WHITE),
            (5, 19, "dot", FAINT), (20, 13, "dot", FAINT),
        ],
    ),
    16: dict(
        body=(0, 1, 15, 11),
        bezel=1,
        neck=(6, 12, 9, 12),
        foot=(3, 13, 12, 14),
        led=None,
        moon=None,
        stars=[
            (4, 4, "plus", WHITE), (9, 3, "dot", WARM), (12, 6, "dot", WHITE),
            (7, 8, "dot", COOL), (3, 8, "dot", FAINT),
        ],
    ),
}


def box(canvas, left, top, right, bottom, colour):
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            canvas[y][x] = colour


def draw(size):
    layout = LAYOUTS[size]
    canvas = [[0] * size for _ in range(size)]
    left, top, right, bottom = layout["body"]
    width = layout["bezel"]

    # Stand first, so the monitor's outline covers where they meet.
    n_left, n_top, n_right, n_bottom = layout["neck"]
    box(canvas, n_left, n_top, n_right, n_bottom, STAND)
    box(canvas, n_right, n_top, n_right, n_bottom, STAND_SHADE)
    f_left, f_top, f_right, f_bottom = layout["foot"]
    box(canvas, f_left, f_top, f_right, f_bottom, OUTLINE)
    box(canvas, f_left + 1, f_top, f_right - 1, f_bottom - 1, STAND)
    box(canvas, f_left + 1, f_bottom - 1, f_right - 1, f_bottom - 1, STAND_SHADE)

    # Case: outline, bezel lit from the top left.
    box(canvas, left, top, right, bottom, OUTLINE)
    box(canvas, left + 1, top + 1, right - 1, bottom - 1, BEZEL)
    box(canvas, left + 1, top + 1, right - 1, top + 1, BEZEL_LIT)
    box(canvas, left + 1, top + 1, left + 1, bottom - 1, BEZEL_LIT)
    box(canvas, left + 1, bottom - 1, right - 1, bottom - 1, BEZEL_SHADE)
    box(canvas, right - 1, top + 1, right - 1, bottom - 1, BEZEL_SHADE)

    # Screen: the sky in horizontal bands, inside a dark rim where the bezel is wide enough to
    # keep some of its grey around the rim.
    s_left, s_top = left + 1 + width, top + 1 + width
    s_right, s_bottom = right - 1 - width, bottom - 1 - width
    if width >= 2:
        box(canvas, s_left - 1, s_top - 1, s_right + 1, s_bottom + 1, OUTLINE)
    rows = s_bottom - s_top + 1
    for y in range(s_top, s_bottom + 1):
        band = SKY[(y - s_top) * len(SKY) // rows]
        box(canvas, s_left, y, s_right, y, band)

    if layout["moon"]:
        cx, cy, radius, dx, dy = layout["moon"]
        # r*r + r rather than r*r keeps such small discs round instead of diamond-shaped.
        reach = radius * radius + radius
        for y in range(cy - radius, cy + radius + 1):
            for x in range(cx - radius, cx + radius + 1):
                inside = (x - cx) ** 2 + (y - cy) ** 2 <= reach
                shade = (x - cx - dx) ** 2 + (y - cy - dy) ** 2 <= reach
                if inside and not shade:
                    canvas[y][x] = MOON

    for x, y, shape, colour in layout["stars"]:
        arms = {"dot": 0, "plus": 1, "spark": 2}[shape]
        canvas[y][x] = colour
        for d in range(1, arms + 1):
            arm = colour if d == 1 else FAINT
            for ax, ay in ((x - d, y), (x + d, y), (x, y - d), (x, y + d)):
                canvas[ay][ax] = arm
        assert s_left <= x - arms and x + arms <= s_right, (size, x, y)
        assert s_top <= y - arms and y + arms <= s_bottom, (size, x, y)

    if layout["led"]:
        lx, ly = layout["led"]
        canvas[ly][lx] = LED
    return canvas


def rows_padded(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def image_bytes(canvas):
    """One icon image: BITMAPINFOHEADER, 256 palette entries, the pixels, the AND mask."""
    size = len(canvas)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b"".join(
        struct.pack("<BBBB", *reversed(PALETTE.get(i, (0, 0, 0))), 0) for i in range(256)
    )
    pixels, mask = b"", b""
    pixel_stride, mask_stride = rows_padded(size * 8), rows_padded(size)
    for row in reversed(canvas):  # bitmaps are stored bottom row first
        pixels += bytes(row).ljust(pixel_stride, b"\0")
        bits = 0
        for x, index in enumerate(row):
            if index == 0:
                bits |= 1 << (7 - x % 8) << (8 * (x // 8))
        mask_row = bytes((bits >> (8 * i)) & 0xFF for i in range((size + 7) // 8))
        mask += mask_row.ljust(mask_stride, b"\0")
    return header + palette + pixels + mask


def icon_file():
    images = [image_bytes(draw(size)) for size in (48, 32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((48, 32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ssinstaller.ico")
    data = icon_file()
    if sys.argv[1:] == ["--check"]:
        with open(path, "rb") as f:
            same = f.read() == data
        print("ssinstaller.ico matches the drawing" if same else "ssinstaller.ico is out of date")
        return 0 if same else 1
    with open(path, "wb") as f:
        f.write(data)
    print(f"wrote {path} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
