#!/usr/bin/env python3
"""Draws the desktop program's small pictures into resources/: the skin atlas (64 x 64, 24-bit BMP),
the program icon (16 x 16 and 32 x 32, 256 colours) and the two hand cursors (32 x 32, monochrome).

Rerun after changing a drawing; the outputs are checked in and compiled into the program by the
resource script. Standard library only.

    python3 tools/draw_window_resources.py [resources-folder]
"""
import math
import os
import struct
import sys

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
CHECK_GREY = (118, 118, 118)
LABEL_GREY = (64, 64, 64)
LABEL_TEXT = (214, 214, 214)

# 3 x 5 capitals for the panel labels and 5 x 5 letters for the information panel glyphs.
SMALL_CAPITALS = {
    "A": ["010", "101", "111", "101", "101"],
    "B": ["110", "101", "110", "101", "110"],
    "E": ["111", "100", "110", "100", "111"],
    "F": ["111", "100", "110", "100", "100"],
    "O": ["010", "101", "101", "101", "010"],
    "R": ["110", "101", "110", "101", "101"],
    "T": ["111", "010", "010", "010", "010"],
}
GLYPHS = {
    "L": ["10000", "10000", "10000", "10000", "11111"],
    "a": ["01110", "00001", "01111", "10001", "01111"],
    "b": ["10000", "11110", "10001", "10001", "11110"],
    "H": ["10001", "10001", "11111", "10001", "10001"],
    "S": ["01111", "10000", "01110", "00001", "11110"],
    "V": ["10001", "10001", "01010", "01010", "00100"],
    "f": ["00110", "01000", "11110", "01000", "01000"],
    # The brightness figure: a small sun; the tint figure: three colour dots.
    "luma": ["00100", "01110", "11111", "01110", "00100"],
    "chroma": ["11011", "11011", "00000", "01100", "01100"],
}
GLYPH_COLOURS = {"luma": (240, 240, 240), "chroma": None}
CHROMA_DOTS = [(230, 70, 60), (80, 200, 90), (90, 130, 240)]


class Canvas:
    def __init__(self, width, height, colour=WHITE):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]  # top row first

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = tuple(max(0, min(255, int(c))) for c in colour)

    def get(self, x, y):
        return self.pixels[y][x]

    def fill(self, x0, y0, w, h, colour):
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                self.set(x, y, colour)

    def pattern(self, x0, y0, rows, colour):
        for dy, row in enumerate(rows):
            for dx, bit in enumerate(row):
                if bit == "1":
                    self.set(x0 + dx, y0 + dy, colour)


def checker(x, y):
    """The background checker: 4 x 4 squares, grey at top-left and bottom-right of each tile."""
    return CHECK_GREY if ((x % 8) < 4) == ((y % 8) < 4) else WHITE


def shaded(colour, darkness):
    return tuple(c * (1.0 - darkness) for c in colour)


def shadow_tile(canvas, x0, y0, darkness_at):
    """An 8 x 8 checker tile darkened by darkness_at(x, y) for x, y in 0 ... 7."""
    for y in range(8):
        for x in range(8):
            canvas.set(x0 + x, y0 + y, shaded(checker(x, y), darkness_at(x, y)))


def band(t):
    """Shadow strength across an 8-pixel band: strongest next to what casts it."""
    return 0.5 * max(0.0, 1.0 - t / 8.0) ** 1.5


def fade(t):
    """Shadow strength where a band begins: rises over the tile."""
    return min(1.0, max(0.0, (t + 0.5) / 8.0))


