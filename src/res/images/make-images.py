#!/usr/bin/env python3
# Makes the browser window's 16x16 image strips from their pixel-art text sources in this folder:
#   property-images.txt -> property-images.bmp   (8 images: number, text, object, date, Boolean, currency, no value, method)
#   toolbar-images.txt  -> toolbar-images.bmp    (10 images: Refresh ... New, in toolbar button order)
# Both use the colours of palette.txt. The .bmp files are committed and embedded by quillspar.rc as
# PROPERTYIMAGES and TOOLBARIMAGES; code loads them with LoadImageW(..., LR_CREATEDIBSECTION) and adds
# them to an ILC_COLOR32 image list.
#
# Editing:
#   - palette.txt: one colour a line, "<char> <RRGGBB or RRGGBBAA> <description>". '.' is always fully
#     transparent and is not listed. Alpha is straight (not premultiplied), as image lists expect.
#   - the image files: a header line "[<index> <name>]" followed by 16 lines of 16 palette characters.
#     Indices run from 0 in the order the code uses them; the names below must match, so that images
#     cannot be reordered by accident. Lines starting with ';' and blank lines between images are ignored.
#
# Regenerating (Python 3 standard library only), from the project root:
#   python3 src/res/images/make-images.py                      # rewrites the two .bmp files
#   python3 src/res/images/make-images.py --preview /tmp/qs-images
#     also writes 4x PNG previews on white, light grey and dark backgrounds; do not commit those.
# The output is byte-for-byte reproducible, so an unchanged source gives an unchanged .bmp.

import argparse
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 16

# Image strips: source name and the image names in index order.
STRIPS = {
    "property-images": ["number", "text", "object", "date", "boolean", "currency", "no-value", "method"],
    "toolbar-images": ["refresh", "browse", "query-interface", "call", "help", "clear", "run", "open", "save",
                       "new"],
}


class SourceError(Exception):
    pass


def read_palette(path):
    """Returns {char: (r, g, b, a)} from palette.txt; '.' is transparent."""
    palette = {".": (0, 0, 0, 0)}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.strip()
            if not text or text.startswith(";"):
                continue
            fields = text.split(None, 2)
            if len(fields) < 2 or len(fields[0]) != 1 or len(fields[1]) not in (6, 8):
                raise SourceError(f"{path}:{number}: expected '<char> <RRGGBB[AA]> <description>'")
            char, hexa = fields[0], fields[1]
            if char in "[;":
                raise SourceError(f"{path}:{number}: '{char}' cannot be a colour: it starts headers and comments")
            if char in palette:
                raise SourceError(f"{path}:{number}: colour '{char}' defined twice")
            try:
                value = int(hexa, 16)
            except ValueError:
                raise SourceError(f"{path}:{number}: '{hexa}' is not a hexadecimal colour") from None
            if len(hexa) == 6:
                value = (value << 8) | 0xFF
            palette[char] = ((value >> 24) & 0xFF, (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)
    return palette


def read_images(path, names, palette):
    """Returns the images of one source, in index order, each a list of 16 rows of RGBA tuples."""
    images = []
    current = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        text = line.rstrip()
        where = f"{path}:{number}"
        if text.startswith(";"):
            continue
        if text.startswith("["):
            if current is not None and len(current) != SIZE:
                raise SourceError(f"{where}: the previous image has {len(current)} rows, not {SIZE}")
            header = text.strip("[]").split()
            index = len(images)
            if len(header) != 2 or header[0] != str(index):
                raise SourceError(f"{where}: expected '[{index} <name>]'")
            if index >= len(names) or header[1] != names[index]:
                expected = names[index] if index < len(names) else "no further image"
                raise SourceError(f"{where}: image {index} must be '{expected}', not '{header[1]}'")
            current = []
            images.append(current)
            continue
        if not text:
            if current is not None and 0 < len(current) < SIZE:
                raise SourceError(f"{where}: blank line inside an image")
            continue
        if current is None:
            raise SourceError(f"{where}: pixels before the first '[<index> <name>]' header")
        if len(current) == SIZE:
            raise SourceError(f"{where}: more than {SIZE} rows")
        if len(text) != SIZE:
            raise SourceError(f"{where}: row has {len(text)} pixels, not {SIZE}")
        unknown = sorted(set(text) - palette.keys())
        if unknown:
            raise SourceError(f"{where}: colours not in the palette: {' '.join(unknown)}")
        current.append([palette[c] for c in text])
    if current is not None and len(current) != SIZE:
        raise SourceError(f"{path}: the last image has {len(current)} rows, not {SIZE}")
    if len(images) != len(names):
        raise SourceError(f"{path}: {len(images)} images, expected {len(names)}")
    return images


def strip_rows(images):
    """The images side by side: SIZE rows, top first, of RGBA tuples."""
    return [[pixel for image in images for pixel in image[y]] for y in range(SIZE)]


def bmp_bytes(rows):
    """A 32 bpp BI_RGB bottom-up bitmap file with straight alpha in the fourth byte of each pixel."""
    width, height = len(rows[0]), len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a) if a else (0, 0, 0, 0))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def png_bytes(rows):
    """An 8-bit RGBA PNG of rows of RGBA tuples."""
    width, height = len(rows[0]), len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def preview_rows(images, scale=4, gap=2):
    """The images scaled up, with gaps, on three bands: white, light grey and dark."""
    backgrounds = [(255, 255, 255), (240, 240, 240), (45, 45, 48)]
    cell = SIZE * scale
    width = len(images) * (cell + gap * scale) + gap * scale
    rows = []
    for bg in backgrounds:
        band = [[bg + (255,) for _ in range(width)] for _ in range(cell + 2 * gap * scale)]
        for i, image in enumerate(images):
            left = gap * scale + i * (cell + gap * scale)
            for y in range(cell):
                for x in range(cell):
                    r, g, b, a = image[y // scale][x // scale]
                    band[gap * scale + y][left + x] = tuple((c * a + k * (255 - a)) // 255
                                                            for c, k in zip((r, g, b), bg)) + (255,)
        rows += band
    return rows


def main():
    parser = argparse.ArgumentParser(description="Make the browser window's image strips from their text sources.")
    parser.add_argument("--preview", metavar="DIR", help="also write 4x PNG previews to DIR")
    args = parser.parse_args()
    try:
        palette = read_palette(os.path.join(HERE, "palette.txt"))
        for name, names in STRIPS.items():
            images = read_images(os.path.join(HERE, name + ".txt"), names, palette)
            with open(os.path.join(HERE, name + ".bmp"), "wb") as f:
                f.write(bmp_bytes(strip_rows(images)))
            if args.preview:
                os.makedirs(args.preview, exist_ok=True)
                with open(os.path.join(args.preview, name + ".png"), "wb") as f:
                    f.write(png_bytes(preview_rows(images)))
    except SourceError as e:
        print(f"make-images: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
