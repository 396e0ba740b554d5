#!/usr/bin/env python3
"""Draws ZorpLoad's images and writes them as PNG files beside this script.

    logo.png             160 x 46, 16 colours: the logo at the top of the window
    icon_16.png .. 256   the program icon at 16, 24, 32, 48, 64, 128 and 256
                         pixels, RGBA
    zorpload.svg         the program icon as a scalable image, for desktops
                         that draw their launchers larger than 256 pixels
    about_icon.png       32 x 32, 16 colours: the icon of the About box

and, for the Win32 program's resource script, the same images in Windows'
own formats:

    zorpload.ico         the program icon, its four sizes as PNG entries
                         (read by Windows Vista and later; the programs
                         need Windows 7 or later anyway)
    about.ico            the About box icon, 32 x 32, 16 colours
    logo.bmp             the logo, 16 colours (4 bits per pixel)

The images are committed; run this by hand after changing a drawing
(python3 resources/make_images.py). Only the standard library is used.
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette, in its usual order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, RED, LIME, YELLOW, BLUE, FUCHSIA, WHITE = 0, 4, 6, 9, 10, 11, 12, 13, 15


# ------------------------------------------------------------------ PNG --

def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(name, width, height, raw_rows, color_type, bit_depth, palette=None, transparent=None):
    data = b"".join(b"\x00" + row for row in raw_rows)  # filter type 0 on every row
    png = b"\x89PNG\r\n\x1a\n"
    png += _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth, color_type, 0, 0, 0))
    if palette:
        png += _chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if transparent is not None:
        png += _chunk(b"tRNS", bytes(255 if i != transparent else 0 for i in range(transparent + 1)))
    png += _chunk(b"IDAT", zlib.compress(data, 9))
    png += _chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


def write_indexed(name, pixels, transparent=None):
    """pixels: rows of palette indices 0..15, written 4 bits per pixel."""
    width, height = len(pixels[0]), len(pixels)
    rows = []
    for row in pixels:
        padded = row + [0] * (width % 2)
        rows.append(bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2)))
    write_png(name, width, height, rows, 3, 4, PALETTE, transparent)


def write_rgba(name, pixels):
    rows = [bytes(v for px in row for v in px) for row in pixels]
    write_png(name, len(pixels[0]), len(pixels), rows, 6, 8)


# ----------------------------------------------------------------- logo --

FONT = {
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
}


def draw_logo():
    width, height, scale = 160, 46, 3
    img = [[NAVY] * width for _ in range(height)]

    def plot(x, y, colour):
        if 0 <= x < width and 0 <= y < height:
            img[y][x] = colour

    def glyph(ch, x0, y0, colour):
        for gy, line in enumerate(FONT[ch]):
            for gx, cell in enumerate(line):
                if cell == "#":
                    for dy in range(scale):
                        for dx in range(scale):
                            plot(x0 + gx * scale + dx, y0 + gy * scale + dy, colour)

    def line(x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0))
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i // steps
            y = y0 + (y1 - y0) * i // steps
            plot(x, y, colour)
            plot(x, y + 1, colour)

    for x in range(width):  # a teal frame
        plot(x, 0, TEAL)
        plot(x, height - 1, TEAL)
    for y in range(height):
        plot(0, y, TEAL)
        plot(width - 1, y, TEAL)

    text = "ZORPLOAD"
    advance = 5 * scale + 3
    x = (width - (len(text) * advance - 3)) // 2
    for i, ch in enumerate(text):
        colour = YELLOW if i < 4 else WHITE
        glyph(ch, x + 2, 6, BLACK)  # shadow
        glyph(ch, x, 4, colour)
        x += advance

    track = [(8, 40), (30, 31), (52, 38), (74, 30), (96, 41), (118, 33), (140, 38), (152, 31)]
    for (xa, ya), (xb, yb) in zip(track, track[1:]):
        line(xa, ya, xb, yb, LIME)
    for (px, py) in track:
        for dy in range(-1, 2):
            for dx in range(-1, 2):
                plot(px + dx, py + dy, RED)
    return img


# ----------------------------------------------------------------- icon --
# One drawing in unit coordinates, rendered at each size with 8 x 8 samples
# per pixel: a blue tile, a white track and a red location pin; in true
# colour for the program icon, in the 16 colours for the About box.

def _segment_distance(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
    dx, dy = px - (ax + t * vx), py - (ay + t * vy)
    return (dx * dx + dy * dy) ** 0.5


def _in_rounded_square(x, y, inset, radius):
    lo, hi = inset + radius, 1 - inset - radius
    cx, cy = min(max(x, lo), hi), min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius and inset <= x <= 1 - inset and inset <= y <= 1 - inset


def _in_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


TILE_INSET, TILE_RADIUS = 0.03, 0.18
TRACK_HALF_WIDTH = 0.045
TRACK = [(0.14, 0.80), (0.32, 0.64), (0.48, 0.76), (0.66, 0.60)]
PIN_X, PIN_Y, PIN_R, PIN_HOLE_R = 0.64, 0.34, 0.20, 0.075
PIN_TIP = ((PIN_X - 0.17, PIN_Y + 0.10), (PIN_X + 0.17, PIN_Y + 0.10), (PIN_X, 0.62))  # the pin's point, a triangle


def icon_part(x, y):
    """Which part of the drawing lies at (x, y): None outside it."""
    if not _in_rounded_square(x, y, TILE_INSET, TILE_RADIUS):
        return None
    if (x - PIN_X) ** 2 + (y - PIN_Y) ** 2 <= PIN_HOLE_R ** 2:
        return "pin hole"
    in_head = (x - PIN_X) ** 2 + (y - PIN_Y) ** 2 <= PIN_R ** 2
    if in_head or _in_triangle(x, y, *PIN_TIP):
        return "pin"
    if any(_segment_distance(x, y, *a, *b) <= TRACK_HALF_WIDTH for a, b in zip(TRACK, TRACK[1:])):
        return "track"
    return "tile"


def true_colour(part, y):
    if part == "tile":  # a vertical blue gradient
        return (30 + int(20 * y), 64 + int(90 * y), 150 + int(90 * y))
    return {"pin": (220, 38, 38), "pin hole": (255, 255, 255), "track": (255, 255, 255)}[part]


def write_svg(name):
    """The same drawing as icon_part, as SVG shapes in 100 x 100 units,
    painted over each other in the order tile, track, pin, pin hole."""
    def u(v):
        return "%g" % round(v * 100, 2)
    top, bottom = true_colour("tile", 0.0), true_colour("tile", 1.0)
    points = " ".join("%s,%s" % (u(x), u(y)) for x, y in TRACK)
    lines = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 100 100">',
        '  <title>ZorpLoad</title>',
        '  <defs>',
        '    <linearGradient id="tile" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="0" y2="100">',
        '      <stop offset="0" stop-color="#%02x%02x%02x"/>' % top,
        '      <stop offset="1" stop-color="#%02x%02x%02x"/>' % bottom,
        '    </linearGradient>',
        '  </defs>',
        '  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="url(#tile)"/>'
        % (u(TILE_INSET), u(TILE_INSET), u(1 - 2 * TILE_INSET), u(1 - 2 * TILE_INSET), u(TILE_RADIUS)),
        '  <polyline points="%s" fill="none" stroke="#ffffff" stroke-width="%s" '
        'stroke-linecap="round" stroke-linejoin="round"/>' % (points, u(2 * TRACK_HALF_WIDTH)),
        '  <g fill="#%02x%02x%02x">' % true_colour("pin", 0.0),
        '    <circle cx="%s" cy="%s" r="%s"/>' % (u(PIN_X), u(PIN_Y), u(PIN_R)),
        '    <polygon points="%s"/>' % " ".join("%s,%s" % (u(x), u(y)) for x, y in PIN_TIP),
        '  </g>',
        '  <circle cx="%s" cy="%s" r="%s" fill="#ffffff"/>' % (u(PIN_X), u(PIN_Y), u(PIN_HOLE_R)),
        '</svg>',
    ]
    with open(os.path.join(HERE, name), "w") as f:
        f.write("\n".join(lines) + "\n")


def palette_colour(part, y):
    if part == "tile":
        return NAVY if y < 0.55 else BLUE
    return {"pin": RED, "pin hole": WHITE, "track": WHITE}[part]


def _samples(px, py, size, samples):
    for sy in range(samples):
        for sx in range(samples):
            x, y = (px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size
            yield icon_part(x, y), y


def render_icon(size, samples=8):
    """RGBA pixels, each the average of its samples."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc, covered = [0, 0, 0], 0
            for part, y in _samples(px, py, size, samples):
                if part:
                    colour = true_colour(part, y)
                    acc = [acc[k] + colour[k] for k in range(3)]
                    covered += 1
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(a // covered for a in acc) + (255 * covered // (samples * samples),))
        pixels.append(row)
    return pixels


def render_icon_indexed(size, samples=8):
    """Palette indices, each the colour most of its samples fall on;
    FUCHSIA where most fall outside the drawing."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            votes = {}
            for part, y in _samples(px, py, size, samples):
                index = palette_colour(part, y) if part else FUCHSIA
                votes[index] = votes.get(index, 0) + 1
            row.append(max(votes, key=votes.get))
        pixels.append(row)
    return pixels


# ------------------------------------------------------ Windows formats --

def _dib_palette():
    return b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)


def _dib_4bit_rows(pixels):
    """Bottom-up rows of palette indices, 4 bits per pixel, padded to 4 bytes."""
    rows = []
    for row in reversed(pixels):
        padded = row + [0] * (len(row) % 2)
        data = bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2))
        rows.append(data + b"\0" * (-len(data) % 4))
    return b"".join(rows)


def _info_header(width, height, bits, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colours, 0)


def write_bmp(name, pixels):
    width, height = len(pixels[0]), len(pixels)
    image = _dib_4bit_rows(pixels)
    offset = 14 + 40 + 64
    data = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    data += _info_header(width, height, 4, len(image), 16) + _dib_palette() + image
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def write_ico(name, entries):
    """entries: (size, colour count, bits per pixel, image data) each."""
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    directory, images = b"", b""
    for size, colours, bits, image in entries:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(image),
                                 offset + len(images))
        images += image
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + directory + images)


def png_bytes(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def ico_4bit_image(pixels, transparent):
    """A 16-colour icon image: the colours, then the mask of the
    transparent pixels (drawn black in the colours)."""
    size = len(pixels)
    colours = [[0 if i == transparent else i for i in row] for row in pixels]
    mask = b""
    for row in reversed(pixels):
        bits = 0
        for i in row:
            bits = (bits << 1) | (i == transparent)
        line = bits.to_bytes(size // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)
    xor = _dib_4bit_rows(colours)
    return _info_header(size, size * 2, 4, len(xor) + len(mask), 16) + _dib_palette() + xor + mask


ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def main():
    logo = draw_logo()
    write_indexed("logo.png", logo)
    write_bmp("logo.bmp", logo)
    for size in ICON_SIZES:
        write_rgba("icon_%d.png" % size, render_icon(size))
    write_svg("zorpload.svg")
    write_ico("zorpload.ico", [(size, 0, 32, png_bytes("icon_%d.png" % size)) for size in (48, 32, 24, 16)])
    about = render_icon_indexed(32)
    write_indexed("about_icon.png", about, transparent=FUCHSIA)
    write_ico("about.ico", [(32, 16, 4, ico_4bit_image(about, FUCHSIA))])


if __name__ == "__main__":
    main()
