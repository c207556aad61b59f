#!/usr/bin/env python3
# Makes the ribbon button icons from their vector source, icons.txt in this folder:
#   icons.txt -> <Name>.ico for every icon (48x48, 32x32 and 16x16, 32 bpp with alpha and an AND mask)
#             -> ../addin-icons.rc, one ICON resource per icon, named as the icon (the ribbon's image name)
# quillspar.rc and the test fixtures' .rc include addin-icons.rc; the add-in loads the icons with
# LoadImageW(module, name, IMAGE_ICON, 48, 48, 0).
#
# The source describes each icon as simple shapes in a 48-unit square, drawn in order, later over earlier;
# see the head of icons.txt for the shapes, colours and templates. Every shape is turned into polygons and
# filled with 6x6 supersampling at each size, so the 48-unit design is drawn anew at 16 and 32 pixels
# rather than shrunk from the 48-pixel image. Coordinates on a 3-unit grid fall on pixel edges at every size.
#
# Regenerating (Python 3 standard library only), from the project root:
#   python3 src/res/icons/make-icons.py                      # rewrites the .ico files and addin-icons.rc
#   python3 src/res/icons/make-icons.py --preview /tmp/qs-icons
#     also writes PNG contact sheets (48 px at 2x on light and dark grounds, 16 and 32 px at 2x, 16 px at 4x);
#     do not commit those.
# The output is byte-for-byte reproducible, so an unchanged source gives unchanged files.

import argparse
import math
import os
import re
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
UNITS = 48                 # the source's coordinate space
SIZES = (48, 32, 16)       # the images in each .ico, largest first
SUPERSAMPLE = 6            # samples per pixel along each axis


class SourceError(Exception):
    pass


# ---- the source ----

class Icon:
    def __init__(self, name, accent, description, where):
        self.name, self.accent, self.description, self.where = name, accent, description, where
        self.lines = []    # (line number, tokens)
        self.section = ""


def parse_colour(text, where):
    if not re.fullmatch(r"[0-9a-fA-F]{6}([0-9a-fA-F]{2})?", text):
        raise SourceError(f"{where}: '{text}' is not an RRGGBB or RRGGBBAA colour")
    value = int(text, 16)
    if len(text) == 6:
        value = (value << 8) | 0xFF
    return ((value >> 24) & 0xFF, (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


def read_source(path):
    """Returns (palette, templates, icons) from icons.txt."""
    palette, templates, icons = {}, {}, []
    block = None        # the icon or template being read
    section = ""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        where = f"{os.path.basename(path)}:{number}"
        text = line.split(";", 1)[0].strip()
        if not text:
            continue
        tokens = text.split()
        keyword = tokens[0]
        if keyword == "colour":
            if len(tokens) != 3:
                raise SourceError(f"{where}: expected 'colour <name> <RRGGBB[AA]>'")
            if tokens[1] in palette:
                raise SourceError(f"{where}: colour '{tokens[1]}' defined twice")
            palette[tokens[1]] = parse_colour(tokens[2], where)
        elif keyword == "section":
            section = text[len("section"):].strip()
        elif keyword == "template":
            if len(tokens) != 2 or block is not None:
                raise SourceError(f"{where}: expected 'template <name>' outside any block")
            block = templates[tokens[1]] = Icon(tokens[1], None, "", where)
        elif keyword == "icon":
            match = re.fullmatch(r"icon\s+(\w+)(?:\s+accent=([\w-]+))?\s*:\s*(.+)", text)
            if not match or block is not None:
                raise SourceError(f"{where}: expected 'icon <Name> [accent=<colour>] : <description>' outside any block")
            if any(i.name.lower() == match[1].lower() for i in icons):
                raise SourceError(f"{where}: icon '{match[1]}' defined twice (resource names ignore case)")
            block = Icon(match[1], match[2], match[3], where)
            block.section = section
            icons.append(block)
        elif keyword == "end":
            if block is None:
                raise SourceError(f"{where}: 'end' outside any block")
            block = None
        else:
            if block is None:
                raise SourceError(f"{where}: shape outside an icon or template")
            block.lines.append((where, tokens))
    if block is not None:
        raise SourceError(f"{path}: '{block.name}' has no 'end'")
    return palette, templates, icons


# ---- geometry: every shape becomes contours, filled with the nonzero rule ----

def circle_points(cx, cy, rx, ry, a0=0.0, a1=360.0, segments=None):
    """Points along an ellipse arc; angles in degrees, 0 = east, growing clockwise on screen."""
    if segments is None:
        segments = max(8, int(abs(a1 - a0) / 360.0 * max(24, 3 * max(rx, ry))))
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / segments)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / segments))) for i in range(segments + 1)]


