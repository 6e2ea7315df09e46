#!/usr/bin/env python3
"""Draws the device tile and power panel icons (PNG, stdlib only).

Shapes are signed-distance functions, so edges come out antialiased.
Run from anywhere: writes into skin/common/device_ico/ and skin/power/.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
POWER = os.path.join(HERE, '..', '..', 'power')

GREY = (138, 145, 158)
BLUE = (46, 155, 255)
GREEN = (76, 200, 120)
AMBER = (240, 180, 60)
RED = (230, 80, 90)


def write_png(path, w, h, rgba):
    raw = b''.join(b'\x00' + bytes(rgba[y * w * 4:(y + 1) * w * 4]) for y in range(h))
    def chunk(tag, data):
        return struct.pack('>I', len(data)) + tag + data + struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


# ---- distance functions (negative inside) ----
def rrect(cx, cy, hw, hh, r):
    def d(x, y):
        qx, qy = abs(x - cx) - hw + r, abs(y - cy) - hh + r
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    return d


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    def d(x, y):
        k = math.hypot((x - cx) / rx, (y - cy) / ry)
        return (k - 1) * min(rx, ry)
    return d


def segment(ax, ay, bx, by, r):
    def d(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - r
    return d


def arc(cx, cy, r, a0, a1, width):
    """Ring part from angle a0 to a1 (degrees, 0 = right, counter-clockwise, y up)."""
    def d(x, y):
        ang = math.degrees(math.atan2(-(y - cy), x - cx)) % 360
        lo, hi = a0 % 360, a1 % 360
        inside = lo <= ang <= hi if lo <= hi else (ang >= lo or ang <= hi)
        if inside:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        ends = [(cx + r * math.cos(math.radians(a)), cy - r * math.sin(math.radians(a))) for a in (a0, a1)]
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - width / 2
    return d


def outline(d, width):
    return lambda x, y: abs(d(x, y)) - width / 2


def union(*ds):
    return lambda x, y: min(f(x, y) for f in ds)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [0.0] * (w * h * 4)  # premultiplied

    def fill(self, d, colour, alpha=1.0):
        r, g, b = (c / 255 for c in colour)
        for y in range(self.h):
            for x in range(self.w):
                cov = max(0.0, min(1.0, 0.5 - d(x + 0.5, y + 0.5))) * alpha
                if cov <= 0:
                    continue
                i = (y * self.w + x) * 4
                p = self.px
                p[i] = r * cov + p[i] * (1 - cov)
                p[i + 1] = g * cov + p[i + 1] * (1 - cov)
                p[i + 2] = b * cov + p[i + 2] * (1 - cov)
                p[i + 3] = cov + p[i + 3] * (1 - cov)

    def save(self, path):
        out = []
        for i in range(0, len(self.px), 4):
            a = self.px[i + 3]
            if a <= 0:
                out += [0, 0, 0, 0]
            else:
                out += [round(min(1, self.px[i + k] / a) * 255) for k in range(3)] + [round(a * 255)]
        write_png(path, self.w, self.h, out)


# ---- device shapes on a 48 x 48 field ----
def keyboard():
    body = outline(rrect(24, 25, 20, 11, 3), 2.2)
    keys = []
    for row, (y, n, x0) in enumerate(((19.5, 7, 9.5), (24.5, 6, 12), (29.5, 0, 0))):
        keys += [rrect(x0 + i * 5, y, 1.6, 1.4, 0.6) for i in range(n)]
    keys.append(rrect(24, 30, 9, 1.4, 0.6))
    return union(body, *keys)


def mouse():
    body = outline(ellipse(24, 25, 11, 16), 2.2)
    split = segment(24, 9.5, 24, 20, 1.0)
    wheel = rrect(24, 15.5, 1.6, 3.2, 1.5)
    return union(body, split, wheel)


def hard_pad():
    return union(outline(rrect(24, 25, 20, 13, 2.5), 2.2), segment(8, 34, 40, 34, 1.2), circle(37, 17, 2.2))


def soft_pad():
    body = outline(rrect(24, 25, 20, 13, 6), 2.2)
    waves = [arc(16 + i * 8, 35, 4, 20, 160, 1.6) for i in range(3)]
    return union(body, *waves)


def headset():
    band = arc(24, 26, 15, 0, 180, 2.4)
    cups = union(rrect(9, 30, 3.6, 7, 2), rrect(39, 30, 3.6, 7, 2))
    mic = union(arc(24, 30, 15, 230, 270, 1.6), circle(24, 45, 1.8))
    return union(band, cups, mic)


def hub():
    core = outline(circle(24, 24, 6), 2.2)
    arms = [segment(24 + 6 * math.cos(a), 24 - 6 * math.sin(a), 24 + 16 * math.cos(a), 24 - 16 * math.sin(a), 1.1)
            for a in (math.radians(90), math.radians(210), math.radians(330))]
    tips = [circle(24 + 18 * math.cos(a), 24 - 18 * math.sin(a), 2.6)
            for a in (math.radians(90), math.radians(210), math.radians(330))]
    return union(core, *arms, *tips)


def unknown():
    ring = outline(circle(24, 24, 17), 2.2)
    hook = arc(24, 19, 5.5, -70, 180, 2.4)
    stem = segment(25.9, 24.2, 24, 28, 1.2)
    dot = circle(24, 33, 1.8)
    return union(ring, hook, stem, dot)


def sync_mark(c):
    """A small ring of two arrows at the lower right: synchronised lighting."""
    c.fill(circle(40, 40, 7.5), (21, 23, 28))
    c.fill(union(arc(40, 40, 4.6, 20, 160, 1.5), arc(40, 40, 4.6, 200, 340, 1.5),
                 segment(44.4, 38.6, 45.4, 41.2, 0.9), segment(35.6, 41.4, 34.6, 38.8, 0.9)), GREEN)


DEVICES = {
    'kb': keyboard, 'ms': mouse, 'hard_mp': hard_pad, 'soft_mp': soft_pad,
    'hd': headset, 'hub': hub, 'unknow': unknown,
}


def device_icons():
    for key, shape in DEVICES.items():
        d = shape()
        for state, colour in (('normal', GREY), ('selected', BLUE)):
            for synchro in (False, True):
                c = Canvas(48, 48)
                if state == 'selected':
                    c.fill(rrect(24, 24, 23, 23, 8), BLUE, 0.14)
                c.fill(d, colour)
                if synchro:
                    sync_mark(c)
                name = f'{key}_device_{"synchro_" if synchro else ""}{state}.png'
                c.save(os.path.join(HERE, name))


# ---- power panel images (28 x 16 battery, 20 x 20 phones) ----
def battery(fill_colour, bolt=False, plug=False):
    c = Canvas(28, 16)
    c.fill(outline(rrect(13, 8, 11, 6, 2), 1.4), GREY)
    c.fill(rrect(26, 8, 1.2, 2.6, 0.8), GREY)
    c.fill(rrect(13, 8, 8.6, 3.6, 1), fill_colour)
    if bolt:
        c.fill(union(segment(14.5, 3.5, 11.5, 8.5, 0.9), segment(11.5, 8.5, 15, 8, 0.9),
                     segment(15, 8, 12, 12.5, 0.9)), (21, 23, 28))
    if plug:
        c.fill(union(segment(10, 8, 16, 8, 0.9), segment(11.5, 5.5, 11.5, 10.5, 0.9)), (21, 23, 28))
    return c


def phone(mark):
    c = Canvas(20, 20)
    c.fill(outline(rrect(10, 10, 5.5, 8.5, 1.8), 1.4), GREY)
    c.fill(segment(8.5, 16.2, 11.5, 16.2, 0.6), GREY)
    if mark == 'apple':
        c.fill(union(circle(10, 10.4, 2.4), circle(11.2, 6.8, 0.9)), BLUE)
    elif mark == 'android':
        c.fill(union(arc(10, 10.5, 2.6, 0, 180, 1.2), segment(7.4, 11.2, 12.6, 11.2, 0.7)), GREEN)
    elif mark == 'other':
        c.fill(union(circle(7.6, 10, 0.9), circle(10, 10, 0.9), circle(12.4, 10, 0.9)), AMBER)
    else:
        c.fill(segment(6, 15, 14, 5, 0.8), RED)
    return c


def wireless():
    c = Canvas(20, 20)
    c.fill(union(circle(10, 15, 1.6), arc(10, 15, 5, 50, 130, 1.6), arc(10, 15, 9, 55, 125, 1.6)), BLUE)
    return c


def power_icons():
    os.makedirs(POWER, exist_ok=True)
    battery(GREEN, plug=True).save(os.path.join(POWER, 'powered.png'))
    battery(AMBER, bolt=True).save(os.path.join(POWER, 'powering.png'))
    battery(GREEN).save(os.path.join(POWER, 'power.png'))
    phone('apple').save(os.path.join(POWER, 'Phone_type_iphone.png'))
    phone('android').save(os.path.join(POWER, 'Phone_type_samsung.png'))
    phone('other').save(os.path.join(POWER, 'Phone_type_other.png'))
    phone('none').save(os.path.join(POWER, 'Phone_type_no_device.png'))
    wireless().save(os.path.join(POWER, 'wireless.png'))


if __name__ == '__main__':
    device_icons()
    power_icons()
