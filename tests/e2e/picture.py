"""What a picture of the window shows, measured as a person would judge it
by eye: where each control's outline is, where its text's ink is, and
whether the lookup glyph is drawn pixel for pixel.

A picture is (width, height, rows of RGB bytes), as Desktop.capture gives.
Boxes are (left, top, right, bottom), right and bottom exclusive.
"""

import subprocess


def pixel(picture, x, y):
    return picture[2][y][x * 3:x * 3 + 3]


def background(picture):
    """The window's own colour, from its bottom-left corner, where no
    control is."""
    return pixel(picture, 2, picture[1] - 3)


def clip(picture, box):
    left, top, right, bottom = box
    return max(0, left), max(0, top), min(picture[0], right), min(picture[1], bottom)


def bounding_box(picture, box, keep):
    """The smallest box holding every pixel inside box for which keep(rgb)
    is true, or None."""
    left, top, right, bottom = clip(picture, box)
    xs, ys = [], []
    for y in range(top, bottom):
        row = picture[2][y]
        hits = [x for x in range(left, right) if keep(row[x * 3:x * 3 + 3])]
        if hits:
            xs += (hits[0], hits[-1])
            ys.append(y)
    if not ys:
        return None
    return min(xs), ys[0], max(xs) + 1, ys[-1] + 1


def outline(picture, box):
    """The box of everything drawn inside box that is not the window's
    background: a framed control's outer edge."""
    plain = background(picture)
    return bounding_box(picture, box, lambda rgb: rgb != plain)


def ink(picture, box):
    """The box of the dark pixels inside box: text's ink."""
    return bounding_box(picture, box,
                        lambda rgb: rgb[0] * 299 + rgb[1] * 587 + rgb[2] * 114 < 120000)


def scaled(box, scale):
    return tuple(round(v * scale) for v in box)


def size(box):
    return box[2] - box[0], box[3] - box[1]


def inside(inner, outer, margin):
    return (inner[0] - outer[0] >= margin and inner[1] - outer[1] >= margin
            and outer[2] - inner[2] >= margin and outer[3] - inner[3] >= margin)


def read_glyph(path):
    """The normal image of a glyph bitmap (the left half of two side by
    side): rows of 16 RGB pixels, None where transparent, as the button
    takes its bottom-left pixel's colour to be."""
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True, timeout=30).stdout
    width, height = 32, 16
    if len(raw) != width * height * 3:
        raise ValueError(f"{path} is not a 32x16 bitmap")
    transparent = raw[(height - 1) * width * 3:(height - 1) * width * 3 + 3]
    glyph = []
    for y in range(height):
        row = []
        for x in range(width // 2):
            rgb = raw[(y * width + x) * 3:(y * width + x) * 3 + 3]
            row.append(None if rgb == transparent else rgb)
        glyph.append(row)
    return glyph


def find_glyph(picture, box, glyph, factor):
    """The places inside box where the glyph is drawn with every pixel a
    factor x factor block of exactly its colour."""
    opaque = [(x, y, rgb) for y, row in enumerate(glyph) for x, rgb in enumerate(row) if rgb]
    side = len(glyph) * factor
    left, top, right, bottom = clip(picture, box)
    found = []
    for oy in range(top, bottom - side + 1):
        for ox in range(left, right - side + 1):
            if all(pixel(picture, ox + x * factor + dx, oy + y * factor + dy) == rgb
                   for x, y, rgb in opaque for dy in range(factor) for dx in range(factor)):
                found.append((ox, oy))
    return found
