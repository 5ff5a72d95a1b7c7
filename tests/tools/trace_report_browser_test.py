#!/usr/bin/env python3
"""The example's report in a real browser: headless Chromium draws its lanes.

Renders the example, takes a screenshot with scripts/lib/page-screenshot.sh
and looks for each lane's marks in it, where the lanes are.
"""

import pathlib
import struct
import subprocess
import sys
import tempfile
import zlib
from collections import Counter

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLE = ROOT / "tools" / "trace_report" / "example.dns-trace.json"

# Colours of the marks: the DNS client's sends, the capture window, the drops.
# The legend below the timeline repeats them in small swatches, so the band is
# the rows where its colour runs wide, and the marks are looked for in the
# lanes next to it: the client's lane just above it, the drops' lane below
# the capture lane's note ("no DNS message for the name").
SENDS, WINDOW, DROPS = (0x25, 0x63, 0xEB), (0xD1, 0xFA, 0xE5), (0xDC, 0x26, 0x26)
CLIENT_LANE_HEIGHT, NOTE_HEIGHT, DROP_LANE_HEIGHT = 86, 22, 42
BAND_ROW = 200  # pixels of the band's colour in one row of the band; a legend swatch has 30

def read_png(data):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks.setdefault(kind, []).append(data[at + 8:at + 8 + length])
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"][0])
    assert depth == 8 and colour in (2, 6) and interlace == 0, "only 8-bit RGB(A) PNG is read here"
    step = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(chunks[b"IDAT"]))
    stride, rows, previous = width * step, [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up, corner = previous[i], previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def main():
    with tempfile.TemporaryDirectory() as folder:
        page, shot = pathlib.Path(folder, "report.html"), pathlib.Path(folder, "report.png")
        subprocess.run([sys.executable, str(ROOT / "tools" / "trace-report"), str(EXAMPLE), "-o", str(page)],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run([str(ROOT / "scripts" / "lib" / "page-screenshot.sh"), str(page), str(shot), "1040", "600"],
                       check=True)
        width, height, rows = read_png(shot.read_bytes())
    def where(colour, top=0, bottom=None):
        return [(x, y) for y, row in enumerate(rows[top:bottom], top) for x, pixel in enumerate(row)
                if pixel == colour]

    failures = []
    wide = Counter(y for _, y in where(WINDOW))
    band = [(x, y) for x, y in where(WINDOW) if wide[y] >= BAND_ROW]
    if len(band) < 5000:
        failures.append(f"capture window: {len(band)} pixel(s) of its band")
    else:
        top, bottom = min(y for _, y in band), max(y for _, y in band)
        print(f"capture window: {len(band)} pixels, rows {top} to {bottom}")
        for name, colour, rows_from, rows_to in (("DNS client sends", SENDS, top - CLIENT_LANE_HEIGHT, top),
                                                  ("drops", DROPS, bottom + NOTE_HEIGHT,
                                                   bottom + NOTE_HEIGHT + DROP_LANE_HEIGHT)):
            found = where(colour, max(rows_from, 0), rows_to)
            print(f"{name}: {len(found)} pixels in rows {rows_from} to {rows_to}")
            if len(found) < 60:  # two marks show well over 60 pixels of their own colour
                failures.append(f"{name}: not drawn in their lane ({len(found)} pixel(s))")
    for failure in failures:
        print(failure)
    print("lanes drawn" if not failures else f"{len(failures)} problem(s) in a {width}x{height} screenshot")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
