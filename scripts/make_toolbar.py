#!/usr/bin/env python3
"""Draws the main window's toolbar buttons, 16 by 15 pixels, as PNG files
(standard library only), one per command id:

  res/toolbar/32771.png  blue letter E                 Engineering
  res/toolbar/32773.png  green letter P with a tick    Enable polling
  res/toolbar/32774.png  red letter P with a cross     Disable polling
  res/toolbar/32776.png  blue letter P beside lines    Edit polling options
  res/toolbar/32775.png  yellow key                    Write decryption key
  res/toolbar/32778.png  red letter R on a blue disc   Restore defaults
  res/toolbar/32780.png  blue trace over a green and red band   Signal history

Run from the repository root: python3 scripts/make_toolbar.py
"""
import os
import struct
import zlib

W, H = 16, 15
CLEAR = (0, 0, 0, 0)
BLUE = (0, 64, 200, 255)
DARK_BLUE = (0, 32, 128, 255)
GREEN = (0, 150, 40, 255)
RED = (210, 20, 20, 255)
DARK = (40, 40, 40, 255)
YELLOW = (240, 200, 0, 255)
OCHRE = (150, 110, 0, 255)
WHITE = (255, 255, 255, 255)

# Letters, '#' = ink; 6 columns by 11 rows.
LETTERS = {
    "E": ["######", "######", "##....", "##....", "#####.", "#####.",
          "##....", "##....", "##....", "######", "######"],
    "P": ["#####.", "######", "##..##", "##..##", "##..##", "######",
          "#####.", "##....", "##....", "##....", "##...."],
    "R": ["#####.", "######", "##..##", "##..##", "######", "#####.",
          "##.##.", "##..##", "##..##", "##..##", "##..##"],
}


def write_png(path, pixels):
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for px in row:
            raw += bytes(px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def blank():
    return [[CLEAR] * W for _ in range(H)]


def put(img, x, y, colour):
    if 0 <= x < W and 0 <= y < H:
        img[y][x] = colour


def letter(img, ch, left, top, colour):
    for dy, row in enumerate(LETTERS[ch]):
        for dx, c in enumerate(row):
            if c == "#":
                put(img, left + dx, top + dy, colour)


def line(img, points, colour):
    for x, y in points:
        put(img, x, y, colour)


def engineering():
    img = blank()
    letter(img, "E", 5, 2, BLUE)
    return img


def enable_polling():
    img = blank()
    letter(img, "P", 1, 1, GREEN)
    # tick, two pixels thick
    for x, y in [(8, 10), (9, 11), (10, 12), (11, 11), (12, 10), (13, 9), (14, 8), (15, 7)]:
        put(img, x, y, GREEN)
        put(img, x, y + 1, GREEN)
    return img


def disable_polling():
    img = blank()
    letter(img, "P", 1, 1, RED)
    for i in range(6):
        put(img, 9 + i, 8 + i, DARK)
        put(img, 10 + i, 8 + i, DARK)
        put(img, 14 - i, 8 + i, DARK)
        put(img, 15 - i, 8 + i, DARK)
    return img


def polling_options():
    img = blank()
    letter(img, "P", 1, 2, BLUE)
    for y in (3, 6, 9, 12):
        line(img, [(x, y) for x in range(9, 16)], DARK)
    return img


def key():
    img = blank()
    # ring of the key
    for y in range(3, 11):
        for x in range(0, 8):
            d = (x - 3.5) ** 2 + (y - 6.5) ** 2
            if d <= 14.0:
                put(img, x, y, OCHRE if d > 8.5 else YELLOW)
    for y in range(6, 8):
        for x in range(2, 4):
            put(img, x, y, CLEAR)
    # shaft and teeth
    for x in range(7, 16):
        put(img, x, 6, YELLOW)
        put(img, x, 7, OCHRE)
    for x, h in ((11, 3), (13, 2), (15, 3)):
        for y in range(8, 8 + h):
            put(img, x, y, OCHRE)
    return img


def restore_defaults():
    img = blank()
    for y in range(H):
        for x in range(W):
            d = (x - 7.5) ** 2 + (y - 7.0) ** 2
            if d <= 7.4 ** 2:
                put(img, x, y, DARK_BLUE if d > 6.4 ** 2 else BLUE)
    # a white shadow one pixel to the right keeps the red letter readable
    letter(img, "R", 6, 2, WHITE)
    letter(img, "R", 5, 2, RED)
    return img


def signal_history():
    img = blank()
    # axes
    line(img, [(1, y) for y in range(1, 12)], DARK)
    line(img, [(x, 11) for x in range(1, 16)], DARK)
    # the trace: rises, dips, rises again
    trace = [(2, 8), (3, 7), (4, 6), (5, 4), (6, 3), (7, 4), (8, 7), (9, 8), (10, 6), (11, 4),
             (12, 3), (13, 2), (14, 2), (15, 3)]
    for x, y in trace:
        put(img, x, y, BLUE)
        put(img, x, y + 1, DARK_BLUE)
    # the lock band under it: green, a red stretch, green
    for x in range(1, 16):
        colour = RED if 7 <= x <= 9 else GREEN
        put(img, x, 13, colour)
        put(img, x, 14, colour)
    return img


BUTTONS = {
    32771: engineering,
    32773: enable_polling,
    32774: disable_polling,
    32776: polling_options,
    32775: key,
    32778: restore_defaults,
    32780: signal_history,
}


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    out = os.path.join(root, "res", "toolbar")
    os.makedirs(out, exist_ok=True)
    for command, draw in BUTTONS.items():
        write_png(os.path.join(out, "%d.png" % command), draw())


if __name__ == "__main__":
    main()
