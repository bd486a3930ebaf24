#!/usr/bin/env python3
# Draws the Vorn clock-face icon and writes vorn.ico (16, 32 and 48 px, 32-bit BGRA).
# Regenerate with:  python3 resources/draw_icon.py   (standard library only; output is byte-identical every run)
"""Render the application icon without any imaging library.

Every pixel is supersampled on a regular SxS grid; each sample is painted
with opaque shapes (painter's order), and the samples are averaged in
premultiplied form before being turned back into straight alpha, which is
what ICO DIB entries expect.

The ICO holds classic DIB entries (BITMAPINFOHEADER with doubled height,
bottom-up BGRA rows followed by a 1-bit AND mask) rather than PNG entries,
so that windres and every Windows version load it.
"""

import math
import os
import struct
import sys

# The sizes Windows asks for: 16 and 32 px everywhere, 48 px for the large
# icons of Explorer and Programs and Features (9.6 KB of the file).
SIZES = (16, 32, 48)
SUPERSAMPLE = 8

# Colours as (R, G, B).
RIM = (38, 50, 72)
FACE = (250, 250, 246)
TICK = (52, 62, 82)
HAND = (30, 36, 48)
DOT = (196, 40, 36)

# Clock time shown on the icon: 10:10, the classic "smiling" hand pose.
HOUR_ANGLE = math.radians((10 + 10 / 60.0) * 30.0)
MINUTE_ANGLE = math.radians(10 * 6.0)


def _dist_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    if t < 0.0:
        t = 0.0
    elif t > 1.0:
        t = 1.0
    ex, ey = px - (ax + t * dx), py - (ay + t * dy)
    return math.sqrt(ex * ex + ey * ey)


def _geometry(n):
    """Shape list for an n x n icon, in painting order.

    Each shape is (kind, colour, params).  Line widths get a floor so the
    small sizes stay legible instead of fading into grey.
    """
    c = n / 2.0
    radius = n / 2.0 - 0.25
    rim = max(1.25, n * 0.075)
    inner = radius - rim

    shapes = [("disc", RIM, (c, c, radius)), ("disc", FACE, (c, c, inner))]

    for hour in range(12):
        a = math.radians(hour * 30)
        quarter = hour % 3 == 0
        outer_r = inner - max(0.6, n * 0.04)
        length = max(1.6, n * (0.16 if quarter else 0.10))
        width = max(1.0 if quarter else 0.8, n * (0.065 if quarter else 0.035))
        sx, sy = math.sin(a), -math.cos(a)
        # Keep the caps inside the intended span.
        r0 = outer_r - width / 2.0
        r1 = outer_r - length + width / 2.0
        shapes.append(("line", TICK, (c + sx * r0, c + sy * r0,
                                      c + sx * r1, c + sy * r1, width / 2.0)))

    def hand(angle, length, width, tail):
        sx, sy = math.sin(angle), -math.cos(angle)
        return ("line", HAND, (c - sx * tail, c - sy * tail,
                               c + sx * length, c + sy * length, width / 2.0))

    shapes.append(hand(HOUR_ANGLE, inner * 0.52, max(1.5, n * 0.09), n * 0.04))
    shapes.append(hand(MINUTE_ANGLE, inner * 0.80, max(1.1, n * 0.06), n * 0.05))
    shapes.append(("disc", DOT, (c, c, max(1.0, n * 0.055))))
    return shapes


def _inside(shape, x, y):
    kind, _, p = shape
    if kind == "disc":
        dx, dy = x - p[0], y - p[1]
        return dx * dx + dy * dy <= p[2] * p[2]
    return _dist_to_segment(x, y, p[0], p[1], p[2], p[3]) <= p[4]


def render(n, ss=SUPERSAMPLE):
    """Return n*n (b, g, r, a) tuples, top row first, straight alpha."""
    shapes = _geometry(n)
    total = ss * ss
    pixels = []
    for py in range(n):
        for px in range(n):
            sr = sg = sb = hits = 0
            for j in range(ss):
                y = py + (j + 0.5) / ss
                for i in range(ss):
                    x = px + (i + 0.5) / ss
                    colour = None
                    for shape in shapes:
                        if _inside(shape, x, y):
                            colour = shape[1]
                    if colour is not None:
                        sr += colour[0]
                        sg += colour[1]
                        sb += colour[2]
                        hits += 1
            if hits == 0:
                pixels.append((0, 0, 0, 0))
                continue
            # Every painted sample is opaque, so the premultiplied average
            # un-premultiplies to the mean colour of the covered samples.
            a = (hits * 255 + total // 2) // total
            half = hits // 2
            pixels.append(((sb + half) // hits, (sg + half) // hits,
                           (sr + half) // hits, a))
    return pixels


def dib_entry(n, pixels):
    """BITMAPINFOHEADER + bottom-up BGRA rows + 1-bit AND mask."""
    mask_stride = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in range(n - 1, -1, -1):
        line = pixels[row * n:(row + 1) * n]
        for b, g, r, a in line:
            xor += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(line):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def build_ico(sizes=SIZES):
    images = [dib_entry(n, render(n)) for n in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        dim = 0 if n >= 256 else n
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "vorn.ico")
    data = build_ico()
    with open(target, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (target, len(data)))


if __name__ == "__main__":
    main()