def rrect_points(x, y, w, h, r):
    r = max(0.0, min(r, w / 2, h / 2))
    if r == 0:
        return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]
    points = []
    points += circle_points(x + w - r, y + r, r, r, -90, 0, 6)
    points += circle_points(x + w - r, y + h - r, r, r, 0, 90, 6)
    points += circle_points(x + r, y + h - r, r, r, 90, 180, 6)
    points += circle_points(x + r, y + r, r, r, 180, 270, 6)
    return points


def signed_area(points):
    return sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1])) / 2


def oriented(points, hole=False):
    """The contour turned clockwise on screen (a hole: anticlockwise), so that unions and holes add up."""
    if (signed_area(points) < 0) != hole:
        return list(reversed(points))
    return list(points)


def segment_quad(p, q, half):
    (x0, y0), (x1, y1) = p, q
    length = math.hypot(x1 - x0, y1 - y0)
    if length == 0:
        return None
    nx, ny = -(y1 - y0) / length * half, (x1 - x0) / length * half
    return oriented([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])


def stroke_contours(points, width, cap="round", closed=False):
    """A polyline of the given width: one quad per segment, round joins, round, butt or square ends."""
    half = width / 2
    points = list(points)
    if cap == "square" and not closed and len(points) >= 2:
        def extend(a, b):
            length = math.hypot(a[0] - b[0], a[1] - b[1]) or 1
            return (a[0] + (a[0] - b[0]) / length * half, a[1] + (a[1] - b[1]) / length * half)
        points[0] = extend(points[0], points[1])
        points[-1] = extend(points[-1], points[-2])
    path = points + points[:1] if closed else points
    contours = [c for c in (segment_quad(p, q, half) for p, q in zip(path, path[1:])) if c]
    joins = points if closed or cap == "round" else points[1:-1]
    contours += [oriented(circle_points(x, y, half, half)[:-1]) for x, y in joins]
    return contours


def dash_contours(points, width, on, off, closed=False):
    """Butt-ended dashes along a polyline, the pattern running on across corners."""
    path = points + points[:1] if closed else points
    contours, position = [], 0.0
    for p, q in zip(path, path[1:]):
        length = math.hypot(q[0] - p[0], q[1] - p[1])
        t = 0.0
        while t < length:
            phase = position % (on + off)
            if phase < on:
                run = min(on - phase, length - t)
                a = (p[0] + (q[0] - p[0]) * t / length, p[1] + (q[1] - p[1]) * t / length)
                b = (p[0] + (q[0] - p[0]) * (t + run) / length, p[1] + (q[1] - p[1]) * (t + run) / length)
                quad = segment_quad(a, b, width / 2)
                if quad:
                    contours.append(quad)
            else:
                run = min(on + off - phase, length - t)
            t += run
            position += run
    return contours


def lens_points(cx, cy, w, h):
    """An almond (an eye's outline): two circular arcs meeting at (cx -+ w/2, cy), h tall."""
    half_w, half_h = w / 2, h / 2
    radius = (half_w ** 2 + half_h ** 2) / (2 * half_h)
    spread = math.degrees(math.asin(half_w / radius))
    top = circle_points(cx, cy + radius - half_h, radius, radius, -90 - spread, -90 + spread, 24)
    bottom = circle_points(cx, cy - radius + half_h, radius, radius, 90 - spread, 90 + spread, 24)
    return top + bottom[1:-1]