def draw_atlas():
    atlas = Canvas(64, 64)
    # Background tile and the frame's tiles. The frame's top and left edges and the panels'
    # drop shadows use the same tiles, so the darkened checker lines up wherever it is placed.
    shadow_tile(atlas, 8, 8, lambda x, y: 0.0)
    shadow_tile(atlas, 0, 0, lambda x, y: max(band(x), band(y)))        # corner of the area
    shadow_tile(atlas, 8, 0, lambda x, y: band(y))                     # horizontal edge
    shadow_tile(atlas, 0, 8, lambda x, y: band(x))                     # vertical edge
    shadow_tile(atlas, 24, 0, lambda x, y: band(x) * fade(y))          # upper end, right shadow
    shadow_tile(atlas, 16, 8, lambda x, y: band(y) * fade(x))          # left end, bottom shadow
    shadow_tile(atlas, 24, 8, lambda x, y: band(math.hypot(x, y)))     # corner of a shadow

    for top, word in ((0, "BEFORE"), (8, "AFTER")):
        atlas.fill(32, top, 32, 8, LABEL_GREY)
        width = 4 * len(word) - 1
        x = 32 + (32 - width) // 2
        for letter in word:
            atlas.pattern(x, top + 2, SMALL_CAPITALS[letter], LABEL_TEXT)
            x += 4

    # Slider knob, 8 x 20: a rounded grip with a black outline; white around it is transparent,
    # so its inside stays just short of white.
    knob = [
        "..####..",
        ".#hhhh#.",
        "#hhhhhh#",
        "#hffffs#",
        "#hffffs#",
        "#hffffs#",
        "#hf##fs#",
        "#hffffs#",
        "#hf##fs#",
        "#hffffs#",
        "#hf##fs#",
        "#hffffs#",
        "#hf##fs#",
        "#hffffs#",
        "#hffffs#",
        "#hffffs#",
        "#hssssss#"[:8],
        ".#ssss#.",
        "..#ss#..",
        "...##...",
    ]
    shades = {"#": BLACK, "h": (250, 250, 250), "f": (214, 214, 218), "s": (150, 150, 156)}
    for y, row in enumerate(knob):
        for x, mark in enumerate(row):
            atlas.set(x, 16 + y, shades.get(mark, WHITE))

    # Information panel glyphs: light on the black column they are copied onto.
    places = {"L": (7, 43), "a": (7, 50), "b": (7, 57), "H": (14, 43), "S": (14, 50), "V": (14, 57),
              "f": (21, 43), "luma": (21, 50), "chroma": (21, 57)}
    for name, (x, y) in places.items():
        atlas.fill(x, y, 7, 7, BLACK)
        if name == "chroma":
            for (dx, dy), colour in zip(((1, 1), (4, 1), (2, 4)), CHROMA_DOTS):
                atlas.fill(x + dx, y + dy, 2, 2, colour)
        else:
            atlas.pattern(x + 1, y + 1, GLYPHS[name], GLYPH_COLOURS.get(name) or (200, 200, 200))
    return atlas


def bmp_bytes(canvas):
    stride = (canvas.width * 3 + 3) & ~3
    body = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for r, g, b in canvas.pixels[y]:
            row += bytes((b, g, r))
        body += row + bytes(stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(body), 2834, 2834, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + 40 + len(body), 0, 0, 54) + header + bytes(body)


def draw_icon(size):
    """A lens: a dark blue disc with a lighter ring, a soft inner gradient and one highlight."""
    canvas = Canvas(size, size, None)
    samples = 4
    c = size / 2.0
    for y in range(size):
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            cover = 0
            for sy in range(samples):
                for sx in range(samples):
                    px = x + (sx + 0.5) / samples - c
                    py = y + (sy + 0.5) / samples - c
                    r = math.hypot(px, py) / c
                    if r > 0.97:
                        continue
                    cover += 1
                    if r > 0.80:
                        colour = (70, 96, 128)           # barrel
                    elif r > 0.70:
                        colour = (170, 196, 220)         # bright ring
                    else:
                        glow = max(0.0, 1.0 - math.hypot(px + 0.25 * c, py + 0.25 * c) / (0.75 * c))
                        colour = (20 + 60 * glow, 50 + 90 * glow, 110 + 110 * glow)
                        if math.hypot(px + 0.28 * c, py + 0.3 * c) < 0.16 * c:
                            colour = (245, 250, 255)     # highlight
                    for i in range(3):
                        acc[i] += colour[i]
            if cover * 2 >= samples * samples:
                canvas.pixels[y][x] = tuple(int(v / cover) for v in acc)
    return canvas


