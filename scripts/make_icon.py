#!/usr/bin/env python3
"""Draws the Kilna icon (a glowing kiln arch on a rounded tile) into a
multi-size .ico with 32-bit DIB images. Run: scripts/make_icon.py runner/kilna.ico"""
import math
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 128)
SUPERSAMPLE = 4


def coverage_tile(x, y, n):
    # Rounded square tile with a 20% corner radius, 1/16 margin.
    m = n / 16.0
    r = n * 0.2
    lo, hi = m, n - m
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return math.hypot(x - cx, y - cy) <= r and lo <= x <= hi and lo <= y <= hi


def inside_arch(x, y, n, shrink):
    # Kiln arch: a half disc on top of a rectangle, open at the bottom.
    w = n * (0.50 - shrink)
    left, right = (n - w) / 2, (n + w) / 2
    top, bottom = n * (0.30 + shrink), n * (0.78 - shrink * 0.3)
    radius = w / 2
    centre_y = top + radius
    if y < top or y > bottom or x < left or x > right:
        return False
    if y < centre_y:
        return math.hypot(x - n / 2, y - centre_y) <= radius
    return True


def pixel(n, px, py):
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SUPERSAMPLE):
        for sx in range(SUPERSAMPLE):
            x = px + (sx + 0.5) / SUPERSAMPLE
            y = py + (sy + 0.5) / SUPERSAMPLE
            if not coverage_tile(x, y, n):
                continue
            t = y / n
            colour = (28 + 20 * t, 44 + 30 * t, 72 + 40 * t)  # deep slate tile
            if inside_arch(x, y, n, 0.0) and not inside_arch(x, y, n, 0.085):
                colour = (245, 240, 232)  # arch rim
            elif inside_arch(x, y, n, 0.085):
                glow = max(0.0, 1.0 - (y / n - 0.45) * 1.6)
                colour = (255, 120 + 90 * (1 - glow), 30 + 20 * glow)  # fire
            acc[0] += colour[0]
            acc[1] += colour[1]
            acc[2] += colour[2]
            acc[3] += 255
    samples = SUPERSAMPLE * SUPERSAMPLE
    a = acc[3] / samples
    if a == 0:
        return (0, 0, 0, 0)
    covered = acc[3] / 255
    return tuple(int(round(c / covered)) for c in acc[:3]) + (int(round(a)),)


def dib(n):
    rows = []
    for py in reversed(range(n)):  # bottom-up
        row = bytearray()
        for px in range(n):
            r, g, b, a = pixel(n, px, py)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask_stride = ((n + 31) // 32) * 4
    mask = bytes(mask_stride * n)  # alpha decides; AND mask all opaque
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main(path):
    images = [dib(n) for n in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
