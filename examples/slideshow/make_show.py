#!/usr/bin/env python3
"""Draws the pictures and the tune of the slideshow example.

Three scenes of different shapes and kinds, so that a show exercises every decoder and leaves
bars around some pictures: 01-dawn.jpg (640 x 400), 02-lake.gif (400 x 400) and 03-night.bmp
(an 8-bit bitmap, 320 x 240); and tune.wav, four seconds of a plain melody (8 kHz, 8-bit mono).
The scenes are computed here and written as bitmaps; ImageMagick's `convert` turns two of them
into JPEG and GIF. Running the script again gives the same pictures.

    python3 make_show.py [FOLDER]      (default: beside this script)
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave


def write_bmp24(path, width, height, pixel):
    row = (width * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_bmp8(path, width, height, palette, index):
    row = (width + 3) // 4 * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytes(index(x, y) for x in range(width))
        data += line + bytes(row - len(line))
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 54 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 2835, 2835,
                       len(palette), 0)
    with open(path, "wb") as f:
        f.write(header + info + colours + data)


def dawn(x, y):  # a warm sky, a sun on the horizon, dark water below
    if y < 260:
        t = y / 260
        r, g, b = 40 + 215 * t, 60 + 120 * t, 140 - 60 * t
        d = math.hypot(x - 420, y - 260)
        if d < 60:
            r, g, b = 255, 230, 150
        elif d < 160:
            glow = (160 - d) / 100
            r, g, b = r + (255 - r) * glow * 0.6, g + (200 - g) * glow * 0.6, b
        return int(r), int(g), int(b)
    t = (y - 260) / 140
    shimmer = 40 if abs(x - 420) < 40 - 20 * t and (y // 4) % 2 == 0 else 0
    return int(30 + shimmer * 5), int(40 + shimmer * 4), int(80 - 40 * t + shimmer)


def lake(x, y):  # blue rings on a pale ground
    d = math.hypot(x - 200, y - 200)
    band = int(d / 16) % 2
    return (180, 210, 240) if band else (30, 90, 170)


def night_palette():
    sky = [(0, 0, int(20 + 60 * i / 63)) for i in range(64)]
    return sky + [(240, 240, 200), (20, 30, 20)]


def night(x, y):  # a dark gradient, a moon and a ridge
    if y > 190 + 20 * math.sin(x / 30):
        return 65
    if math.hypot(x - 250, y - 60) < 25:
        return 64
    return min(63, y * 64 // 240)


def tune(path):
    rate, notes = 8000, [392, 440, 494, 523, 494, 440, 392, 330]
    frames = bytearray()
    for note in notes:
        for i in range(rate // 2):
            fade = min(1.0, (rate // 2 - i) / 400)
            frames.append(int(128 + 60 * fade * math.sin(2 * math.pi * note * i / rate)))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(1)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "dawn.bmp")
        write_bmp24(source, 640, 400, dawn)
        subprocess.run(["convert", source, "-strip", "-quality", "85",
                        os.path.join(folder, "01-dawn.jpg")], check=True)
        source = os.path.join(scratch, "lake.bmp")
        write_bmp24(source, 400, 400, lake)
        subprocess.run(["convert", source, "-strip", os.path.join(folder, "02-lake.gif")],
                       check=True)
    write_bmp8(os.path.join(folder, "03-night.bmp"), 320, 240, night_palette(), night)
    tune(os.path.join(folder, "tune.wav"))


if __name__ == "__main__":
    main()
