#!/usr/bin/env python3
"""Draws the wizard's icons (resources 128 to 132) as .ico files, standard library only.

    tools/draw_icons.py OUTPUT_DIR

Each icon holds 16, 24, 32 and 48 pixel images in 32-bit colour with an AND mask, so Windows
picks a sharp one for the list view (16 x 16), the information box (20 dialog units) and the
taskbar. Shapes are drawn as distance fields with 4 x 4 supersampling. The files are kept in
the repository; run this again only to change the artwork.

    128  the application: a recordable disc
    129  task running: a green arrow pointing right
    130  task complete: a green circle with a white check mark
    131  task failed: a yellow circle with a black letter i
    132  new task: a grey circle
"""

import math
import os
import struct
import sys

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from point p to the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def inside_polygon(px, py, points):
    inside = False
    for i in range(len(points)):
        ax, ay = points[i]
        bx, by = points[i - 1]
        if (ay > py) != (by > py) and px < (bx - ax) * (py - ay) / (by - ay) + ax:
            inside = not inside
    return inside


def mix(under, over, alpha):
    """`over` with coverage `alpha` painted onto `under` (straight RGBA, 0..1 floats)."""
    a = over[3] * alpha
    out_a = a + under[3] * (1 - a)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = [(over[i] * a + under[i] * under[3] * (1 - a)) / out_a for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], out_a)


def rgb(hex_colour, alpha=1.0):
    value = int(hex_colour, 16)
    return ((value >> 16 & 255) / 255, (value >> 8 & 255) / 255, (value & 255) / 255, alpha)


def shade(colour, factor):
    return tuple(min(1.0, c * factor) for c in colour[:3]) + (colour[3],)


# Each drawing maps a point of the unit square (0..1, y down) to a list of (colour, inside)
# layers painted bottom to top.

def circle_badge(x, y, body):
    """A round badge with a darker rim and a soft highlight at the top."""
    r = math.hypot(x - 0.5, y - 0.5)
    layers = [(shade(body, 0.72), r <= 0.47), (body, r <= 0.41)]
    highlight = math.hypot((x - 0.5) / 1.0, (y - 0.36) / 0.62)
    layers.append(((1, 1, 1, 0.28), r <= 0.41 and highlight <= 0.3))
    return layers


def draw_disc(x, y):
    r = math.hypot(x - 0.5, y - 0.5)
    angle = math.atan2(y - 0.5, x - 0.5)
    sheen = 0.5 + 0.5 * math.cos(2 * angle + 0.6)
    silver = (0.62 + 0.3 * sheen, 0.68 + 0.27 * sheen, 0.80 + 0.18 * sheen, 1.0)
    hole = r <= 0.08
    return [
        (rgb("3a4a63"), r <= 0.48 and not hole),
        (silver, r <= 0.44 and not hole),
        (rgb("8fb3e0"), 0.14 < r <= 0.2),
        (rgb("3a4a63"), 0.08 < r <= 0.14),
    ]


def draw_arrow(x, y):
    body = rgb("2e9b3a")
    shaft = 0.18 <= x <= 0.55 and 0.38 <= y <= 0.62
    head = inside_polygon(x, y, [(0.5, 0.16), (0.88, 0.5), (0.5, 0.84)])
    outline = (segment_distance(x, y, 0.5, 0.16, 0.88, 0.5) < 0.05 or
               segment_distance(x, y, 0.88, 0.5, 0.5, 0.84) < 0.05 or
               segment_distance(x, y, 0.5, 0.84, 0.5, 0.62) < 0.05 or
               segment_distance(x, y, 0.5, 0.16, 0.5, 0.38) < 0.05 or
               segment_distance(x, y, 0.18, 0.38, 0.5, 0.38) < 0.05 or
               segment_distance(x, y, 0.18, 0.62, 0.5, 0.62) < 0.05 or
               segment_distance(x, y, 0.18, 0.38, 0.18, 0.62) < 0.05)
    return [(shade(body, 0.7), outline), (body, shaft or head)]


def draw_check(x, y):
    stroke = min(segment_distance(x, y, 0.27, 0.52, 0.44, 0.68),
                 segment_distance(x, y, 0.44, 0.68, 0.74, 0.34))
    return circle_badge(x, y, rgb("2e9b3a")) + [((1, 1, 1, 1), stroke <= 0.075)]


def draw_information(x, y):
    dot = math.hypot(x - 0.5, y - 0.29) <= 0.075
    stem = segment_distance(x, y, 0.5, 0.45, 0.5, 0.72) <= 0.07
    return circle_badge(x, y, rgb("f2c919")) + [((0.08, 0.08, 0.08, 1), dot or stem)]


def draw_pending(x, y):
    return circle_badge(x, y, rgb("a3a3a3"))


ICONS = {
    128: ("disc", draw_disc),
    129: ("arrow", draw_arrow),
    130: ("complete", draw_check),
    131: ("failed", draw_information),
    132: ("pending", draw_pending),
}


def render(drawing, size):
    """Rows of straight RGBA bytes, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = (0.0, 0.0, 0.0, 0.0)
                    for layer, inside in drawing(x, y):
                        if inside:
                            colour = mix(colour, layer, 1.0)
                    for i in range(3):
                        total[i] += colour[i] * colour[3]
                    total[3] += colour[3]
            alpha = total[3] / (n * n)
            if alpha > 0:
                pixel = [total[i] / total[3] for i in range(3)] + [alpha]
            else:
                pixel = [0.0, 0.0, 0.0, 0.0]
            row.append(tuple(int(round(c * 255)) for c in pixel))
        rows.append(row)
    return rows


def icon_image(rows):
    """One image of an .ico: BITMAPINFOHEADER, BGRA rows bottom-up, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def icon_file(drawing):
    images = [icon_image(render(drawing, size)) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for resource, (name, drawing) in ICONS.items():
        path = os.path.join(folder, f"{resource}_{name}.ico")
        with open(path, "wb") as f:
            f.write(icon_file(drawing))
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
