#!/usr/bin/env python3
"""Draws the program's icons into .ico files (usage: make_icons.py OUTPUT_FOLDER).

Every picture is described once in a 32 by 32 unit design space and rendered at each size it is
needed in: shapes are filled at several samples per pixel and averaged, which gives the edges their
anti-aliasing. Only the standard library is used and nothing depends on time or machine, so the same
script always writes the same bytes.
"""
import math
import os
import struct
import sys
import zlib

SUPERSAMPLING = 5
DESIGN = 32.0

# --- Geometry --------------------------------------------------------------------------------------


def signed_area(contour):
    area = 0.0
    for i, (x0, y0) in enumerate(contour):
        x1, y1 = contour[(i + 1) % len(contour)]
        area += x0 * y1 - x1 * y0
    return area / 2.0


def oriented(contour):
    """The same contour, counter-clockwise in y-down coordinates, so that overlapping parts add up."""
    return contour if signed_area(contour) >= 0 else list(reversed(contour))


def offset(contour, d):
    """Moves every edge of a simple polygon outward by d (inward when d < 0), with mitred corners."""
    pts = [p for i, p in enumerate(contour) if math.dist(p, contour[i - 1]) > 1e-9]
    pts = oriented(pts)
    n = len(pts)
    lines = []
    for i in range(n):
        x0, y0 = pts[i]
        x1, y1 = pts[(i + 1) % n]
        length = math.hypot(x1 - x0, y1 - y0)
        # With a positive area the interior lies to the left of each edge: this normal points out.
        nx, ny = (y1 - y0) / length, -(x1 - x0) / length
        lines.append(((x0 + nx * d, y0 + ny * d), (x1 - x0, y1 - y0)))
    out = []
    for i in range(n):
        (px, py), (ax, ay) = lines[i - 1]
        (qx, qy), (bx, by) = lines[i]
        denom = ax * by - ay * bx
        if abs(denom) < 1e-9:
            out.append((qx, qy))
            continue
        t = ((qx - px) * by - (qy - py) * bx) / denom
        out.append((px + ax * t, py + ay * t))
    return out


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def rounded_rect(x0, y0, x1, y1, r, steps=8):
    r = max(0.0, min(r, (x1 - x0) / 2, (y1 - y0) / 2))
    if r == 0:
        return rect(x0, y0, x1, y1)
    pts = []
    for cx, cy, start in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for s in range(steps + 1):
            a = math.radians(start + 90.0 * s / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def ellipse(cx, cy, rx, ry, steps=48):
    return [(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps)) for i in range(steps)]


def arc_band(cx, cy, r_out, r_in, a0, a1, steps=40):
    """A ring segment between angles a0 and a1 (degrees, clockwise on screen)."""
    outer = [(cx + r_out * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
              cy + r_out * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]
    inner = [(cx + r_in * math.cos(math.radians(a1 - (a1 - a0) * i / steps)),
              cy + r_in * math.sin(math.radians(a1 - (a1 - a0) * i / steps))) for i in range(steps + 1)]
    return outer + inner


def polar(cx, cy, r, degrees):
    a = math.radians(degrees)
    return (cx + r * math.cos(a), cy + r * math.sin(a))


def rotated(contour, cx, cy, degrees):
    a = math.radians(degrees)
    c, s = math.cos(a), math.sin(a)
    return [(cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c) for x, y in contour]


def plus_shape(cx, cy, arm, half):
    t, a = half, arm
    return [(cx + x, cy + y) for x, y in ((t, -a), (t, -t), (a, -t), (a, t), (t, t), (t, a),
                                          (-t, a), (-t, t), (-a, t), (-a, -t), (-t, -t), (-t, -a))]

# --- Rendering -------------------------------------------------------------------------------------


def rgb(hex_text, alpha=255):
    v = int(hex_text.lstrip("#"), 16)
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255, alpha)