def inset_points(points, distance):
    """The polygon (clockwise on screen) with every edge moved inwards by distance, corners re-intersected."""
    lines = []
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        length = math.hypot(x1 - x0, y1 - y0)
        nx, ny = -(y1 - y0) / length * distance, (x1 - x0) / length * distance
        lines.append(((x0 + nx, y0 + ny), (x1 - x0, y1 - y0)))
    result = []
    for (p, d), (q, e) in zip(lines[-1:] + lines[:-1], lines):
        cross = d[0] * e[1] - d[1] * e[0]
        if abs(cross) < 1e-9:
            result.append(q)
            continue
        t = ((q[0] - p[0]) * e[1] - (q[1] - p[1]) * e[0]) / cross
        result.append((p[0] + d[0] * t, p[1] + d[1] * t))
    return result


def gear_points(cx, cy, outer, inner, teeth):
    points = []
    step = 360.0 / teeth
    for i in range(teeth):
        a = -90 + i * step
        for angle, radius in ((a - step * 0.30, inner), (a - step * 0.17, outer), (a + step * 0.17, outer),
                              (a + step * 0.30, inner)):
            points.append((cx + radius * math.cos(math.radians(angle)), cy + radius * math.sin(math.radians(angle))))
        points += circle_points(cx, cy, inner, inner, a + step * 0.30, a + step * 0.70, 4)[1:-1]
    return points


def number(text, where):
    try:
        return float(text)
    except ValueError:
        raise SourceError(f"{where}: '{text}' is not a number") from None


def point(text, where):
    parts = text.split(",")
    if len(parts) != 2:
        raise SourceError(f"{where}: '{text}' is not a point 'x,y'")
    return (number(parts[0], where), number(parts[1], where))


# Each shape's count of leading numbers; "poly", "outline", "stroke" and "dash" take points 'x,y' after them.
SHAPES = {
    "rect": 4, "rrect": 5, "frame": 6, "circle": 3, "ellipse": 4, "ring": 4, "arc": 7, "pie": 5, "gear": 5,
    "lens": 4, "dashbox": 7, "poly": 0, "outline": 1, "stroke": 1, "dash": 3,
}


def shape_contours(kind, args, where):
    """The contours of one shape line (without its colour), in source units."""
    flags = [a for a in args if a in ("round", "butt", "square", "closed")]
    args = [a for a in args if a not in flags]
    count = SHAPES[kind]
    if len(args) < count:
        raise SourceError(f"{where}: '{kind}' needs {count} numbers")
    n = [number(a, where) for a in args[:count]]
    points = [point(a, where) for a in args[count:]]
    if kind in ("poly", "outline", "stroke", "dash"):
        if len(points) < 2:
            raise SourceError(f"{where}: '{kind}' needs points 'x,y'")
    elif points:
        raise SourceError(f"{where}: '{kind}' takes {count} numbers")
    closed = "closed" in flags
    cap = next((f for f in flags if f in ("round", "butt", "square")), "round")
    if kind == "rect":
        x, y, w, h = n
        return [oriented([(x, y), (x + w, y), (x + w, y + h), (x, y + h)])]
    if kind == "rrect":
        return [oriented(rrect_points(*n))]
    if kind == "frame":            # the outline of a rounded rectangle, lw wide inside its edge
        x, y, w, h, r, lw = n
        return [oriented(rrect_points(x, y, w, h, r)),
                oriented(rrect_points(x + lw, y + lw, w - 2 * lw, h - 2 * lw, max(0, r - lw)), hole=True)]
    if kind == "circle":
        cx, cy, r = n
        return [oriented(circle_points(cx, cy, r, r)[:-1])]
    if kind == "ellipse":
        cx, cy, rx, ry = n
        return [oriented(circle_points(cx, cy, rx, ry)[:-1])]
    if kind == "ring":             # a circle's outline, lw wide inside radius r
        cx, cy, r, lw = n
        return [oriented(circle_points(cx, cy, r, r)[:-1]),
                oriented(circle_points(cx, cy, r - lw, r - lw)[:-1], hole=True)]
    if kind == "arc":              # cx cy rx ry from to width: a stroked arc, angles clockwise from east
        cx, cy, rx, ry, a0, a1, lw = n
        return stroke_contours(circle_points(cx, cy, rx, ry, a0, a1), lw, cap)
    if kind == "pie":
        cx, cy, r, a0, a1 = n
        return [oriented([(cx, cy)] + circle_points(cx, cy, r, r, a0, a1))]
    if kind == "gear":             # cx cy outer inner teeth
        cx, cy, outer, inner, teeth = n
        return [oriented(gear_points(cx, cy, outer, inner, int(teeth)))]
    if kind == "lens":
        return [oriented(lens_points(*n))]
    if kind == "dashbox":          # x y w h width on off: a dashed rectangle centred on its edge
        x, y, w, h, lw, on, off = n
        return dash_contours([(x, y), (x + w, y), (x + w, y + h), (x, y + h)], lw, on, off, closed=True)
    if kind == "poly":
        return [oriented(points)]
    if kind == "outline":          # lw points: a polygon's edge band, lw wide inside the polygon
        outer = oriented(points)
        return [outer, oriented(inset_points(outer, n[0]), hole=True)]
    if kind == "stroke":
        return stroke_contours(points, n[0], cap, closed)
    if kind == "dash":
        return dash_contours(points, n[0], n[1], n[2], closed)
    raise AssertionError(kind)


