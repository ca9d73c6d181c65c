#!/usr/bin/env python3
"""Draws the desktop program's icons as PNG files (standard library only).

  res/icons/128.png  application icon: a receiver dish with a signal wave
  res/icons/129.png  lamp: green disc (good)
  res/icons/130.png  lamp: red disc (bad)
  res/icons/134.png  lamp: grey disc (no information)
  res/icons/132.png  key (the "Write decryption key" button)
  packaging/icons/NxN/tavrin_rx_ctrl.png  the application icon at the desktop
                     theme's sizes (16 to 256 pixels), installed into hicolor

Run from the repository root: python3 scripts/make_icons.py
"""
import math
import os
import struct
import zlib


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a)."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def blend(dst, src):
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa / 255.0
    out_a = a + (da / 255.0) * (1 - a)
    if out_a <= 0:
        return (0, 0, 0, 0)

    def mix(s, d):
        return int(round((s * a + d * (da / 255.0) * (1 - a)) / out_a))

    return (mix(sr, dr), mix(sg, dg), mix(sb, db), int(round(out_a * 255)))


def canvas(size):
    return [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]


def coverage(fn, x, y, samples=4):
    """Fraction of the pixel (x, y) inside the shape fn(px, py) -> bool."""
    hit = 0
    for i in range(samples):
        for j in range(samples):
            if fn(x + (i + 0.5) / samples, y + (j + 0.5) / samples):
                hit += 1
    return hit / (samples * samples)


def fill(img, fn, colour_at):
    size = len(img)
    for y in range(size):
        for x in range(size):
            c = coverage(fn, x, y)
            if c > 0:
                r, g, b = colour_at(x + 0.5, y + 0.5)
                img[y][x] = blend(img[y][x], (r, g, b, int(round(255 * c))))


def lamp(size, base, light, dark):
    img = canvas(size)
    cx = cy = size / 2.0
    radius = size / 2.0 - 1.0

    def disc(px, py):
        return (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2

    def ring(px, py):
        d = math.hypot(px - cx, py - cy)
        return radius - 1.2 <= d <= radius

    def shade(px, py):
        # light from the upper left
        d = math.hypot(px - (cx - radius * 0.35), py - (cy - radius * 0.35)) / (radius * 1.6)
        d = min(1.0, d)
        return tuple(int(light[k] * (1 - d) + dark[k] * d) for k in range(3))

    fill(img, disc, shade)
    fill(img, ring, lambda px, py: tuple(int(v * 0.55) for v in base))

    def glint(px, py):
        return (px - (cx - radius * 0.38)) ** 2 / (radius * 0.28) ** 2 + \
               (py - (cy - radius * 0.45)) ** 2 / (radius * 0.18) ** 2 <= 1

    for y in range(size):
        for x in range(size):
            c = coverage(glint, x, y)
            if c > 0:
                img[y][x] = blend(img[y][x], (255, 255, 255, int(150 * c)))
    return img


def app_icon(size):
    img = canvas(size)
    s = size / 32.0
    # rounded dark blue tile
    def tile(px, py):
        r = 5 * s
        x0, y0, x1, y1 = 1 * s, 1 * s, size - 1 * s, size - 1 * s
        qx = min(max(px, x0 + r), x1 - r)
        qy = min(max(py, y0 + r), y1 - r)
        return (px - qx) ** 2 + (py - qy) ** 2 <= r * r

    fill(img, tile, lambda px, py: (int(20 + 30 * py / size), int(50 + 40 * py / size), int(120 + 60 * py / size)))
    # dish: a thick arc opening to the upper right
    cx, cy = 12 * s, 20 * s

    def dish(px, py):
        d = math.hypot(px - cx, py - cy)
        ang = math.atan2(py - cy, px - cx)
        return 8 * s <= d <= 10.5 * s and (ang > math.pi * 0.25 or ang < -math.pi * 0.75)

    fill(img, dish, lambda px, py: (230, 235, 240))
    # feed arm and stand
    def arm(px, py):
        # line from the dish centre towards the upper right
        t = ((px - cx) * 1 + (py - cy) * -1) / 2 ** 0.5
        n = abs((px - cx) * 1 + (py - cy) * 1) / 2 ** 0.5
        return 0 <= t <= 9 * s and n <= 0.9 * s

    fill(img, arm, lambda px, py: (230, 235, 240))

    def stand(px, py):
        return (10 * s <= px <= 14 * s and 24 * s <= py <= 29 * s) or \
               (7 * s <= px <= 17 * s and 27.5 * s <= py <= 29.5 * s)

    fill(img, stand, lambda px, py: (200, 205, 215))
    # signal waves (green arcs) at the upper right
    wx, wy = 19 * s, 13 * s
    for k, rad in enumerate((4 * s, 7 * s, 10 * s)):
        def wave(px, py, rad=rad):
            d = math.hypot(px - wx, py - wy)
            ang = math.atan2(py - wy, px - wx)
            return rad - 0.9 * s <= d <= rad + 0.9 * s and -math.pi * 0.45 <= ang <= -math.pi * 0.05
        fill(img, wave, lambda px, py: (60, 230, 90))
    return img


def key_icon(size):
    img = canvas(size)
    s = size / 32.0
    gold = lambda px, py: (int(235 - 40 * py / size), int(190 - 40 * py / size), 30)
    cx, cy = 10 * s, 16 * s

    def bow(px, py):
        d = math.hypot(px - cx, py - cy)
        return 3 * s <= d <= 7 * s

    def shaft(px, py):
        return 16 * s <= px <= 29 * s and 14.5 * s <= py <= 17.5 * s

    def teeth(px, py):
        return (22 * s <= px <= 24.5 * s and 17 * s <= py <= 22 * s) or \
               (26.5 * s <= px <= 29 * s and 17 * s <= py <= 21 * s)

    def neck(px, py):
        return 16 * s <= px <= 17.2 * s and 14.5 * s <= py <= 17.5 * s or \
               (cx + 6 * s <= px <= 16.5 * s and 14.5 * s <= py <= 17.5 * s)

    for shape in (bow, shaft, teeth, neck):
        fill(img, shape, gold)

    def outline(px, py):
        d = math.hypot(px - cx, py - cy)
        return 6.5 * s <= d <= 7.3 * s

    fill(img, outline, lambda px, py: (120, 90, 10))
    return img


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "icons")
    os.makedirs(root, exist_ok=True)
    write_png(os.path.join(root, "128.png"), 64, 64, app_icon(64))
    write_png(os.path.join(root, "129.png"), 24, 24, lamp(24, (0, 170, 0), (140, 255, 140), (0, 120, 0)))
    write_png(os.path.join(root, "130.png"), 24, 24, lamp(24, (200, 0, 0), (255, 140, 140), (150, 0, 0)))
    write_png(os.path.join(root, "134.png"), 24, 24, lamp(24, (128, 128, 128), (225, 225, 225), (110, 110, 110)))
    write_png(os.path.join(root, "132.png"), 24, 24, key_icon(24))
    themed = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging", "icons")
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        folder = os.path.join(themed, "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, "tavrin_rx_ctrl.png"), size, size, app_icon(size))


if __name__ == "__main__":
    main()
