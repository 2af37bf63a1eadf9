"""Tiny anti-aliased vector rasteriser and PNG reader/writer (pure Python).

Shapes are polygons (lists of (x, y) points in pixel units, y down).
Coverage is estimated with S x S supersampling per pixel, non-zero winding.
"""
import math
import struct
import zlib

S = 8  # supersampling per axis


def hexcol(h, a=1.0):
    h = h.lstrip('#')
    return (int(h[0:2], 16) / 255.0, int(h[2:4], 16) / 255.0, int(h[4:6], 16) / 255.0, a)


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [(0.0, 0.0, 0.0, 0.0)] * (w * h)  # straight (non-premultiplied) RGBA

    # ---- compositing -------------------------------------------------
    def blend(self, x, y, col, cov):
        r, g, b, a = col
        a *= cov
        if a <= 0:
            return
        i = y * self.w + x
        dr, dg, db, da = self.px[i]
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        orr = (r * a + dr * da * (1 - a)) / oa
        og = (g * a + dg * da * (1 - a)) / oa
        ob = (b * a + db * da * (1 - a)) / oa
        self.px[i] = (orr, og, ob, oa)

    def erase(self, x, y, cov):
        """Reduce alpha (destination-out)."""
        i = y * self.w + x
        r, g, b, a = self.px[i]
        self.px[i] = (r, g, b, a * (1 - cov))

    # ---- coverage ----------------------------------------------------
    def coverage(self, polys):
        w, h = self.w, self.h
        cov = [0.0] * (w * h)
        edges = []
        for poly in polys:
            n = len(poly)
            for k in range(n):
                x0, y0 = poly[k]
                x1, y1 = poly[(k + 1) % n]
                if y0 == y1:
                    continue
                d = 1 if y1 > y0 else -1
                edges.append((x0, y0, x1, y1, d))
        if not edges:
            return cov
        ymin = max(0, int(math.floor(min(min(e[1], e[3]) for e in edges))))
        ymax = min(h, int(math.ceil(max(max(e[1], e[3]) for e in edges))))
        inc = 1.0 / (S * S)
        for py in range(ymin, ymax):
            for sy in range(S):
                y = py + (sy + 0.5) / S
                xs = []
                for (x0, y0, x1, y1, d) in edges:
                    lo, hi = (y0, y1) if y0 < y1 else (y1, y0)
                    if lo <= y < hi:
                        t = (y - y0) / (y1 - y0)
                        xs.append((x0 + t * (x1 - x0), d))
                if not xs:
                    continue
                xs.sort()
                wind = 0
                for k in range(len(xs) - 1):
                    wind += xs[k][1]
                    if wind == 0:
                        continue
                    xa, xb = xs[k][0], xs[k + 1][0]
                    # sample columns j with (j+0.5)/S in [xa, xb)
                    j0 = max(0, int(math.ceil(xa * S - 0.5)))
                    j1 = min(w * S - 1, int(math.ceil(xb * S - 0.5)) - 1)
                    row = py * w
                    for j in range(j0, j1 + 1):
                        cov[row + j // S] += inc
        return cov

    def covered(self, polys):
        """Yields (x, y, coverage 0..1) for every pixel the polygons touch."""
        if polys and isinstance(polys[0], tuple):
            polys = [polys]
        cov = self.coverage(polys)
        for y in range(self.h):
            for x in range(self.w):
                c = cov[y * self.w + x]
                if c > 0:
                    yield x, y, min(1.0, c)

    def fill(self, polys, paint):
        """paint: RGBA tuple or function (x, y) -> RGBA (x, y = pixel centre)."""
        for x, y, c in self.covered(polys):
            col = paint(x + 0.5, y + 0.5) if callable(paint) else paint
            self.blend(x, y, col, c)

    def cut(self, polys):
        for x, y, c in self.covered(polys):
            self.erase(x, y, c)

    def stroke(self, pts, width, paint, closed=False, cap='round'):
        self.fill(stroke_polys(pts, width, closed, cap), paint)

    def paste(self, other, ox=0, oy=0):
        for y in range(other.h):
            for x in range(other.w):
                tx, ty = x + ox, y + oy
                if 0 <= tx < self.w and 0 <= ty < self.h:
                    r, g, b, a = other.px[y * other.w + x]
                    if a > 0:
                        self.blend(tx, ty, (r, g, b, a), 1.0)

    # ---- IO ------------------------------------------------------------
    def save(self, path, deflate=True):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a <= 0.0005:
                    raw += b'\0\0\0\0'
                    continue
                raw += bytes(max(0, min(255, int(round(v * 255)))) for v in (r, g, b, a))
        def chunk(t, d):
            c = struct.pack('>I', len(d)) + t + d
            return c + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
        data = b'\x89PNG\r\n\x1a\n'
        data += chunk(b'IHDR', struct.pack('>IIBBBBB', self.w, self.h, 8, 6, 0, 0, 0))
        data += chunk(b'IDAT', zlib.compress(bytes(raw), 9 if deflate else 0))
        data += chunk(b'IEND', b'')
        with open(path, 'wb') as f:
            f.write(data)

    @staticmethod
    def load(path):
        """Load an 8-bit RGBA or RGB, non-interlaced PNG."""
        with open(path, 'rb') as f:
            data = f.read()
        assert data[:8] == b'\x89PNG\r\n\x1a\n', path
        pos = 8
        idat = b''
        while pos < len(data):
            ln, = struct.unpack('>I', data[pos:pos + 4])
            t = data[pos + 4:pos + 8]
            d = data[pos + 8:pos + 8 + ln]
            pos += 12 + ln
            if t == b'IHDR':
                w, h, bd, ct, _, _, il = struct.unpack('>IIBBBBB', d)
                assert bd == 8 and ct in (2, 6) and il == 0, (path, bd, ct, il)
            elif t == b'IDAT':
                idat += d
        bpp = 4 if ct == 6 else 3
        raw = zlib.decompress(idat)
        stride = w * bpp
        out = bytearray()
        prev = bytearray(stride)
        p = 0
        for y in range(h):
            ft = raw[p]; p += 1
            line = bytearray(raw[p:p + stride]); p += stride
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if ft == 1:
                    line[i] = (line[i] + a) & 255
                elif ft == 2:
                    line[i] = (line[i] + b) & 255
                elif ft == 3:
                    line[i] = (line[i] + ((a + b) >> 1)) & 255
                elif ft == 4:
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    pr = a if (pa <= pb and pa <= pc) else (b if pb <= pc else c)
                    line[i] = (line[i] + pr) & 255
            out += line
            prev = line
        cv = Canvas(w, h)
        px = []
        for i in range(w * h):
            q = out[i * bpp:(i + 1) * bpp]
            if bpp == 4:
                px.append((q[0] / 255.0, q[1] / 255.0, q[2] / 255.0, q[3] / 255.0))
            else:
                px.append((q[0] / 255.0, q[1] / 255.0, q[2] / 255.0, 1.0))
        cv.px = px
        return cv


# ---- geometry helpers -------------------------------------------------

def area(poly):
    s = 0.0
    n = len(poly)
    for k in range(n):
        x0, y0 = poly[k]
        x1, y1 = poly[(k + 1) % n]
        s += x0 * y1 - x1 * y0
    return s / 2


def oriented(poly):
    return poly if area(poly) >= 0 else poly[::-1]


def circle(cx, cy, r, n=48):
    return oriented([(cx + r * math.cos(2 * math.pi * k / n), cy + r * math.sin(2 * math.pi * k / n)) for k in range(n)])


def ellipse(cx, cy, rx, ry, n=48):
    return oriented([(cx + rx * math.cos(2 * math.pi * k / n), cy + ry * math.sin(2 * math.pi * k / n)) for k in range(n)])


def rect(x0, y0, x1, y1):
    return oriented([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


def rrect(x0, y0, x1, y1, r, n=8):
    pts = []
    for (cx, cy, a0) in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for k in range(n + 1):
            a = math.radians(a0 + 90 * k / n)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return oriented(pts)


def bezier(p0, p1, p2, p3, n=16):
    pts = []
    for k in range(1, n + 1):
        t = k / n
        mt = 1 - t
        x = mt ** 3 * p0[0] + 3 * mt * mt * t * p1[0] + 3 * mt * t * t * p2[0] + t ** 3 * p3[0]
        y = mt ** 3 * p0[1] + 3 * mt * mt * t * p1[1] + 3 * mt * t * t * p2[1] + t ** 3 * p3[1]
        pts.append((x, y))
    return pts


def arc(cx, cy, r, a0, a1, n=24):
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * k / n)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * k / n))) for k in range(n + 1)]


