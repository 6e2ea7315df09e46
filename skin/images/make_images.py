#!/usr/bin/env python3
"""Draws the style sheet's small glyphs as PNG files (run from this folder)."""
import math
import struct
import zlib


def png(path, w, h, pixels):
    raw = b"".join(b"\x00" + bytes(pixels[y * w * 4:(y + 1) * w * 4]) for y in range(h))

    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def stroke(path, w, h, points, width, rgb, ss=4):
    pixels = []
    for y in range(h):
        for x in range(w):
            hits = 0
            for sy in range(ss):
                for sx in range(ss):
                    px, py = x + (sx + 0.5) / ss, y + (sy + 0.5) / ss
                    d = min(seg_dist(px, py, *points[i], *points[i + 1]) for i in range(len(points) - 1))
                    hits += d <= width / 2
            pixels += [*rgb, round(255 * hits / (ss * ss))]
    png(path, w, h, pixels)


stroke("arrow_down.png", 12, 8, [(2, 2), (6, 6), (10, 2)], 1.8, (0x8A, 0x91, 0x9E))
stroke("arrow_down_hot.png", 12, 8, [(2, 2), (6, 6), (10, 2)], 1.8, (0xE3, 0xE6, 0xEB))
stroke("check.png", 16, 16, [(3.5, 8.5), (6.5, 11.5), (12.5, 4.5)], 2.0, (0xFF, 0xFF, 0xFF))
