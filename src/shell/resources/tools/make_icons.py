#!/usr/bin/env python3
"""Draws the project's own icons and composes the badge variants.

Usage: make_icons.py TANGO_16x16_DIR OUTPUT_ICONS_DIR
       make_icons.py --package OUTPUT_DIR   (the application icon's larger sizes)
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import (Canvas, hexcol, circle, rect, rrect, bezier, arc, lingrad,  # noqa: E402
                    stroke_polys, oriented)

# Tango palette
BUTTER = ('#fce94f', '#edd400', '#c4a000')
CHAM = ('#8ae234', '#73d216', '#4e9a06')
SKY = ('#729fcf', '#3465a4', '#204a87')
PLUM = ('#ad7fa8', '#75507b', '#5c3566')
RED = ('#ef2929', '#cc0000', '#a40000')
ALU = ('#eeeeec', '#d3d7cf', '#babdb6', '#888a85', '#555753', '#2e3436')
CHOC = ('#e9b96e', '#c17d11', '#8f5902')
PLUM_OUTLINE = '#43244a'
WHITE = (1.0, 1.0, 1.0, 1.0)


# ---------------------------------------------------------------- shield
def shield_poly(x0, x1, ytop, ys, ymid, ybot):
    cx = (x0 + x1) / 2.0
    w = x1 - x0
    pts = [(cx, ytop)]
    pts += bezier((cx, ytop), (cx + 0.22 * w, ys - 0.2 * (ys - ytop)), (x1 - 0.15 * w, ys), (x1, ys), 10)
    pts.append((x1, ymid))
    pts += bezier((x1, ymid), (x1, ymid + 0.45 * (ybot - ymid)), (cx + 0.2 * w, ybot - 0.15 * (ybot - ymid)), (cx, ybot), 16)
    pts += bezier((cx, ybot), (cx - 0.2 * w, ybot - 0.15 * (ybot - ymid)), (x0, ymid + 0.45 * (ybot - ymid)), (x0, ymid), 16)
    pts.append((x0, ys))
    pts += bezier((x0, ys), (x0 + 0.15 * w, ys), (cx - 0.22 * w, ys - 0.2 * (ys - ytop)), (cx, ytop), 10)
    pts = pts[:-1]
    return oriented(pts)


SHIELD_GEOM = {
    # x0, x1, ytop, yshoulder, ymid, ybottom   (outline on half pixels)
    16: (2.5, 13.5, 1.0, 2.5, 8.0, 15.0),
    32: (4.5, 27.5, 2.0, 5.0, 15.5, 30.0),
    48: (6.5, 41.5, 2.5, 7.0, 23.0, 45.5),
}
# The menu's and software centre's sizes: the 48 design scaled.
for _size in (24, 64, 128, 256):
    SHIELD_GEOM[_size] = tuple(v * _size / 48.0 for v in SHIELD_GEOM[48])
PACKAGE_SIZES = (24, 64, 128, 256)


def inset_geom(g, d):
    x0, x1, ytop, ys, ymid, ybot = g
    return (x0 + d, x1 - d, ytop + d * 1.15, ys + d, ymid, ybot - d * 1.45)


def draw_shield(size, shades, check=True, split=False, outline=None, deep=False):
    c = Canvas(size, size)
    g = SHIELD_GEOM[size]
    poly = shield_poly(*g)
    light, mid, dark = (hexcol(h) for h in shades)
    c.fill(poly, lingrad(0, g[2], 0, g[5], [(0, light), (1, dark if deep else mid)]))
    if split:
        # right half a shade darker: heraldic "per pale" look
        cx = (g[0] + g[1]) / 2.0
        half = Canvas(size, size)
        half.fill(poly, lingrad(0, g[2], 0, g[5], [(0, mid), (1, dark)]))
        half.cut(rect(0, 0, cx, size))
        c.paste(half)
    lw = 1.0 if size <= 48 else size / 48.0
    # inner light edge
    ig = inset_geom(g, 1.0 if size == 16 else 1.5 * max(1.0, size / 48.0))
    c.stroke(shield_poly(*ig), lw, lingrad(0, g[2], 0, g[5], [(0, (1, 1, 1, 0.55)), (1, (1, 1, 1, 0.0))]), closed=True)
    c.stroke(poly, lw, hexcol(outline or shades[2]), closed=True)
    if check:
        k = size / 16.0
        pts = [(5.0 * k, 8.3 * k), (7.2 * k, 10.5 * k), (11.2 * k, 5.6 * k)]
        width = {16: 1.9, 32: 3.2, 48: 4.6}.get(size, 4.6 * size / 48.0)
        if size > 16:
            sh = [(x + 0.6 * k / 2, y + 0.9 * k / 2) for x, y in pts]
            c.stroke(sh, width, (0, 0, 0, 0.25))
        c.stroke(pts, width, WHITE)
    return c


# ---------------------------------------------------------------- badges
def badge_padlock(c):
    """Yellow padlock in the lower right corner of a 16x16 canvas."""
    body = rrect(8.5, 10.0, 15.5, 15.5, 0.8)
    # shackle
    sh = arc(12.0, 9.8, 2.1, 180, 360, 16)
    sh = [(sh[0][0], 10.5)] + sh + [(sh[-1][0], 10.5)]
    halo = stroke_polys(sh, 3.4) + [rrect(7.5, 9.0, 16.5, 16.5, 1.5)]
    c.cut(halo)
    c.stroke(sh, 1.4, hexcol(ALU[4]))
    c.fill(body, lingrad(0, 10, 0, 15.5, [(0, hexcol(BUTTER[0])), (1, hexcol(BUTTER[2]))]))
    c.stroke(body, 1.0, hexcol(CHOC[2]), closed=True)
    c.fill(rect(11.5, 11.5, 12.5, 14.0), hexcol(CHOC[2]))


def badge_round(c, shades, glyph):
    cx, cy, r = 11.5, 11.5, 4.0
    c.cut(circle(cx, cy, r + 1.0))
    c.fill(circle(cx, cy, r - 0.5), lingrad(0, cy - r, 0, cy + r, [(0, hexcol(shades[0])), (1, hexcol(shades[1]))]))
    c.stroke(circle(cx, cy, r - 0.5), 1.0, hexcol(shades[2]), closed=True)
    if glyph == 'bar':
        c.fill(rect(9.0, 10.75, 14.0, 12.25), WHITE)
    elif glyph == 'check':
        c.stroke([(9.4, 11.6), (10.9, 13.0), (13.6, 10.0)], 1.5, WHITE)


def badge_magnifier(c):
    """Small magnifying glass in the lower right corner of a 16x16 canvas."""
    cx, cy, r = 10.5, 10.5, 2.8
    c.cut(stroke_polys([(cx, cy), (15, 15)], 4.2) + [circle(cx, cy, r + 1.5)])
    c.stroke([(cx + 1.8, cy + 1.8), (14.6, 14.6)], 2.2, hexcol(ALU[5]))
    c.fill(circle(cx, cy, r), lingrad(0, cy - r, 0, cy + r, [(0, hexcol('#dbe7f4')), (1, hexcol(SKY[0]))]))
    c.stroke(circle(cx, cy, r), 1.0, hexcol(ALU[4]), closed=True)


# ---------------------------------------------------------------- flags
FL = (0.0, 2.0, 16.0, 14.0)  # x0, y0, x1, y1 of the 16x12 flag field


def flag_finish(c):
    x0, y0, x1, y1 = FL
    # soft gloss on the upper half and a darker rim
    c.fill(rect(x0, y0, x1, y1), lingrad(0, y0, 0, y1, [(0, (1, 1, 1, 0.22)), (0.5, (1, 1, 1, 0.0)), (1, (0, 0, 0, 0.10))]))
    c.stroke(rect(x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5), 1.0, (0, 0, 0, 0.33), closed=True)


def flag_vertical(cols):
    c = Canvas(16, 16)
    x0, y0, x1, y1 = FL
    bounds = [0, 5, 11, 16]
    for k, col in enumerate(cols):
        c.fill(rect(bounds[k], y0, bounds[k + 1], y1), hexcol(col))
    flag_finish(c)
    return c


def flag_horizontal(cols, bounds):
    c = Canvas(16, 16)
    x0, y0, x1, y1 = FL
    for k, col in enumerate(cols):
        c.fill(rect(x0, bounds[k], x1, bounds[k + 1]), hexcol(col))
    flag_finish(c)
    return c


def flag_uk():
    c = Canvas(16, 16)
    x0, y0, x1, y1 = FL
    blue, red = hexcol('#012169'), hexcol('#c8102e')
    c.fill(rect(x0, y0, x1, y1), blue)
    clip = Canvas(16, 16)
    # white saltire, red saltire (simplified, not counterchanged)
    clip.stroke([(x0 - 1, y0 - 0.75), (x1 + 1, y1 + 0.75)], 3.0, WHITE, cap='butt')
    clip.stroke([(x0 - 1, y1 + 0.75), (x1 + 1, y0 - 0.75)], 3.0, WHITE, cap='butt')
    clip.stroke([(x0 - 1, y0 - 0.75), (x1 + 1, y1 + 0.75)], 1.3, red, cap='butt')
    clip.stroke([(x0 - 1, y1 + 0.75), (x1 + 1, y0 - 0.75)], 1.3, red, cap='butt')
    # white cross, red cross
    clip.fill(rect(6, y0, 10, y1), WHITE)
    clip.fill(rect(x0, 6, x1, 10), WHITE)
    clip.fill(rect(7, y0, 9, y1), red)
    clip.fill(rect(x0, 7, x1, 9), red)
    clip.cut([rect(0, 0, 16, y0), rect(0, y1, 16, 16)])
    c.paste(clip)
    flag_finish(c)
    return c


# navigation icons taken unchanged from the Tango theme (16x16)
NAV_TANGO = {
    0: 'actions/go-home.png',
    1: 'actions/edit-paste.png',
    2: 'status/dialog-warning.png',
    3: 'places/network-workgroup.png',
    5: 'categories/preferences-system.png',
    7: 'apps/accessories-text-editor.png',
    8: 'actions/edit-clear.png',
    9: 'devices/media-floppy.png',
    11: 'actions/go-jump.png',
    13: 'actions/system-search.png',
    16: 'devices/computer.png',
    17: 'status/dialog-information.png',
    18: 'categories/applications-internet.png',
    19: 'apps/help-browser.png',
    20: 'apps/utilities-system-monitor.png',
    21: 'actions/system-log-out.png',
}
OTHER_TANGO = {
    'internet-on.png': 'status/network-transmit-receive.png',
    'internet-off.png': 'status/network-offline.png',
}


def main():
    if sys.argv[1] == '--package':
        for size in PACKAGE_SIZES:
            draw_shield(size, PLUM, outline=PLUM_OUTLINE, deep=True).save(
                os.path.join(sys.argv[2], 'corvatek-%d.png' % size))
        return
    tango, out = sys.argv[1], sys.argv[2]
    os.makedirs(os.path.join(out, 'nav'), exist_ok=True)
    os.makedirs(os.path.join(out, 'flags'), exist_ok=True)
    T = lambda p: Canvas.load(os.path.join(tango, p))

    # application icon
    for size, name in ((16, 'corvatek.png'), (32, 'corvatek-32.png'), (48, 'corvatek-48.png')):
        draw_shield(size, PLUM, outline=PLUM_OUTLINE, deep=True).save(os.path.join(out, name))

    for idx, src in NAV_TANGO.items():
        T(src).save(os.path.join(out, 'nav', '%02d.png' % idx))
    for name, src in OTHER_TANGO.items():
        T(src).save(os.path.join(out, name))

    # navigation icons that are drawn or composed here
    nav = os.path.join(out, 'nav')
    c = T('mimetypes/package-x-generic.png'); badge_padlock(c); c.save(os.path.join(nav, '04.png'))
    draw_shield(16, CHAM, check=False, split=True).save(os.path.join(nav, '06.png'))
    c = T('devices/drive-harddisk.png'); badge_magnifier(c); c.save(os.path.join(nav, '10.png'))
    c = T('apps/internet-web-browser.png'); badge_round(c, RED, 'bar'); c.save(os.path.join(nav, '12.png'))
    c = T('mimetypes/application-x-executable.png'); badge_round(c, CHAM, 'check'); c.save(os.path.join(nav, '14.png'))
    c = T('mimetypes/text-x-generic.png'); badge_padlock(c); c.save(os.path.join(nav, '15.png'))
    draw_shield(16, PLUM, outline=PLUM_OUTLINE, deep=True).save(os.path.join(nav, '22.png'))

    # flags: France, United Kingdom, Spain, Germany, Italy
    fl = os.path.join(out, 'flags')
    flag_vertical(['#0055a4', '#ffffff', '#ef4135']).save(os.path.join(fl, '00.png'))
    flag_uk().save(os.path.join(fl, '01.png'))
    flag_horizontal(['#c60b1e', '#ffc400', '#c60b1e'], [2, 5, 11, 14]).save(os.path.join(fl, '02.png'))
    flag_horizontal(['#000000', '#dd0000', '#ffce00'], [2, 6, 10, 14]).save(os.path.join(fl, '03.png'))
    flag_vertical(['#009246', '#ffffff', '#ce2b37']).save(os.path.join(fl, '04.png'))

    # The navigation icons in one column, read with a single decode at every
    # start; stored rather than deflated, which is cheaper to read there.
    sheet = Canvas(16, 16 * 23)
    for n in range(23):
        sheet.paste(Canvas.load(os.path.join(nav, '%02d.png' % n)), 0, 16 * n)
    sheet.save(os.path.join(out, 'nav.png'), deflate=False)


if __name__ == '__main__':
    main()