class Transform:
    """Rotation about the square's centre, then scale, then translation."""

    def __init__(self, dx=0.0, dy=0.0, scale=1.0, degrees=0.0):
        self.dx, self.dy, self.scale = dx, dy, scale
        self.cos, self.sin = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))

    def then(self, outer):
        """This transform followed by outer."""
        t = Transform()
        t.scale = self.scale * outer.scale
        t.cos = self.cos * outer.cos - self.sin * outer.sin
        t.sin = self.sin * outer.cos + self.cos * outer.sin
        # A point's image under this transform, mapped by outer, gives the composite's translation.
        c = UNITS / 2
        x, y = self.apply((c, c))
        x, y = outer.apply((x, y))
        # composite(p) = R(p - c) * s + c*s' + d'; solve for d' from composite(c) = (x, y).
        t.dx, t.dy = x - c * t.scale, y - c * t.scale
        return t

    def apply(self, p):
        c = UNITS / 2
        x, y = p[0] - c, p[1] - c
        x, y = x * self.cos - y * self.sin + c, x * self.sin + y * self.cos + c
        return (x * self.scale + self.dx, y * self.scale + self.dy)


def resolve_colour(text, palette, accent, where):
    """(r, g, b, a) straight, or None for 'none' (erase to transparent). 'name/NN' is the colour at NN% opacity."""
    opacity = 1.0
    if "/" in text:
        text, percent = text.split("/", 1)
        opacity = number(percent, where) / 100
    if text == "none":
        return None
    if text.startswith("$accent"):
        if accent is None:
            raise SourceError(f"{where}: '{text}' in an icon without an accent")
        text = accent + text[len("$accent"):]
    if text.startswith("#"):
        colour = parse_colour(text[1:], where)
    elif text in palette:
        colour = palette[text]
    else:
        raise SourceError(f"{where}: colour '{text}' is not in the palette")
    return colour[:3] + (round(colour[3] * opacity),)


def pick(token, size):
    """A token with values per size, 'a|b|c' for 48|32|16 or 'a|b' for 48 and 32|16, reduced to one value."""
    if "|" not in token:
        return token
    def one(text):
        values = text.split("|")
        if len(values) == 2:
            values = [values[0], values[0], values[1]]
        return values[SIZES.index(size)] if len(values) == 3 else text
    return ",".join(one(part) for part in token.split(","))


