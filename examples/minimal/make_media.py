#!/usr/bin/env python3
"""Writes the tiny media files of the minimal example. The bytes are fixed (no randomness from
the system), so running it again changes nothing."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


def bmp(width, height, pixel):
    """A 24-bit bottom-up BMP whose colour at (x, y) is pixel(x, y)."""
    row = (width * 3 + 3) & ~3
    body = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        body += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + bytes(body)


def sky(x, y):
    star = (x * 7 + y * 13) % 29 == 0
    return (250, 240, 200) if star else (8, 10, 40 + y)


# Stand-ins for the screen saver program and its data: the installer moves them unread.
write("saver.bin", b"MZ" + b"minimal screen saver placeholder\n" * 8)
write("stub.bin", b"stub data of the screen saver\n")
write("movie.bin", bytes((i * i // 7) & 0xFF for i in range(4096)))
write("zett.bin", b"ZETT settings\n")
write("kmdl.bin", b"KMDL model\n")
write("preview.bmp", bmp(32, 24, sky))
write("readme.txt", "Minimal – a tiny screen saver.\r\n".encode("utf-8"))
# Noise that no coder can shrink: it is stored.
state = 12345
noise = bytearray()
for _ in range(2048):
    state = (state * 1103515245 + 12345) & 0x7FFFFFFF
    noise.append(state >> 16 & 0xFF)
write("noise.dat", bytes(noise))
write("stars.txt", b"Sirius Canopus Arcturus Vega Capella Rigel Procyon\n" * 4)