def stroke_polys(pts, width, closed=False, cap='round'):
    hw = width / 2.0
    polys = []
    segs = list(zip(pts, pts[1:]))
    if closed:
        segs.append((pts[-1], pts[0]))
    for (a, b) in segs:
        dx, dy = b[0] - a[0], b[1] - a[1]
        ln = math.hypot(dx, dy)
        if ln == 0:
            continue
        nx, ny = -dy / ln * hw, dx / ln * hw
        ex, ey = (dx / ln * hw, dy / ln * hw) if cap == 'square' else (0, 0)
        polys.append(oriented([(a[0] + nx - ex, a[1] + ny - ey), (b[0] + nx + ex, b[1] + ny + ey),
                               (b[0] - nx + ex, b[1] - ny + ey), (a[0] - nx - ex, a[1] - ny - ey)]))
    joints = pts if (closed or cap == 'round') else pts[1:-1]
    for p in joints:
        polys.append(circle(p[0], p[1], hw, 24))
    return polys


def lingrad(x0, y0, x1, y1, stops):
    """stops: list of (offset, RGBA)."""
    dx, dy = x1 - x0, y1 - y0
    l2 = dx * dx + dy * dy

    def paint(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / l2
        return colour_at(stops, max(0.0, min(1.0, t)))
    return paint


def colour_at(stops, t):
    """The colour of a gradient at offset t, 0..1."""
    for k in range(len(stops) - 1):
        o0, c0 = stops[k]
        o1, c1 = stops[k + 1]
        if t <= o1:
            u = 0 if o1 == o0 else (t - o0) / (o1 - o0)
            return tuple(c0[i] + (c1[i] - c0[i]) * u for i in range(4))
    return stops[-1][1]


def radgrad(cx, cy, r, stops):
    def paint(x, y):
        return colour_at(stops, min(1.0, math.hypot(x - cx, y - cy) / r))
    return paint