def draw_list(block, palette, templates, accent, size, transform, depth=0):
    """Yields (contours in source units, colour) for the shapes of an icon or template drawn at size."""
    if depth > 8:
        raise SourceError(f"{block.where}: templates nested too deeply")
    for where, tokens in block.lines:
        tokens = [pick(t, size) for t in tokens]
        if tokens[0].startswith("@"):
            sizes = {int(s) for s in tokens[0][1:].split(",") if s.isdigit()}
            if not sizes or not sizes <= set(SIZES):
                raise SourceError(f"{where}: '{tokens[0]}' must list sizes among {SIZES}")
            if size not in sizes:
                continue
            tokens = tokens[1:]
        kind = tokens[0]
        if kind == "use":          # use <template> [dx dy [scale [degrees]]]
            if len(tokens) < 2 or tokens[1] not in templates:
                raise SourceError(f"{where}: 'use' needs a template name")
            values = [number(a, where) for a in tokens[2:]]
            if len(values) not in (0, 2, 3, 4):
                raise SourceError(f"{where}: expected 'use <template> [dx dy [scale [degrees]]]'")
            inner = Transform(*values) if values else Transform()
            yield from draw_list(templates[tokens[1]], palette, templates, accent, size,
                                 inner.then(transform), depth + 1)
            continue
        if kind not in SHAPES:
            raise SourceError(f"{where}: unknown shape '{kind}'")
        if len(tokens) < 2:
            raise SourceError(f"{where}: '{kind}' needs a colour last")
        colour = resolve_colour(tokens[-1], palette, accent, where)
        contours = shape_contours(kind, tokens[1:-1], where)
        yield [[transform.apply(p) for p in c] for c in contours], colour


# ---- rasterising ----