def vertical(top, bottom, y_top, y_bottom):
    """A paint that blends from one colour at y_top to another at y_bottom."""
    def paint(y):
        t = 0.0 if y_bottom == y_top else min(1.0, max(0.0, (y - y_top) / (y_bottom - y_top)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return paint


class Canvas:
    def __init__(self, size):
        self.size = size
        self.n = size * SUPERSAMPLING
        self.k = self.n / DESIGN        # samples per design unit
        self.px = DESIGN / size         # one pixel in design units
        self.buf = [0.0] * (self.n * self.n * 4)   # premultiplied, 0..1

    def fill(self, contours, paint):
        """Fills the union of the contours (non-zero winding) with a colour or a vertical paint."""
        if contours and isinstance(contours[0], tuple):
            contours = [contours]
        edges = []
        for c in contours:
            c = oriented(c)
            for i in range(len(c)):
                (x0, y0), (x1, y1) = c[i], c[(i + 1) % len(c)]
                if y0 != y1:
                    edges.append((x0, y0, x1, y1))
        if not edges:
            return
        ys = [v for e in edges for v in (e[1], e[3])]
        row0 = max(0, int(math.floor(min(ys) * self.k)))
        row1 = min(self.n - 1, int(math.ceil(max(ys) * self.k)))
        for row in range(row0, row1 + 1):
            y = (row + 0.5) / self.k
            crossings = []
            for x0, y0, x1, y1 in edges:
                if (y0 <= y < y1) or (y1 <= y < y0):
                    x = x0 + (y - y0) * (x1 - x0) / (y1 - y0)
                    crossings.append((x, 1 if y1 > y0 else -1))
            if not crossings:
                continue
            crossings.sort()
            colour = paint(y) if callable(paint) else paint
            r, g, b, a = (colour[0] / 255.0, colour[1] / 255.0, colour[2] / 255.0, colour[3] / 255.0)
            winding = 0
            start = 0.0
            for x, direction in crossings:
                before = winding
                winding += direction
                if before == 0 and winding != 0:
                    start = x
                elif before != 0 and winding == 0:
                    self._span(row, start, x, r, g, b, a)

    def _span(self, row, xa, xb, r, g, b, a):
        c0 = max(0, int(math.ceil(xa * self.k - 0.5)))
        c1 = min(self.n, int(math.ceil(xb * self.k - 0.5)))
        buf = self.buf
        keep = 1.0 - a
        base = row * self.n * 4
        for col in range(c0, c1):
            i = base + col * 4
            buf[i] = r * a + buf[i] * keep
            buf[i + 1] = g * a + buf[i + 1] * keep
            buf[i + 2] = b * a + buf[i + 2] * keep
            buf[i + 3] = a + buf[i + 3] * keep

    def framed(self, shape, border, inside, width=None):
        """A shape with a one-pixel border: the shape in the border colour, then inset in its own."""
        width = self.px if width is None else width
        self.fill(shape, border)
        self.fill(offset(shape, -width), inside)

    def pixels(self):
        """Rows of (r, g, b, a), top row first, straight (not premultiplied) alpha."""
        s = SUPERSAMPLING
        count = float(s * s)
        rows = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(s):
                    base = ((y * s + sy) * self.n + x * s) * 4
                    for sx in range(s):
                        i = base + sx * 4
                        acc[0] += self.buf[i]
                        acc[1] += self.buf[i + 1]
                        acc[2] += self.buf[i + 2]
                        acc[3] += self.buf[i + 3]
                alpha = acc[3] / count
                if alpha <= 0.0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(to_byte(acc[c] / count / alpha) for c in range(3)) + (to_byte(alpha),))
            rows.append(row)
        return rows


def to_byte(v):
    return max(0, min(255, int(v * 255.0 + 0.5)))


def greyed(rows):
    """The disabled form: no colour, less contrast, lighter and a little transparent."""
    out = []
    for row in rows:
        new_row = []
        for r, g, b, a in row:
            lum = 0.299 * r + 0.587 * g + 0.114 * b
            v = to_byte((0.45 * lum + 0.55 * 175.0) / 255.0)
            new_row.append((v, v, v, to_byte(a * 0.75 / 255.0)))
        out.append(new_row)
    return out

# --- The pictures ----------------------------------------------------------------------------------

OUTLINE = rgb("#3a3f47")


def draw_phone(c, x0, y0, x1, y1, radius, screen_inset, screen_top, screen_bottom, home=True):
    body = rounded_rect(x0, y0, x1, y1, radius)
    c.framed(body, rgb("#16181c"), vertical(rgb("#5b6370"), rgb("#2a2e35"), y0, y1))
    screen = rect(x0 + screen_inset, y0 + screen_top, x1 - screen_inset, y1 - screen_bottom)
    c.fill(screen, vertical(rgb("#9fd8ff"), rgb("#2c73c9"), y0 + screen_top, y1 - screen_bottom))
    # A soft reflection across the upper half of the glass.
    sx0, sy0, sx1, sy1 = x0 + screen_inset, y0 + screen_top, x1 - screen_inset, y1 - screen_bottom
    c.fill([(sx0, sy0), (sx1, sy0), (sx1, sy0 + (sy1 - sy0) * 0.25), (sx0, sy0 + (sy1 - sy0) * 0.55)], (255, 255, 255, 60))
    if home and c.size >= 32:
        cx = (x0 + x1) / 2
        cy = y1 - screen_bottom / 2
        r = max(c.px * 1.2, min(1.6, screen_bottom / 3.2))
        c.fill(ellipse(cx, cy, r, r), rgb("#8a919c"))
        c.fill(ellipse(cx, cy, r - c.px * 0.8, r - c.px * 0.8), rgb("#3b4048"))
        c.fill(rounded_rect(cx - 2, y0 + screen_top / 2 - 0.5, cx + 2, y0 + screen_top / 2 + 0.5, 0.5), rgb("#8a919c"))


def draw_document(c, x0, y0, x1, y1, fold):
    page = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    c.framed(page, rgb("#4b5563"), vertical(rgb("#ffffff"), rgb("#e4e9f0"), y0, y1))
    ear = [(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)]
    c.framed(ear, rgb("#4b5563"), rgb("#c9d2de"))
    step = max(3.5, c.px * 2)
    thickness = max(1.2, c.px)
    y = y0 + fold + step * 0.6
    while y + thickness < y1 - c.px * 1.5:
        right = x1 - 2.5 * c.px if y > y0 + fold else x1 - fold - c.px
        c.fill(rect(x0 + 2.5 * c.px, y, right, y + thickness), rgb("#6d8fb8"))
        y += step


def draw_program(c):
    draw_phone(c, 3, 1, 19, 29, 3.5, 2, 4.5, 4.5)
    draw_document(c, 13, 10, 29, 31, 5)


def draw_folder(c, top=6):
    back = [(2, top), (12, top), (14.5, top + 3), (30, top + 3), (30, 28), (2, 28)]
    c.framed(back, rgb("#8a5a00"), vertical(rgb("#e8b234"), rgb("#c98e12"), top, 28))
    front = [(2, top + 7), (30, top + 7), (30, 28), (2, 28)]
    c.framed(front, rgb("#8a5a00"), vertical(rgb("#ffe58a"), rgb("#f2b83a"), top + 7, 28))


def draw_new_folder(c):
    draw_folder(c)
    shape = plus_shape(23.5, 22.5, 7.5, 2.5)
    c.fill(offset(shape, c.px), rgb("#ffffff"))
    c.framed(shape, rgb("#1d6b22"), vertical(rgb("#67d36b"), rgb("#2f9a35"), 15, 30))


def draw_delete(c):
    cross = rotated(plus_shape(16, 16, 13, 3.5), 16, 16, 45)
    c.framed(cross, rgb("#7a1410"), vertical(rgb("#ff7b6b"), rgb("#c62617"), 3, 29))


def draw_up(c):
    draw_folder(c, top=9)
    arrow = [(16, 1.5), (26, 12), (20, 12), (20, 25), (12, 25), (12, 12), (6, 12)]
    c.fill(offset(arrow, c.px), (255, 255, 255, 220))
    c.framed(arrow, rgb("#123f8a"), vertical(rgb("#6fb2ff"), rgb("#1f5fc4"), 1.5, 25))


def draw_refresh(c):
    cx, cy = 16.0, 16.0
    # At 16 pixels a border would fill the gaps between the arrows: the arrows go without one there.
    small = c.size < 32
    r_out, r_in = (12.0, 8.0) if small else (12.5, 8.0)
    spread, lead = (4.0, 55.0) if small else (3.2, 38.0)
    mid = (r_out + r_in) / 2
    paint = vertical(rgb("#4fc455"), rgb("#1f7a25"), 3, 29)
    arcs = ((195.0, 300.0), (15.0, 120.0)) if small else ((200.0, 320.0), (20.0, 140.0))
    heads = [[polar(cx, cy, r_out + spread, end), polar(cx, cy, mid, end + lead), polar(cx, cy, r_in - spread, end)]
             for _, end in arcs]
    if not small:
        grow = math.degrees(c.px / mid)
        for (start, end), head in zip(arcs, heads):
            c.fill(arc_band(cx, cy, r_out + c.px, r_in - c.px, start - grow, end), rgb("#1b5e20"))
            c.fill(offset(head, c.px), rgb("#1b5e20"))
    for (start, end), head in zip(arcs, heads):
        c.fill(arc_band(cx, cy, r_out, r_in, start, end + 1.0), paint)
        c.fill(head, paint)


def draw_ipad(c):
    draw_phone(c, 4, 1.5, 28, 30.5, 3, 3, 3.5, 3.5)


def draw_iphone(c):
    draw_phone(c, 8.5, 1, 23.5, 31, 3.5, 1.5, 4.5, 4.5)


def app_tile(c):
    tile = rounded_rect(2, 2, 30, 30, 6.5)
    c.framed(tile, rgb("#0b4f5c"), vertical(rgb("#3fc7c2"), rgb("#12708a"), 2, 30))
    shine = rounded_rect(2 + c.px, 2 + c.px, 30 - c.px, 14, 5.5)
    c.fill(shine, (255, 255, 255, 45))


def glyph(c, contours):
    for contour in contours:
        c.fill(offset(contour, c.px * 0.75), (6, 60, 72, 110))
    c.fill(contours, (255, 255, 255, 255))


def draw_edition4(c):
    app_tile(c)
    glyph(c, [[(17.5, 6.5), (22, 6.5), (22, 25.5), (17.5, 25.5)],
              [(17.5, 6.5), (22, 6.5), (12.2, 18.3), (7.5, 18.3)],
              rect(7.5, 17.5, 25, 21.5)])


def draw_edition(c):
    app_tile(c)
    glyph(c, [rect(8, 7, 24, 11), rect(13.75, 7, 18.25, 25.5)])

# --- Icon files ------------------------------------------------------------------------------------


def render(draw, size):
    c = Canvas(size)
    draw(c)
    return c.pixels()


def dib(rows):
    """A 32-bit icon image: header, colours bottom-up in BGRA, then the 1-bit transparency mask."""
    size = len(rows)
    colours = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colours) + len(mask), 0, 0, 0, 0)
    return header + colours + bytes(mask)


