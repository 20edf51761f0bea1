#!/usr/bin/env python3
"""Writes images.cpp, the built-in XPM pictures of the ICQ importer.

The build uses the committed images.cpp; run this only to change a picture:
    python3 src/bitmap/make_images.py > src/bitmap/images.cpp
"""

import math

# --- the 256-colour table shared by the two flower pictures -------------------------------

VGA = ["#000000", "#800000", "#008000", "#808000", "#000080", "#800080", "#008080", "#C0C0C0",
       "#808080", "#FF0000", "#00FF00", "#FFFF00", "#0000FF", "#FF00FF", "#00FFFF", "#FFFFFF"]
CUBE = ["#%02X%02X%02X" % (r, g, b) for r in range(0, 256, 51) for g in range(0, 256, 51)
        for b in range(0, 256, 51)]
GREYS = ["#%02X%02X%02X" % (v, v, v) for v in range(0x08, 0xE5, 10)]
TABLE = VGA + CUBE + GREYS  # 255 colours after "None"
assert len(TABLE) == 255

DIGITS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
CODES = [DIGITS[i // len(DIGITS)] + DIGITS[i % len(DIGITS)] for i in range(len(TABLE))]
NONE = "--"


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))


def nearest(colour):
    """The code of the table colour closest to an (r, g, b) triple; the first one on a tie."""
    best = min(range(len(TABLE)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb(TABLE[i]), colour)))
    return CODES[best]


# --- the ICQ flower -----------------------------------------------------------------------

PETALS = 7
RED_PETAL = 6  # the one pointing up and to the left
CENTRE = (0.5, 0.5)
PETAL_DISTANCE = 0.26
PETAL_RADIAL = 0.22
PETAL_ACROSS = 0.135
HEART = 0.13

GREEN = {"fill": (51, 204, 51), "light": (153, 255, 102), "line": (0, 102, 0)}
RED = {"fill": (255, 0, 0), "light": (255, 153, 153), "line": (153, 0, 0)}
YELLOW = {"fill": (255, 204, 0), "light": (255, 255, 153), "line": (153, 102, 0)}


def petal_frame(k):
    angle = -math.pi / 2 + k * 2 * math.pi / PETALS
    return angle, (CENTRE[0] + PETAL_DISTANCE * math.cos(angle),
                   CENTRE[1] + PETAL_DISTANCE * math.sin(angle))


def flower_sample(x, y):
    """(region, colour) at a point of the unit square; region -1 is the background."""
    dx, dy = x - CENTRE[0], y - CENTRE[1]
    if dx * dx + dy * dy <= HEART * HEART:
        r = math.hypot(dx + 0.04, dy + 0.04) / HEART
        return PETALS, YELLOW["light"] if r < 0.55 else YELLOW["fill"]
    for k in reversed(range(PETALS)):
        angle, (cx, cy) = petal_frame(k)
        px, py = x - cx, y - cy
        u = (px * math.cos(angle) + py * math.sin(angle)) / PETAL_RADIAL
        v = (-px * math.sin(angle) + py * math.cos(angle)) / PETAL_ACROSS
        if u * u + v * v <= 1.0:
            colours = RED if k == RED_PETAL else GREEN
            shine = (u - 0.15) ** 2 + (v + 0.35) ** 2 < 0.16
            return k, colours["light"] if shine else colours["fill"]
    return -1, None