def fill(canvas, contours, colour, scale):
    """Fills the contours (source units, nonzero rule) on the supersampled canvas: rows of [r, g, b, a]
    premultiplied, one entry per sample; a sample is covered when its centre is inside."""
    height = len(canvas)
    crossings = {}
    for contour in contours:
        for (x0, y0), (x1, y1) in zip(contour, contour[1:] + contour[:1]):
            x0, y0, x1, y1 = x0 * scale, y0 * scale, x1 * scale, y1 * scale
            if y0 == y1:
                continue
            direction = 1 if y1 > y0 else -1
            top, bottom = min(y0, y1), max(y0, y1)
            first = max(0, math.ceil(top - 0.5))
            last = min(height, math.ceil(bottom - 0.5))
            slope = (x1 - x0) / (y1 - y0)
            for row in range(first, last):
                crossings.setdefault(row, []).append((x0 + (row + 0.5 - y0) * slope, direction))
    width = len(canvas[0]) if canvas else 0
    if colour is None:
        value = (0, 0, 0, 0)
    else:
        r, g, b, a = colour
        value = (r * a // 255, g * a // 255, b * a // 255, a)
    for row, items in crossings.items():
        items.sort()
        winding = 0
        line = canvas[row]
        for (x, direction), (next_x, _) in zip(items, items[1:] + [(None, 0)]):
            winding += direction
            if winding == 0 or next_x is None:
                continue
            start = max(0, math.ceil(x - 0.5))
            stop = min(width, math.ceil(next_x - 0.5))
            if stop <= start:
                continue
            if colour is None or value[3] == 255:
                line[start:stop] = [value] * (stop - start)
            else:
                keep = 255 - value[3]
                line[start:stop] = [tuple(s + d * keep // 255 for s, d in zip(value, old))
                                    for old in line[start:stop]]


def render(icon, palette, templates, size):
    """The icon at size x size: rows of straight-alpha (r, g, b, a) tuples."""
    samples = size * SUPERSAMPLE
    canvas = [[(0, 0, 0, 0)] * samples for _ in range(samples)]
    scale = samples / UNITS
    for contours, colour in draw_list(icon, palette, templates, icon.accent, size, Transform()):
        fill(canvas, contours, colour, scale)
    rows = []
    area = SUPERSAMPLE * SUPERSAMPLE
    for y in range(size):
        sums = [[0, 0, 0, 0] for _ in range(size)]
        for sub in canvas[y * SUPERSAMPLE:(y + 1) * SUPERSAMPLE]:
            for x in range(size):
                acc = sums[x]
                for r, g, b, a in sub[x * SUPERSAMPLE:(x + 1) * SUPERSAMPLE]:
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
        row = []
        for r, g, b, a in sums:
            alpha = round(a / area)
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((min(255, round(r / a * 255)), min(255, round(g / a * 255)),
                            min(255, round(b / a * 255)), alpha))
        rows.append(row)
    return rows


# ---- output ----

def ico_entry(rows):
    """One icon image: BITMAPINFOHEADER (height doubled), bottom-up BGRA with straight alpha, AND mask."""
    size = len(rows)
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
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def ico_bytes(images):
    """An .ico file of (size, rows) images, in the order given."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, rows in images:
        entry = ico_entry(rows)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(entry), offset + len(data))
        data += entry
    return directory + entries + data


def png_bytes(rows):
    """An 8-bit RGBA PNG of rows of RGBA tuples."""
    width, height = len(rows[0]), len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def sheet(grid, size, zoom, background, gap=8):
    """grid: rows of icon images at size; each drawn zoom times (nearest) on the background, with gaps."""
    cell = size * zoom
    columns = max(len(r) for r in grid)
    width = gap + columns * (cell + gap)
    height = gap + len(grid) * (cell + gap)
    out = [[background + (255,)] * width for _ in range(height)]
    for j, images in enumerate(grid):
        for i, rows in enumerate(images):
            left, top = gap + i * (cell + gap), gap + j * (cell + gap)
            for y in range(cell):
                line = out[top + y]
                for x in range(cell):
                    r, g, b, a = rows[y // zoom][x // zoom]
                    line[left + x] = tuple((c * a + k * (255 - a)) // 255 for c, k in zip((r, g, b), background)) + (255,)
    return out


def rc_text(icons):
    lines = ["// Ribbon button icons: one ICON resource per image name, named as the image. Generated by",
             "// icons/make-icons.py from icons/icons.txt; edit those, not this file.", ""]
    width = max(len(i.name) for i in icons)
    for icon in sorted(icons, key=lambda i: i.name.lower()):
        lines.append(f'{icon.name.ljust(width)} ICON "icons/{icon.name}.ico"')
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description="Make the ribbon button icons from icons.txt.")
    parser.add_argument("--preview", metavar="DIR", help="also write PNG contact sheets to DIR")
    parser.add_argument("--only", metavar="NAME", action="append", help="make only these icons (repeatable)")
    args = parser.parse_args()
    try:
        palette, templates, icons = read_source(os.path.join(HERE, "icons.txt"))
        chosen = [i for i in icons if not args.only or i.name in args.only]
        rendered = {}
        for icon in chosen:
            rendered[icon.name] = {size: render(icon, palette, templates, size) for size in SIZES}
            with open(os.path.join(HERE, icon.name + ".ico"), "wb") as f:
                f.write(ico_bytes([(size, rendered[icon.name][size]) for size in SIZES]))
        if not args.only:
            known = {i.name + ".ico" for i in icons}
            for stale in sorted(f for f in os.listdir(HERE) if f.endswith(".ico") and f not in known):
                os.remove(os.path.join(HERE, stale))
            with open(os.path.join(HERE, "..", "addin-icons.rc"), "w", encoding="utf-8", newline="") as f:
                f.write(rc_text(icons))
        if args.preview:
            os.makedirs(args.preview, exist_ok=True)
            sections = []
            for icon in chosen:
                if not sections or sections[-1][0] != icon.section:
                    sections.append((icon.section, []))
                sections[-1][1].append(rendered[icon.name])
            grid = lambda size: [[r[size] for r in group] for _, group in sections]
            for name, size, zoom, bg in (("sheet-48-light", 48, 2, (255, 255, 255)),
                                         ("sheet-48-dark", 48, 2, (45, 45, 48)),
                                         ("sheet-32", 32, 2, (243, 243, 243)),
                                         ("sheet-16", 16, 4, (243, 243, 243))):
                with open(os.path.join(args.preview, name + ".png"), "wb") as f:
                    f.write(png_bytes(sheet(grid(size), size, zoom, bg)))
            with open(os.path.join(args.preview, "order.txt"), "w", encoding="utf-8") as f:
                for title, _ in sections:
                    f.write(title + ": " + " ".join(i.name for i in chosen if i.section == title) + "\n")
    except SourceError as e:
        print(f"make-icons: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
