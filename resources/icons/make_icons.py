#!/usr/bin/env python3
"""Writes the dialog's pictures as SVG, pixel by pixel in the 16-colour palette.

Run from anywhere; the SVG files land beside this script and are compiled into the program.
Every picture is drawn on a pixel grid with crisp edges, so it renders the same at its own size.
"""
import os
import re
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The classic 16-colour palette.
BLACK, MAROON, GREEN, OLIVE = "#000000", "#800000", "#008000", "#808000"
NAVY, PURPLE, TEAL, SILVER = "#000080", "#800080", "#008080", "#c0c0c0"
GRAY, RED, LIME, YELLOW = "#808080", "#ff0000", "#00ff00", "#ffff00"
BLUE, FUCHSIA, AQUA, WHITE = "#0000ff", "#ff00ff", "#00ffff", "#ffffff"


class Picture:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.shapes = []

    def rect(self, x, y, w, h, colour):
        self.shapes.append(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="{colour}"/>')

    def pixel(self, x, y, colour):
        self.rect(x, y, 1, 1, colour)

    def frame(self, x, y, w, h, colour):
        """A one-pixel outline."""
        self.rect(x, y, w, 1, colour)
        self.rect(x, y + h - 1, w, 1, colour)
        self.rect(x, y, 1, h, colour)
        self.rect(x + w - 1, y, 1, h, colour)

    def svg(self):
        body = "\n  ".join(self.shapes)
        return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{self.width}" '
                f'height="{self.height}" viewBox="0 0 {self.width} {self.height}" '
                f'shape-rendering="crispEdges">\n  {body}\n</svg>\n')

    def save(self, name):
        write(name, self.svg())

    def png(self, scale=1):
        """The picture as an RGBA PNG, each pixel a scale x scale square (no smoothing)."""
        grid = [[None] * self.width for _ in range(self.height)]
        for shape in self.shapes:
            x, y, w, h, colour = re.match(
                r'<rect x="(\d+)" y="(\d+)" width="(\d+)" height="(\d+)" fill="([^"]+)"/>',
                shape).groups()
            if colour == "none":
                continue
            rgba = bytes.fromhex(colour[1:]) + b"\xff"
            for row in range(int(y), int(y) + int(h)):
                for col in range(int(x), int(x) + int(w)):
                    grid[row][col] = rgba
        rows = b""
        for line in grid:
            pixels = b"".join((c or b"\0\0\0\0") * scale for c in line)
            rows += (b"\0" + pixels) * scale
        return _png(self.width * scale, self.height * scale, rows)