def render_flower(size):
    """Pixel codes of the flower, `size` pixels square, outlined on its edges."""
    grid = 4  # samples per pixel edge
    regions, colours = [], []
    for py in range(size):
        region_row, colour_row = [], []
        for px in range(size):
            hits = {}
            for sy in range(grid):
                for sx in range(grid):
                    region, colour = flower_sample((px + (sx + 0.5) / grid) / size,
                                                   (py + (sy + 0.5) / grid) / size)
                    hits.setdefault(region, []).append(colour)
            region = max(hits, key=lambda r: (len(hits[r]), r))
            if region != -1 and len(hits.get(-1, [])) > grid * grid // 2:
                region = -1
            region_row.append(region)
            samples = hits[region]
            colour_row.append(None if region == -1 else
                              tuple(sum(c[i] for c in samples) // len(samples) for i in range(3)))
        regions.append(region_row)
        colours.append(colour_row)

    def region_at(x, y):
        return regions[y][x] if 0 <= x < size and 0 <= y < size else -1

    rows = []
    for y in range(size):
        codes = []
        for x in range(size):
            region = regions[y][x]
            if region == -1:
                codes.append(NONE)
                continue
            near = [region_at(x + 1, y), region_at(x - 1, y), region_at(x, y + 1),
                    region_at(x, y - 1)]
            # Every part gets a line against the background; a petal also against the heart,
            # and the petal drawn later against the one below it.
            edge = any(n == -1 for n in near) or any(
                n != region and region != PETALS and (n == PETALS or n < region) for n in near)
            if edge:
                scheme = YELLOW if region == PETALS else RED if region == RED_PETAL else GREEN
                codes.append(nearest(scheme["line"]))
            else:
                codes.append(nearest(colours[y][x]))
        rows.append("".join(codes))
    return rows


def flower_image(size, separator):
    lines = ["%d %d 256 2" % (size, size), NONE + separator + "c" + separator + "None"]
    lines += [code + separator + "c" + separator + colour for code, colour in zip(CODES, TABLE)]
    return lines + render_flower(size)


# --- the two button pictures --------------------------------------------------------------

FRAME_COLOURS = [(" ", "None"), (".", "#000000"), ("+", "#808080"), ("@", "#C0C0C0"),
                 ("#", "#FFFFFF")]


def window(grid, left, top, width, height):
    """A window frame: black edge, grey title bar with a light button, white client area
    inside a silver border."""
    for y in range(top, top + height):
        for x in range(left, left + width):
            edge = y in (top, top + height - 1) or x in (left, left + width - 1)
            if edge:
                grid[y][x] = "."
            elif y <= top + 2:
                grid[y][x] = "@" if x == left + width - 3 and y == top + 1 else "+"
            elif y == top + height - 2 or x in (left + 1, left + width - 2):
                grid[y][x] = "@"
            else:
                grid[y][x] = "#"


def stroke(grid, points, width, fill, line):
    """A thick polyline: `fill` within width/2 of it, `line` on a one-pixel rim around."""
    def distance(px, py):
        best = float("inf")
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            ex, ey = bx - ax, by - ay
            t = max(0.0, min(1.0, ((px - ax) * ex + (py - ay) * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(px - ax - t * ex, py - ay - t * ey))
        return best
    for y in range(16):
        for x in range(16):
            d = distance(x + 0.5, y + 0.5)
            if d <= width / 2:
                grid[y][x] = fill
            elif d <= width / 2 + 0.9:
                grid[y][x] = line


def frames():
    grid = [[" "] * 16 for _ in range(16)]
    window(grid, 0, 0, 11, 10)
    window(grid, 5, 5, 11, 11)
    return grid


def sel16():
    grid = frames()
    stroke(grid, [(2.5, 8.5), (6.0, 12.3), (13.2, 3.0)], 2.6, "$", "%")
    colours = FRAME_COLOURS + [("$", "#FF0000"), ("%", "#800000")]
    return ["16 16 %d 1" % len(colours)] + ["%s c %s" % c for c in colours] + \
        ["".join(row) for row in grid]


def desel16():
    grid = frames()
    stroke(grid, [(3.2, 3.2), (12.8, 12.8)], 2.4, "$", "%")
    stroke(grid, [(12.8, 3.2), (3.2, 12.8)], 2.4, "$", "%")
    # The rim of the second stroke must not cut the first one.
    for y in range(16):
        for x in range(16):
            if abs(x - y) <= 1 and 3 <= x <= 12 and 3 <= y <= 12 and grid[y][x] == "%":
                if abs((x + 0.5) - (y + 0.5)) <= 1.2:
                    grid[y][x] = "$"
    for i in range(4, 12):  # a lighter shine along the upper edge of one bar
        if grid[i][i + 1] == "$" and grid[i - 1][i + 1] == "%":
            grid[i][i + 1] = "&"
    colours = FRAME_COLOURS + [("$", "#0000FF"), ("%", "#000080"), ("&", "#6666FF")]
    return ["16 16 %d 1" % len(colours)] + ["%s c %s" % c for c in colours] + \
        ["".join(row) for row in grid]


# --- output -------------------------------------------------------------------------------

def c_text(line):
    return '"' + line.replace("\\", "\\\\").replace('"', '\\"').replace("\t", "\\t") + '"'


def array(name, lines):
    width, height, colours, chars = (int(n) for n in lines[0].split())
    assert len(lines) == height + colours + 1
    assert all(len(row) == width * chars for row in lines[colours + 1:])
    body = ",\n".join("    " + c_text(line) for line in lines)
    return ("const char* %s[] = {\n%s};\n"
            "static_assert(std::size(%s) == 1 + %d + %d, \"a header, the colours, the rows\");\n"
            % (name, body, name, colours, height))


def main():
    print("#include \"bitmap/images.h\"\n")
    print("#include <iterator>\n")
    print("// Written by make_images.py beside this file; edit the script, not the arrays.")
    print("// One line of the picture per line of text, so the formatter keeps its hands off.")
    print("// clang-format off\n")
    print("// The ICQ flower: green petals, one red, a yellow heart, on a transparent ground.")
    print("// Colour lines separate their parts with spaces.")
    print(array("icon", flower_image(16, " ")))
    print("// The same flower in 32 by 32, with the same colours; its colour lines separate with")
    print("// tabs.")
    print(array("icq32x32_xpm", flower_image(32, "\t")))
    print("// Two overlapping window frames with a red check mark.")
    print(array("sel16_xpm", sel16()))
    print("// Two overlapping window frames with a blue cross.")
    print(array("desel16_xpm", desel16()))
    print("// clang-format on")


if __name__ == "__main__":
    main()
