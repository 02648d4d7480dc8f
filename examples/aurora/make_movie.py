#!/usr/bin/env python3
"""Draws aurora.bmp, the MOVIE of the aurora example: northern lights over a ridge at night.

The picture is an 8-bit bitmap of 320 x 200 pixels whose palette entries 64 to 255 cycle (the
two reserved 16-bit fields of the bitmap file header hold the first cycling entry and their
count), so the saver animates it by moving those colours one place per tick. Everything is
computed here from formulas and a fixed seed: running the script again gives the same bytes.

    python3 make_movie.py [OUTPUT]      (default: aurora.bmp beside this script)
"""
import math
import os
import random
import struct
import sys

WIDTH, HEIGHT = 320, 200
SKY_FIRST, SKY_COUNT = 0, 48  # vertical gradient, top to horizon
RIDGE, RIDGE_EDGE = 48, 49  # the hills in front
STAR_FIRST, STAR_COUNT = 56, 8
CYCLE_FIRST, CYCLE_COUNT = 64, 192  # the aurora's colours, moved by the saver
HORIZON = 175  # the sky gradient ends here
CLEAR_TOP_ROWS = 6  # no stars or light in the top rows: the tests read the sky there
SEED = 20261208

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def lerp(a, b, t):
    return a + (b - a) * t


def clamp_byte(v):
    return max(0, min(255, int(round(v))))


def palette():
    colours = [(0, 0, 0)] * 256
    top, horizon = (2, 3, 12), (18, 30, 62)
    for i in range(SKY_COUNT):
        t = i / (SKY_COUNT - 1)
        colours[SKY_FIRST + i] = tuple(clamp_byte(lerp(a, b, t)) for a, b in zip(top, horizon))
    colours[RIDGE] = (4, 6, 10)
    colours[RIDGE_EDGE] = (14, 20, 30)
    for i in range(STAR_COUNT):
        v = 150 + 105 * i / (STAR_COUNT - 1)
        colours[STAR_FIRST + i] = (clamp_byte(v * 0.9), clamp_byte(v * 0.95), clamp_byte(v))
    base = (10, 20, 44)
    green, teal, magenta = (70, 255, 150), (40, 190, 210), (210, 70, 190)
    for j in range(CYCLE_COUNT):
        t = j / CYCLE_COUNT
        # Two bright waves per cycle over a faint glow; a touch of magenta once per cycle.
        light = 0.22 + 0.78 * max(0.0, math.sin(2 * math.pi * 2 * t)) ** 1.4
        pink = max(0.0, math.cos(2 * math.pi * t)) ** 6
        cyan = max(0.0, math.sin(2 * math.pi * t + 1.0)) ** 4 * 0.5
        hue = [g * (1 - pink) * (1 - cyan) + m * pink + c * cyan * (1 - pink)
               for g, m, c in zip(green, magenta, teal)]
        colours[CYCLE_FIRST + j] = tuple(clamp_byte(b + light * h) for b, h in zip(base, hue))
    return colours


def ridge_line(x):
    return (HEIGHT - 20 + 7 * math.sin(x / 23.0) + 4 * math.sin(x / 7.3 + 1.0)
            + 2 * math.sin(x / 3.1 + 0.4))


def rays(x):
    """Brightness of the vertical rays along a curtain, 0.3 to 1."""
    v = (math.sin(x * 0.9) + 0.7 * math.sin(x * 2.3 + 1.0) + 0.5 * math.sin(x * 0.37 + 2.0)
         + 0.4 * math.sin(x * 5.1))
    return 0.3 + 0.7 * (v + 2.6) / 5.2


def curtain(x, y, lower, height, weight):
    """Light of one curtain at (x, y): bright at its lower edge, fading upwards."""
    top = lower - height
    if y < top or y > lower + 6:
        return 0.0
    if y <= lower:
        u = (y - top) / height
        return weight * rays(x) * u ** 1.6
    return weight * rays(x) * math.exp(-(y - lower) / 1.8)


def pixels(rng):
    # A threshold offset per column draws the light as vertical rays rather than as noise.
    streaks = [rng.random() for _ in range(WIDTH)]
    rows = []
    for y in range(HEIGHT):
        row = bytearray(WIDTH)
        for x in range(WIDTH):
            ridge = ridge_line(x)
            if y >= ridge + 1:
                row[x] = RIDGE
                continue
            if y >= ridge:
                row[x] = RIDGE_EDGE
                continue
            sky = SKY_FIRST + min(SKY_COUNT - 1, int(y * SKY_COUNT / HORIZON))
            row[x] = sky
            if y < CLEAR_TOP_ROWS:
                continue
            lower_a = 130 + 22 * math.sin(x / 41.0 + 0.5) + 9 * math.sin(x / 17.0 + 2.0)
            lower_b = 86 + 15 * math.sin(x / 53.0 + 2.5) + 6 * math.sin(x / 11.0)
            a = curtain(x, y, lower_a, 70 + 20 * math.sin(x / 29.0), 1.0)
            b = curtain(x + 57, y, lower_b, 45, 0.75)
            light = max(a, b)
            threshold = (BAYER4[y % 4][x % 4] + 0.5) / 16 * 0.7 + streaks[x] * 0.3
            if light > threshold:
                wave = x * 0.9 + y * 0.35 + 18 * math.sin(x / 45.0) + (96 if b > a else 0)
                row[x] = CYCLE_FIRST + int(wave) % CYCLE_COUNT
            elif y < ridge - 4 and rng.random() < 0.004:
                row[x] = STAR_FIRST + rng.randrange(STAR_COUNT)
        rows.append(bytes(row))
    return rows


def bitmap(colours, rows):
    stride = (WIDTH + 3) & ~3
    bits = b"".join(row + b"\0" * (stride - WIDTH) for row in reversed(rows))  # bottom row first
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), CYCLE_FIRST, CYCLE_COUNT, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(bits), 2835, 2835, 256, 256)
    return header + info + table + bits


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "aurora.bmp")
    data = bitmap(palette(), pixels(random.Random(SEED)))
    with open(out, "wb") as f:
        f.write(data)
    print(f"{out}: {len(data)} bytes, {WIDTH} x {HEIGHT}, 8 bit, "
          f"entries {CYCLE_FIRST}..{CYCLE_FIRST + CYCLE_COUNT - 1} cycle")


if __name__ == "__main__":
    main()