def mask_rows(bits_rows, width):
    """1-bit rows, bottom row first, each padded to 4 bytes."""
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(bits_rows):
        packed = bytearray(stride)
        for x, bit in enumerate(row):
            if bit:
                packed[x // 8] |= 0x80 >> (x % 8)
        out += packed
    return bytes(out)


def icon_image(canvas):
    # Index 0 is black: the transparent pixels use it, since the system draws an icon by ANDing
    # the mask and then XORing the colour, and only black leaves the screen alone where the mask is 1.
    palette = [BLACK]
    index = {BLACK: 0}
    for row in canvas.pixels:
        for p in row:
            if p is not None and p not in index:
                index[p] = len(palette)
                palette.append(p)
    assert len(palette) <= 256, "the icon must fit 256 colours"
    palette += [(0, 0, 0)] * (256 - len(palette))
    size = canvas.width
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    stride = (size + 3) & ~3
    xor = bytearray()
    for row in reversed(canvas.pixels):
        line = bytes(index.get(p, 0) if p is not None else 0 for p in row)
        xor += line + bytes(stride - size)
    transparent = [[p is None for p in row] for row in canvas.pixels]
    return header + colours + bytes(xor) + mask_rows(transparent, size)


def quantise(canvas, levels=6):
    """Keeps the icon within 256 colours: a 6 x 6 x 6 colour cube."""
    step = 255 / (levels - 1)
    for row in canvas.pixels:
        for x, p in enumerate(row):
            if p is not None:
                row[x] = tuple(int(round(round(c / step) * step)) for c in p)
    return canvas


def ico_bytes(canvases):
    images = [icon_image(quantise(c)) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width, c.height, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


# Hand cursors, 32 x 32: "#" black, "." white, anything else transparent. Hot spots (6, 10) and
# (7, 10) sit on the hand, near the base of the fingers.
OPEN_HAND = [
    "      ##          ",
    "   ## #..## #     ",
    "  #..##..#.#.#    ",
    "  #..#..#..#..#   ",
    "   #..#..#..#..#  ",
    "   #..#..#..#..#  ",
    " ## #.......#..#  ",
    "#..##..........#  ",
    "#...#.........#   ",
    " #............#   ",
    "  #...........#   ",
    "  #..........#    ",
    "   #.........#    ",
    "    #.......#     ",
    "     #......#     ",
    "     #......#     ",
]
CLOSED_HAND = [
    "                  ",
    "                  ",
    "                  ",
    "    ## ## ##      ",
    "   #..#..#..##    ",
    "   #.........#    ",
    "    #........#    ",
    "   ##........#    ",
    "  #..........#    ",
    "  #.........#     ",
    "   #........#     ",
    "    #.......#     ",
    "    #.......#     ",
    "     #.....#      ",
    "     #.....#      ",
    "                  ",
]


def cursor_bytes(art, hot_x, hot_y, left=0, top=3):
    size = 32
    xor = [[False] * size for _ in range(size)]   # 1 = white where the mask is 0
    transparent = [[True] * size for _ in range(size)]
    for y, row in enumerate(art):
        for x, mark in enumerate(row):
            if mark in "#.":
                transparent[top + y][left + x] = False
                xor[top + y][left + x] = mark == "."
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = header + palette + mask_rows(xor, size) + mask_rows(transparent, size)
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, hot_x, hot_y, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 2, 1) + entry + image


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    outputs = {
        "skin_atlas.bmp": bmp_bytes(draw_atlas()),
        "quorvane.ico": ico_bytes([draw_icon(16), draw_icon(32)]),
        "open_hand.cur": cursor_bytes(OPEN_HAND, 6, 10),
        "closed_hand.cur": cursor_bytes(CLOSED_HAND, 7, 10),
    }
    for name, data in outputs.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
