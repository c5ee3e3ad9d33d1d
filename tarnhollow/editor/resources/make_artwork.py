#!/usr/bin/env python3
"""Draws Tarnhollow's artwork: the application icon (PNG, several sizes) and the default boot
logo (a 160 x 160 one-bit BMP).  Run from this folder; the outputs are committed."""
import math
import struct
import zlib

# ---- shapes on a 256 x 256 canvas (icon) ---------------------------------------------------


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def rgba(hex_colour, alpha=255):
    return (int(hex_colour[1:3], 16), int(hex_colour[3:5], 16), int(hex_colour[5:7], 16), alpha)


ICON = [
    (rounded_rect(48, 12, 208, 244, 30), rgba("#26313c")),        # body edge
    (rounded_rect(54, 18, 202, 238, 25), rgba("#41566a")),        # body
    (rounded_rect(72, 38, 184, 154, 8), rgba("#1e272f")),         # screen bezel
    (rounded_rect(78, 44, 178, 148, 4), rgba("#bcd3a2")),         # screen
    (rounded_rect(98, 96, 158, 138, 3), rgba("#2c3a2a")),         # flash chip
]
for pin in range(5):                                              # chip pins
    py = 100 + pin * 8
    ICON.append((rounded_rect(90, py, 98, py + 4, 1), rgba("#2c3a2a")))
    ICON.append((rounded_rect(158, py, 166, py + 4, 1), rgba("#2c3a2a")))
ICON += [
    (rounded_rect(118, 52, 138, 76, 2), rgba("#e2782a")),         # arrow shaft
    (polygon([(102, 74), (154, 74), (128, 98)]), rgba("#e2782a")),  # arrow head
    (rounded_rect(72, 164, 184, 186, 6), rgba("#2f3f4e")),        # writing area
]
for bx in (86, 114, 142, 170):                                    # buttons
    ICON.append((circle(bx, 212, 11), rgba("#93a8bb")))


def render(shapes, size, canvas=256, samples=4):
    scale = canvas / size
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for inside, fill in shapes:
                        if inside(x, y):
                            colour = fill
                    if colour:
                        a = colour[3]
                        acc[0] += colour[0] * a
                        acc[1] += colour[1] * a
                        acc[2] += colour[2] * a
                        acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                            round(acc[2] / acc[3]), round(alpha)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def write_png(path, pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


# ---- the default boot logo, 160 x 160, one bit -----------------------------------------------

FONT = {  # 5 x 7 capitals, one string per row
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    " ": ["00000"] * 7,
}


def logo():
    size = 160
    black = [[False] * size for _ in range(size)]

    def put(x, y, on=True):
        if 0 <= x < size and 0 <= y < size:
            black[y][x] = on

    def fill(inside, on=True):
        for y in range(size):
            for x in range(size):
                if inside(x + 0.5, y + 0.5):
                    black[y][x] = on

    def text(words, top, scale):
        width = len(words) * 6 * scale - scale
        left = (size - width) // 2
        for i, ch in enumerate(words):
            for gy, row in enumerate(FONT[ch]):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        for dy in range(scale):
                            for dx in range(scale):
                                put(left + i * 6 * scale + gx * scale + dx, top + gy * scale + dy)

    fill(rounded_rect(3, 3, 157, 157, 10))                          # frame
    fill(rounded_rect(6, 6, 154, 154, 8), False)
    fill(circle(120, 34, 11))                                       # sun
    fill(circle(120, 34, 8), False)
    fill(polygon([(10, 92), (52, 34), (76, 62), (98, 42), (150, 92)]))  # hills
    fill(polygon([(52, 34), (44, 45), (50, 42), (56, 47), (60, 40)]), False)  # snow
    fill(polygon([(98, 42), (91, 50), (97, 48), (102, 52), (105, 48)]), False)
    lake = lambda x, y: ((x - 80) / 58) ** 2 + ((y - 92) / 11) ** 2 <= 1  # the tarn
    fill(lake, False)
    for y in range(size):
        for x in range(size):
            if lake(x + 0.5, y + 0.5) and not lake(x + 1.5, y + 0.5) or \
               lake(x + 0.5, y + 0.5) and not lake(x - 0.5, y + 0.5) or \
               lake(x + 0.5, y + 0.5) and not lake(x + 0.5, y + 1.5):
                black[y][x] = True
    for wave_y, x0, x1 in ((88, 46, 70), (92, 84, 112), (97, 58, 90)):
        for x in range(x0, x1):
            put(x, wave_y + round(math.sin(x / 2.5)))
    text("TARNHOLLOW", 114, 2)
    text("FLASH INSTALL", 138, 1)
    return black


def write_bmp(path, black):
    size = len(black)
    stride = (size + 31) // 32 * 4
    rows = b""
    for y in reversed(range(size)):  # bottom-up
        row = bytearray(stride)
        for x in range(size):
            if not black[y][x]:  # index 1 is white
                row[x // 8] |= 0x80 >> (x % 8)
        rows += bytes(row)
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 1, 0, len(rows), 2835, 2835, 2, 2)
    with open(path, "wb") as out:
        out.write(header + info + palette + rows)


if __name__ == "__main__":
    for icon_size in (32, 48, 64, 128, 256):
        write_png(f"../icons/tarnhollow-{icon_size}.png", render(ICON, icon_size))
    write_bmp("default_logo.bmp", logo())