def _png(width, height, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def write(name, data):
    path = os.path.join(HERE, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


def desktop_icons(name, small, big):
    """The hicolor theme's sizes: pixel-exact multiples of the 16 and 32 pixel drawings."""
    for size, picture, scale in ((16, small, 1), (32, big, 1), (48, small, 3),
                                 (64, big, 2), (128, big, 4)):
        write(f"hicolor/{size}x{size}/{name}.png", picture.png(scale))
    write(f"hicolor/scalable/{name}.svg", big.svg())


def diskette(p, x, y, scale=1):
    """A 3.5-inch diskette, 16 x 16 pixels at scale 1."""
    s = scale
    p.rect(x, y, 15 * s, 16 * s, NAVY)
    p.rect(x + 15 * s, y + 1 * s, 1 * s, 15 * s, NAVY)  # the clipped top-right corner
    p.rect(x + 4 * s, y, 8 * s, 6 * s, SILVER)          # shutter
    p.rect(x + 9 * s, y + 1 * s, 2 * s, 4 * s, NAVY)    # shutter window
    p.rect(x + 3 * s, y + 8 * s, 10 * s, 8 * s, WHITE)  # label
    p.rect(x + 4 * s, y + 10 * s, 8 * s, 1 * s, GRAY)
    p.rect(x + 4 * s, y + 12 * s, 8 * s, 1 * s, GRAY)
    p.rect(x + 1 * s, y + 14 * s, 1 * s, 1 * s, BLACK)  # write-protect hole


def document(p, x, y):
    """An image file: a page with a folded corner, 13 x 16 pixels."""
    p.rect(x + 1, y, 8, 16, WHITE)
    p.rect(x + 9, y + 4, 4, 12, WHITE)
    p.rect(x, y, 1, 16, BLACK)
    p.rect(x, y + 15, 13, 1, BLACK)
    p.rect(x + 12, y + 4, 1, 12, BLACK)
    p.rect(x, y, 9, 1, BLACK)
    for i in range(4):  # the fold
        p.pixel(x + 9 + i, y + i, BLACK)
    p.rect(x + 9, y + 1, 1, 4, GRAY)
    p.rect(x + 9, y + 4, 3, 1, GRAY)
    for row in (6, 8, 10, 12):
        p.rect(x + 2, y + row, 8, 1, TEAL)


TRACK_LEFT, TRACK_RIGHT = 18, 46  # the path between diskette and file


def track(p):
    for x in range(TRACK_LEFT, TRACK_RIGHT, 2):
        p.pixel(x, 8, GRAY)


def block(p, x, colour):
    """One track side on its way: a 4 x 4 block centred on the path."""
    p.rect(x, 6, 4, 4, colour)
    p.frame(x, 6, 4, 4, BLACK)


def arrow_head(p, x, to_right):
    for i in range(3):
        dx = x - i if to_right else x + i
        p.rect(dx, 8 - i, 1, 1 + 2 * i, BLACK)


def animation(frame, operation):
    p = Picture(64, 16)
    diskette(p, 0, 0)
    document(p, 50, 0)
    track(p)
    if frame == 0:
        return p
    steps = [TRACK_LEFT + 1, TRACK_LEFT + 6, TRACK_LEFT + 11, TRACK_LEFT + 16, TRACK_LEFT + 21]
    i = frame - 1
    if operation == "compress":      # diskette to file: blocks travel right
        arrow_head(p, TRACK_RIGHT + 1, True)
        block(p, steps[i], YELLOW)
    elif operation == "expand":      # file to diskette: blocks travel left
        arrow_head(p, TRACK_LEFT - 2, False)
        block(p, steps[4 - i], LIME)
    else:                            # verify: both sides meet in the middle
        if frame < 5:
            block(p, TRACK_LEFT + 1 + 3 * i, AQUA)
            block(p, TRACK_RIGHT - 5 - 3 * i, AQUA)
        else:
            for dx, dy in ((0, 8), (1, 9), (2, 10), (3, 9), (4, 8), (5, 7), (6, 6), (7, 5)):
                p.rect(TRACK_LEFT + 10 + dx, dy - 1, 1, 2, GREEN)
    return p


def main():
    # The application icon, large and small.
    big = Picture(32, 32)
    diskette(big, 0, 0, scale=2)
    big.rect(22, 18, 10, 14, WHITE)
    big.frame(22, 18, 10, 14, BLACK)
    for row in (22, 25, 28):
        big.rect(24, row, 6, 1, TEAL)
    big.save("idr_mainframe_32.svg")
    small = Picture(16, 16)
    diskette(small, 0, 0)
    small.save("idr_mainframe_16.svg")
    desktop_icons("apps/tavrel", small, big)

    # An image file in a file manager: a page with a diskette on it.
    file_big = Picture(32, 32)
    file_big.rect(3, 0, 18, 32, WHITE)
    file_big.rect(21, 8, 8, 24, WHITE)
    file_big.rect(2, 0, 1, 32, BLACK)
    file_big.rect(2, 31, 28, 1, BLACK)
    file_big.rect(29, 8, 1, 24, BLACK)
    file_big.rect(2, 0, 19, 1, BLACK)
    for i in range(8):  # the fold
        file_big.pixel(21 + i, i, BLACK)
    file_big.rect(21, 1, 1, 8, GRAY)
    file_big.rect(21, 8, 7, 1, GRAY)
    diskette(file_big, 8, 12)
    file_small = Picture(16, 16)
    document(file_small, 1, 0)
    desktop_icons("mimetypes/application-x-tavrel-image", file_small, file_big)

    # Frame 0 is shared; then five frames for each operation.
    animation(0, "compress").save("anim_146.svg")
    for n, ident in enumerate(range(147, 152), start=1):
        animation(n, "compress").save(f"anim_{ident}.svg")
    for n, ident in enumerate(range(159, 164), start=1):
        animation(n, "expand").save(f"anim_{ident}.svg")
    for n, ident in enumerate(range(164, 169), start=1):
        animation(n, "verify").save(f"anim_{ident}.svg")

    # Bitmap 130: a small file beside "File name:".
    page = Picture(9, 11)
    page.rect(0, 0, 9, 11, BLACK)
    page.rect(1, 1, 6, 9, WHITE)
    page.rect(7, 3, 1, 7, WHITE)
    page.pixel(6, 1, BLACK)
    page.pixel(7, 2, BLACK)
    page.rect(6, 2, 1, 1, GRAY)
    for row in (4, 6, 8):
        page.rect(2, row, 5, 1, TEAL)
    page.shapes.insert(0, '<rect x="7" y="0" width="2" height="3" fill="none"/>')
    page.save("bmp_130.svg")

    # Bitmap 131: the front of a diskette drive beside "Drive:".
    drive = Picture(15, 10)
    drive.rect(0, 0, 15, 10, SILVER)
    drive.frame(0, 0, 15, 10, BLACK)
    drive.rect(1, 1, 13, 1, WHITE)
    drive.rect(2, 4, 11, 2, BLACK)  # slot
    drive.rect(10, 7, 2, 1, LIME)   # busy light
    drive.rect(2, 7, 3, 1, GRAY)    # eject button
    drive.save("bmp_131.svg")


if __name__ == "__main__":
    main()
