#!/usr/bin/env python3
"""Draws the program's own artwork and writes it beside this script:
logo.png (252 x 50 RGBA, Adam7-interlaced), banner.png (525 x 127 RGB), each
also drawn at 1.5 and 2 times that size for screens of 144 and 192 DPI
(logo-150.png, logo-200.png, banner-150.png, banner-200.png), brimlow.ico
(window icon) and tray.ico (notification-area icon), each with the sizes
those screens ask for. Run it again after changing a drawing; its output is
committed."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# A 5 x 7 pixel font for the few letters the artwork needs.
FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'K': ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'W': ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    'Y': ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    '!': ["00100", "00100", "00100", "00100", "00100", "00000", "00100"],
    ' ': ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, rgba=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.pixels = [list(rgba) for _ in range(width * height)]

    def blend(self, x, y, rgba):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return
        p = self.pixels[y * self.width + x]
        a = rgba[3] / 255.0
        out_a = a + p[3] / 255.0 * (1 - a)
        for c in range(3):
            if out_a > 0:
                p[c] = int(round((rgba[c] * a + p[c] * p[3] / 255.0 * (1 - a)) / out_a))
        p[3] = int(round(out_a * 255))

    def rounded_rect(self, x0, y0, x1, y1, radius, colour_at):
        for y in range(y0, y1):
            for x in range(x0, x1):
                dx = max(x0 + radius - x, 0, x - (x1 - 1 - radius))
                dy = max(y0 + radius - y, 0, y - (y1 - 1 - radius))
                if dx * dx + dy * dy <= radius * radius:
                    self.blend(x, y, colour_at(x, y))

    def text(self, x, y, text, scale, rgba):
        """Glyph cells of scale pixels, which may be fractional: each cell
        covers the whole pixels between its rounded edges."""
        for ch in text:
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == '1':
                        for py in range(round(y + gy * scale), round(y + (gy + 1) * scale)):
                            for px in range(round(x + gx * scale), round(x + (gx + 1) * scale)):
                                self.blend(px, py, rgba)
            x += 6 * scale

    def rgba_rows(self):
        return [bytes(v for p in self.pixels[y * self.width:(y + 1) * self.width] for v in p)
                for y in range(self.height)]


def text_width(text, scale):
    return round(len(text) * 6 * scale - scale)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, colour_type, rows, interlaced):
    """rows: one bytes object per row, pixels packed as the colour type says."""
    channels = 4 if colour_type == 6 else 3
    raw = bytearray()
    if interlaced:
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        for x0, y0, dx, dy in passes:
            for y in range(y0, height, dy):
                line = bytearray()
                for x in range(x0, width, dx):
                    line += rows[y][x * channels:(x + 1) * channels]
                if line:
                    raw += b"\x00" + line
    else:
        for row in rows:
            raw += b"\x00" + row
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 1 if interlaced else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def draw_mark(canvas, x0, y0, size):
    """Two nested photo frames, the smaller one in front: a picture made smaller."""
    big = (40, 110, 200, 255)
    small = (250, 160, 40, 255)
    edge = max(1, size // 16)
    canvas.rounded_rect(x0, y0, x0 + size, y0 + size, max(1, size // 8), lambda x, y: big)
    canvas.rounded_rect(x0 + edge * 2, y0 + edge * 2, x0 + size - edge * 2, y0 + size - edge * 2,
                        max(1, size // 10), lambda x, y: (235, 242, 250, 255))
    s = size // 2
    canvas.rounded_rect(x0 + size - s - edge, y0 + size - s - edge, x0 + size - edge, y0 + size - edge,
                        max(1, size // 12), lambda x, y: small)
    # A mountain inside the big frame.
    for y in range(y0 + size // 3, y0 + size - edge * 2):
        half = (y - (y0 + size // 3)) * 2 // 3
        for x in range(x0 + size // 3 - half, x0 + size // 3 + half):
            if x0 + edge * 2 <= x < x0 + size - edge * 2:
                canvas.blend(x, y, (60, 140, 90, 255))


def logo(k):
    """The logo at k times its 252 x 50 pixels."""
    w, h = round(252 * k), round(50 * k)
    c = Canvas(w, h)
    top, bottom = (52, 120, 210, 255), (24, 70, 150, 255)
    c.rounded_rect(0, 0, w, h, round(12 * k), lambda x, y: mix(top, bottom, y / (h - 1.0)))
    draw_mark(c, round(8 * k), round(7 * k), round(36 * k))
    c.text(round(56 * k), round(11 * k), "BRIMLOW", 4 * k, (255, 255, 255, 255))
    for y in range(round(44 * k), round(45 * k)):
        for x in range(round(56 * k), round(56 * k) + text_width("BRIMLOW", 4 * k)):
            c.blend(x, y, (255, 200, 80, 200))
    return png(w, h, 6, c.rgba_rows(), True)


def banner(k):
    """The banner at k times its 525 x 127 pixels."""
    w, h = round(525 * k), round(127 * k)
    c = Canvas(w, h, (255, 255, 255, 255))
    left, right = (30, 40, 70, 255), (70, 40, 110, 255)
    for y in range(h):
        for x in range(w):
            c.pixels[y * w + x] = list(mix(left, right, x / (w - 1.0)))
    for i in range(7):
        draw_mark(c, round((20 + i * 8) * k), round((20 + i * 8) * k), round((86 - i * 12) * k))
    c.text(round(130 * k), round(22 * k), "GARNOCK", 7 * k, (255, 255, 255, 255))
    c.text(round(132 * k), round(90 * k), "BATCH PHOTOS IN ONE STEP", 2 * k, (255, 210, 120, 255))
    c.rounded_rect(round(436 * k), round(80 * k), round(512 * k), round(110 * k), round(8 * k),
                   lambda x, y: (250, 160, 40, 255))
    c.text(round(449 * k), round(85 * k), "TRY", 3 * k, (30, 40, 70, 255))
    rows = [bytes(v for i, v in enumerate(row) if i % 4 != 3) for row in c.rgba_rows()]
    return png(w, h, 2, rows, False)


def icon(sizes):
    images = []
    for size in sizes:
        c = Canvas(size, size)
        draw_mark(c, 0, 0, size)
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            for x in range(size):
                r, g, b, a = c.pixels[y * size + x]
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        and_mask = bytearray()
        for y in range(size - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(size):
                if c.pixels[y * size + x][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            and_mask += row
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
        images.append((size, header + xor + and_mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def main():
    outputs = {"brimlow.ico": icon([64, 48, 40, 32, 24, 20, 16]), "tray.ico": icon([32, 24, 20, 16])}
    for k, suffix in ((1, ""), (1.5, "-150"), (2, "-200")):
        outputs["logo%s.png" % suffix] = logo(k)
        outputs["banner%s.png" % suffix] = banner(k)
    for name, data in outputs.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
