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
stroke("arrow_right.png", 8, 12, [(2, 2), (6, 6), (2, 10)], 1.8, (0x8A, 0x91, 0x9E))
stroke("check.png", 16, 16, [(3.5, 8.5), (6.5, 11.5), (12.5, 4.5)], 2.0, (0xFF, 0xFF, 0xFF))


# Pictures the program names by path: the window background the skin picker
# resets to, the palette's multicolour swatch and the resolution sliders'
# thumbs (accent for the active stage, grey for the others).
import colorsys
import os

SKIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def disc(path, size, rgb, ring):
    pixels = []
    c = size / 2
    for y in range(size):
        for x in range(size):
            hits = inner = 0
            for sy in range(4):
                for sx in range(4):
                    d = math.hypot(x + (sx + 0.5) / 4 - c, y + (sy + 0.5) / 4 - c)
                    hits += d <= c - 0.5
                    inner += d <= c - 0.5 - ring
            a = hits / 16
            # A light rim round a filled centre.
            mix = inner / hits if hits else 0
            col = [round(v * mix + 0xE3 * (1 - mix)) for v in rgb]
            pixels += [*col, round(255 * a)]
    png(path, size, size, pixels)


def background(path, w, h):
    pixels = []
    for y in range(h):
        for x in range(w):
            # A calm diagonal fall from the window colour to darker, with a
            # faint grid.
            t = (x / w + y / h) / 2
            base = [0x1B, 0x1E, 0x24]
            col = [round(v * (1 - 0.35 * t)) for v in base]
            if x % 40 == 0 or y % 40 == 0:
                col = [v + 6 for v in col]
            pixels += [*col, 255]
    png(path, w, h, pixels)


def hues(path, w, h):
    pixels = []
    for y in range(h):
        for x in range(w):
            r, g, b = colorsys.hsv_to_rgb(x / w, 1.0, 1.0)
            pixels += [round(r * 255), round(g * 255), round(b * 255), 255]
    png(path, w, h, pixels)


def mouse_body(path, w, h):
    # The mouse seen from above: an oval body with a light rim, the two
    # main buttons split by a line down its top third.
    pixels = []
    cx, cy, a, b = w / 2, h / 2, w / 2 - 1, h / 2 - 1
    for y in range(h):
        for x in range(w):
            hits = inner = 0
            for sy in range(3):
                for sx in range(3):
                    px, py = x + (sx + 0.5) / 3, y + (sy + 0.5) / 3
                    e = ((px - cx) / a) ** 2 + ((py - cy) / b) ** 2
                    hits += e <= 1
                    inner += ((px - cx) / (a - 2)) ** 2 + ((py - cy) / (b - 2)) ** 2 <= 1
            alpha = hits / 9
            rim = 1 - (inner / hits if hits else 0)
            line = abs(x + 0.5 - cx) < 1 and y < h * 0.34
            col = [0x3A, 0x41, 0x50] if rim > 0.5 or line else [0x22, 0x26, 0x2E]
            pixels += [*col, round(255 * alpha)]
    png(path, w, h, pixels)


os.makedirs(os.path.join(SKIN, "common"), exist_ok=True)
os.makedirs(os.path.join(SKIN, "Control"), exist_ok=True)
background(os.path.join(SKIN, "common", "background.png"), 400, 256)
hues(os.path.join(SKIN, "common", "base1.png"), 96, 24)
disc(os.path.join(SKIN, "Control", "SliderBar1_Thumb.png"), 16, (0x2E, 0x9B, 0xFF), 1.5)
disc(os.path.join(SKIN, "Control", "SliderBar2_Thumb.png"), 16, (0x5C, 0x63, 0x70), 1.5)
mouse_body(os.path.join(SKIN, "common", "mouse_body.png"), 170, 240)
