#!/usr/bin/env python3
"""Reads the virtual X server's frame buffer (the XWD file that Xvfb keeps up to date with
-fbdir) and answers the driver's questions about what is on the screen.

  screen.py png FB OUT.png                 the whole screen as a PNG, for a failed run
  screen.py headers FB                     one line "LEFT TOP RIGHT" per list window header
                                           strip (a 16-pixel band of light grey), top first
  screen.py band FB LEFT TOP RIGHT         "START HEIGHT" of the first dark band at or below TOP
  screen.py rows FB LEFT TOP RIGHT H N     N digits, 1 for each inverted (selected) row of
                                           height H from TOP, 0 for a plain one
  screen.py colour FB X Y [X Y...]         "R G B" of the pixel at X Y, one line a point
  screen.py crop FB OUT.png X Y W H        a part of the screen as a PNG
"""
import re
import struct
import sys
import zlib

HEADER_GREY = (187, 187, 187)
HEADER_HEIGHT = 16
MIN_HEADER_WIDTH = 60


class Screen:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        f = struct.unpack(">25I", data[:100])  # the XWD header
        if f[3] != 24 or f[11] != 32:
            sys.exit("screen.py: the X server must run at depth 24 (-screen 0 WxHx24)")
        self.width, self.height, self.stride = f[4], f[5], f[12]
        self.pixels = data[f[0] + f[19] * 12:]  # past the header and its colour map
        self.order = "<" if f[7] == 0 else ">"  # 0: least significant byte first
        self.masks = f[14:17]  # red, green, blue

    def rgb(self, x, y):
        (v,) = struct.unpack_from(self.order + "I", self.pixels, y * self.stride + x * 4)
        return tuple((v & m) >> ((m & -m).bit_length() - 1) for m in self.masks)

    def dark(self, x, y):
        return sum(self.rgb(x, y)) < 3 * 96


def headers(s):
    """Bands of HEADER_GREY at least MIN_HEADER_WIDTH wide and exactly HEADER_HEIGHT high."""
    # A grey has three equal colour bytes, whatever their order; the fourth is padding.
    grey = bytes([HEADER_GREY[0]]) * 3
    run = re.compile(b"(?:" + re.escape(grey) + b"[\\x00-\\xff]){%d}" % MIN_HEADER_WIDTH, re.S)
    found = []
    for y in range(s.height):
        line = s.pixels[y * s.stride : y * s.stride + s.width * 4]
        pos = 0
        while True:
            m = run.search(line, pos)
            if not m:
                break
            at = m.start()
            if at % 4:
                pos = at + 1
                continue
            start, x = at // 4, at // 4 + MIN_HEADER_WIDTH
            while x < s.width and s.rgb(x, y) == HEADER_GREY:
                x += 1
            above = y > 0 and s.rgb(start + 2, y - 1) == HEADER_GREY
            # The column at the band's right end is background for the whole band height;
            # the count text lies at its left.
            column = x - 2
            tall = y + HEADER_HEIGHT < s.height and all(
                s.rgb(column, y + k) == HEADER_GREY for k in range(HEADER_HEIGHT))
            below = tall and s.rgb(column, y + HEADER_HEIGHT) == HEADER_GREY
            if not above and tall and not below:
                found.append((start, y, x))
            pos = x * 4
    return found


def row_dark_fraction(s, left, right, y):
    xs = range(left + 1, left + 1 + max(1, (right - left) * 3 // 5))
    return sum(1 for x in xs if s.dark(x, y)) / len(xs)


def band(s, left, top, right):
    y = top
    while y < s.height and row_dark_fraction(s, left, right, y) <= 0.5:
        y += 1
    start = y
    while y < s.height and row_dark_fraction(s, left, right, y) > 0.5:
        y += 1
    return start, y - start


def rows(s, left, top, right, height, n):
    middles = (top + r * height + height // 2 for r in range(n))
    return "".join("1" if row_dark_fraction(s, left, right, y) > 0.5 else "0" for y in middles)


def png(s, out, left=0, top=0, width=None, height=None):
    width = s.width - left if width is None else width
    height = s.height - top if height is None else height
    raw = bytearray()
    for y in range(top, top + height):
        raw.append(0)
        for x in range(left, left + width):
            raw.extend(s.rgb(x, y))

    def chunk(kind, body):
        c = struct.pack(">I", len(body)) + kind + body
        return c + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    with open(out, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 6)))
        f.write(chunk(b"IEND", b""))


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    what, s = argv[1], Screen(argv[2])
    if what in ("png", "crop"):
        return png(s, argv[3], *[int(a) for a in argv[4:8]])
    args = [int(a) for a in argv[3:]]
    if what == "colour":
        for x, y in zip(args[0::2], args[1::2]):
            print(*s.rgb(x, y))
    elif what == "headers":
        for h in headers(s):
            print(*h)
    elif what == "band":
        print(*band(s, *args))
    elif what == "rows":
        print(rows(s, *args))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