def png(rows):
    """A 32-bit image as PNG, the form Windows reads the 256-pixel image of an icon in."""
    size = len(rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def ico(images):
    entries = b""
    data = b""
    offset_now = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        # Large images as a bitmap would make the program a quarter of a megabyte heavier each.
        blob = png(rows) if size >= 256 else dib(rows)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset_now)
        data += blob
        offset_now += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + data


# The sizes Windows asks for from 100 % to 200 % scale: small icons (16 at 100 %) up to 32, large ones
# (32 at 100 %) up to 64, and 256 for Explorer's largest views and the setup.
SMALL = (16, 20, 24, 32, 40, 48)
LARGE = (16, 20, 24, 32, 40, 48, 64)
PROGRAM = (16, 20, 24, 32, 40, 48, 64, 256)

# id: (drawing, sizes, disabled). The About picture puts 48 first, the size a static control shows
# when it is asked for the picture's own size; the About box asks for 72 and 96 at 150 and 200 %.
ICONS = {
    100: (draw_program, PROGRAM, False),
    104: (draw_new_folder, SMALL, False),
    105: (draw_delete, SMALL, False),
    106: (draw_up, SMALL, False),
    110: (draw_delete, SMALL, True),
    111: (draw_new_folder, SMALL, True),
    112: (draw_up, SMALL, True),
    120: (draw_program, (48, 16, 20, 24, 32, 40, 64, 72, 96, 256), False),
    124: (draw_ipad, LARGE, False),
    125: (draw_iphone, LARGE, False),
    126: (draw_edition4, LARGE, False),
    127: (draw_edition, LARGE, False),
    130: (draw_refresh, SMALL, False),
    131: (draw_refresh, SMALL, True),
}


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icons.py OUTPUT_FOLDER")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    cache = {}
    for icon_id, (draw, sizes, disabled) in sorted(ICONS.items()):
        images = []
        for size in sizes:
            key = (draw.__name__, size)
            if key not in cache:
                cache[key] = render(draw, size)
            images.append(greyed(cache[key]) if disabled else cache[key])
        path = os.path.join(out, "icon%d.ico" % icon_id)
        data = ico(images)
        # Rewrite only on change, so an unchanged drawing does not rebuild the resources.
        if os.path.exists(path):
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
