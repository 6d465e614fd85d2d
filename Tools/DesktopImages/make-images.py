#!/usr/bin/env python3
"""Paints the desktop program's own pictures into Resources/ (run it again
after changing it; the PNG files are not edited by hand):

  Images/Desktop.png      the desktop picture ("background-image")
  app.png                 the application icon
  Images/Preferences.png  the preferences icon
  Images/Mail.png         the mail icon
  Images/clear.png        the button that clears a hot key

Pure Python (zlib), so that it runs wherever the build does.
Usage: make-images.py <Resources folder>
"""
import math
import struct
import sys
import zlib
from pathlib import Path


def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a), 0..255 each."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(max(0, min(255, int(round(c)))) for c in pixel(x, y)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(png)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def desktop(x, y, w=1920, h=1200):
    # A deep blue sky, lighter towards the top left, crossed by two soft
    # bands of lighter blue.
    t = (y / h) * 0.75 + (x / w) * 0.25
    base = mix((96, 170, 230), (10, 52, 120), t)
    band = 0.0
    for phase, height, width in ((0.0, 0.58, 0.07), (1.7, 0.68, 0.05)):
        centre = height + 0.08 * math.sin(x / w * math.pi * 2 + phase)
        band += math.exp(-(((y / h) - centre) / width) ** 2) * 0.35
    colour = mix(base, (180, 225, 250), min(band, 0.6))
    return (*colour, 255)


def rounded_rect_coverage(x, y, left, top, right, bottom, radius):
    """Coverage of pixel (x, y) by a rounded rectangle, 4x4 samples."""
    inside = 0
    for sy in range(4):
        for sx in range(4):
            px, py = x + (sx + 0.5) / 4, y + (sy + 0.5) / 4
            cx = min(max(px, left + radius), right - radius)
            cy = min(max(py, top + radius), bottom - radius)
            if left <= px <= right and top <= py <= bottom and (px - cx) ** 2 + (py - cy) ** 2 <= radius**2:
                inside += 1
    return inside / 16


def over(top, bottom):
    a = top[3] / 255
    out_a = a + bottom[3] / 255 * (1 - a)
    if out_a == 0:
        return (0, 0, 0, 0)
    rgb = [(top[i] * a + bottom[i] * bottom[3] / 255 * (1 - a)) / out_a for i in range(3)]
    return (*rgb, out_a * 255)


def card_icon(size, body, accent, mark):
    """A tilted stack of two cards, the front one with a mark drawn by `mark`."""

    def pixel(x, y):
        u, v = x / size, y / size
        colour = (0, 0, 0, 0)
        back = rounded_rect_coverage(x, y, size * 0.20, size * 0.10, size * 0.92, size * 0.78, size * 0.08)
        colour = over((*mix(body, (255, 255, 255), 0.4), 255 * back), colour)
        front = rounded_rect_coverage(x, y, size * 0.08, size * 0.22, size * 0.80, size * 0.90, size * 0.08)
        colour = over((*mix(body, (0, 0, 0), v * 0.25), 255 * front), colour)
        if front > 0:
            m = mark(u, v)
            if m > 0:
                colour = over((*accent, 255 * m * front), colour)
        return colour

    return pixel


def lines_mark(u, v):
    for row in (0.40, 0.55, 0.70):
        if abs(v - row) < 0.025 and 0.18 <= u <= 0.70:
            return 1.0
    return 0.0


def gear_mark(u, v):
    cx, cy = 0.44, 0.56
    r = math.hypot(u - cx, v - cy)
    angle = math.atan2(v - cy, u - cx)
    outer = 0.22 + 0.04 * (1 if math.cos(angle * 8) > 0 else -1)
    return 1.0 if 0.08 < r < outer else 0.0


def envelope_mark(u, v):
    if not (0.18 <= u <= 0.70 and 0.38 <= v <= 0.76):
        return 0.0
    edge = min(u - 0.18, 0.70 - u, v - 0.38, 0.76 - v) < 0.025
    fold = abs((v - 0.38) - 0.7 * min(u - 0.18, 0.70 - u)) < 0.025
    return 1.0 if edge or fold else 0.0


def clear_button(size):
    def pixel(x, y):
        cx = cy = size / 2
        inside = 0
        cross = 0
        for sy in range(4):
            for sx in range(4):
                px, py = x + (sx + 0.5) / 4, y + (sy + 0.5) / 4
                if math.hypot(px - cx, py - cy) <= size / 2 - 0.5:
                    inside += 1
                    dx, dy = px - cx, py - cy
                    if max(abs(dx), abs(dy)) < size * 0.26 and min(abs(dx - dy), abs(dx + dy)) < size * 0.09:
                        cross += 1
        grey = (150, 150, 150, 255 * inside / 16)
        return over((255, 255, 255, 255 * cross / 16), grey)

    return pixel


def main():
    resources = Path(sys.argv[1])
    write_png(resources / "Images/Desktop.png", 1920, 1200, desktop)
    write_png(resources / "app.png", 128, 128, card_icon(128, (250, 214, 90), (120, 90, 20), lines_mark))
    write_png(resources / "Images/Preferences.png", 64, 64, card_icon(64, (200, 205, 215), (80, 85, 95), gear_mark))
    write_png(resources / "Images/Mail.png", 64, 64, card_icon(64, (150, 200, 245), (30, 70, 130), envelope_mark))
    write_png(resources / "Images/clear.png", 14, 14, clear_button(14))


if __name__ == "__main__":
    main()
