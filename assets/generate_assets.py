#!/usr/bin/python3
"""Builds every picture and the ringing sound of the Halvoren Zivavoz client.

Run with Debian's interpreter (needs python3-pil and python3-numpy):

    /usr/bin/python3 assets/generate_assets.py [OUTPUT_DIR] [--previews DIR | --no-previews]

OUTPUT_DIR defaults to the folder of this script. Everything is drawn from
code, so the output is byte-identical from run to run; the tests rely on that.
Previews (PNG, as the pictures look on screen) default to /tmp/asset_previews.
"""

import os
import struct
import sys
import zlib

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/open-sans/"

RED = "#BD1120"
RED_DARK = "#930B18"
TEXT_DARK = "#21191A"
PANEL = "#161A20"
BRAND_BG = "#222326"

# The banner is stored at 431x77 but stretched to 431x103 on screen, so all
# drawing happens in screen units and is squashed only at the very end.
BAN_W, BAN_H = 431, 103
BAN_STORE_H = 77
PANEL_W = 257
SS = 4  # supersampling factor for the banners


def rgb(c):
    c = c.lstrip("#")
    return np.array([int(c[i:i + 2], 16) / 255.0 for i in (0, 2, 4)], np.float32)


def mix(a, b, t):
    return rgb(a) * (1 - t) + rgb(b) * t if isinstance(a, str) else a * (1 - t) + b * t


def font(name, size):
    return ImageFont.truetype(FONT_DIR + name, size)


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3 - 2 * t)


# --------------------------------------------------------------------------
# A tiny premultiplied-alpha painter working in "design units" scaled by k.
# --------------------------------------------------------------------------
class Layer:
    def __init__(self, w, h, k, bg=None):
        self.w, self.h, self.k = w, h, k
        self.W, self.H = int(round(w * k)), int(round(h * k))
        self.rgb = np.zeros((self.H, self.W, 3), np.float32)
        self.a = np.zeros((self.H, self.W), np.float32)
        if bg is not None:
            self.rgb[:] = rgb(bg)
            self.a[:] = 1.0
        ys, xs = np.mgrid[0:self.H, 0:self.W].astype(np.float32)
        self.x = (xs + 0.5) / k
        self.y = (ys + 0.5) / k

    # --- masks -----------------------------------------------------------
    def _new(self):
        img = Image.new("L", (self.W, self.H), 0)
        return img, ImageDraw.Draw(img)

    def _s(self, pts):
        return [v * self.k for v in pts]

    @staticmethod
    def _arr(img):
        return np.asarray(img, np.float32) / 255.0

    def rrect(self, box, r):
        img, d = self._new()
        d.rounded_rectangle(self._s(box), radius=r * self.k, fill=255)
        return self._arr(img)

    def ellipse(self, box):
        img, d = self._new()
        d.ellipse(self._s(box), fill=255)
        return self._arr(img)

    def poly(self, pts):
        img, d = self._new()
        d.polygon([(x * self.k, y * self.k) for x, y in pts], fill=255)
        return self._arr(img)

    def arc(self, box, a0, a1, width):
        img, d = self._new()
        d.arc(self._s(box), a0, a1, fill=255, width=max(1, int(round(width * self.k))))
        return self._arr(img)

    def line(self, pts, width):
        img, d = self._new()
        w = max(1, int(round(width * self.k)))
        d.line([(x * self.k, y * self.k) for x, y in pts], fill=255, width=w, joint="curve")
        r = w / 2.0
        for x, y in (pts[0], pts[-1]):
            d.ellipse((x * self.k - r, y * self.k - r, x * self.k + r, y * self.k + r), fill=255)
        return self._arr(img)

    def text(self, xy, s, fnt_name, size, anchor="mm"):
        img, d = self._new()
        d.text((xy[0] * self.k, xy[1] * self.k), s, fill=255,
               font=font(fnt_name, int(round(size * self.k))), anchor=anchor)
        return self._arr(img)

    def blur(self, m, radius):
        img = Image.fromarray(np.clip(m * 255.0, 0, 255).astype(np.uint8), "L")
        return self._arr(img.filter(ImageFilter.GaussianBlur(radius * self.k)))

    # --- paints ----------------------------------------------------------
    def lin(self, p0, p1, c0, c1):
        dx, dy = p1[0] - p0[0], p1[1] - p0[1]
        t = ((self.x - p0[0]) * dx + (self.y - p0[1]) * dy) / (dx * dx + dy * dy)
        t = np.clip(t, 0, 1)[..., None]
        return rgb(c0) * (1 - t) + rgb(c1) * t

    def vgrad(self, y0, y1, c0, c1):
        return self.lin((0, y0), (0, y1), c0, c1)

    def radial(self, cx, cy, rx, ry=None):
        ry = rx if ry is None else ry
        d = np.sqrt(((self.x - cx) / rx) ** 2 + ((self.y - cy) / ry) ** 2)
        return np.clip(1 - d, 0, 1)

    def fill(self, mask, paint, opacity=1.0):
        m = np.clip(mask * opacity, 0, 1)
        paint = rgb(paint) if isinstance(paint, str) else paint
        self.rgb *= (1 - m)[..., None]
        self.rgb += paint * m[..., None]
        self.a = self.a * (1 - m) + m

    def add_light(self, mask, paint, opacity=1.0):
        # additive glow, clipped later; used for highlights and screen light
        paint = rgb(paint) if isinstance(paint, str) else paint
        self.rgb += paint * (mask * opacity)[..., None]

    def shadow(self, mask, radius, opacity, dx=0.0, dy=0.0):
        m = self.blur(mask, radius)
        if dx or dy:
            m = np.roll(m, (int(round(dy * self.k)), int(round(dx * self.k))), axis=(0, 1))
        self.fill(m, "#000000", opacity)

    def paste(self, other, rotate=0.0, center=None):
        """Composite another layer of the same size on top, optionally rotated."""
        orgb, oa = other.rgb, other.a
        if rotate:
            c = (center[0] * self.k, center[1] * self.k)
            chans = []
            for ch in [orgb[..., 0], orgb[..., 1], orgb[..., 2], oa]:
                im = Image.fromarray(ch.astype(np.float32), "F")
                chans.append(np.asarray(im.rotate(rotate, resample=Image.BICUBIC, center=c), np.float32))
            orgb = np.stack(chans[:3], -1)
            oa = np.clip(chans[3], 0, 1)
            orgb = np.clip(orgb, 0, None)
        self.rgb = self.rgb * (1 - oa)[..., None] + orgb
        self.a = self.a * (1 - oa) + oa

    def mask_of(self):
        return self.a.copy()

    def resized(self, w, h):
        """Area-average down to w x h, returns float RGB (0..1) and alpha."""
        out = []
        for ch in [self.rgb[..., 0], self.rgb[..., 1], self.rgb[..., 2], self.a]:
            im = Image.fromarray(ch.astype(np.float32), "F").resize((w, h), Image.BOX)
            out.append(np.asarray(im, np.float32))
        return np.stack(out[:3], -1), out[3]


# --------------------------------------------------------------------------
# Brand mark: red rounded tile with a white support headset.
# --------------------------------------------------------------------------
def draw_mark(L, ox, oy, size, detail=True):
    """Draws the headset tile into layer L at (ox, oy) with side `size`."""
    def P(x, y):
        return ox + x * size, oy + y * size

    def B(x0, y0, x1, y1):
        return (*P(x0, y0), *P(x1, y1))

    tile = L.rrect(B(0, 0, 1, 1), 0.23 * size)
    if detail:
        L.shadow(tile, 0.05 * size, 0.45, dy=0.03 * size)
    L.fill(tile, L.vgrad(oy, oy + size, "#D9222F", "#A00D1B"))
    if detail:
        # soft sheen on the upper half gives the tile some volume
        sheen = L.ellipse(B(-0.25, -0.75, 1.25, 0.48)) * tile
        L.fill(sheen, "#FFFFFF", 0.10)
        rim = tile - L.rrect(B(0.025, 0.025, 0.975, 0.975), 0.21 * size)
        L.fill(np.clip(rim, 0, 1) * (L.y < oy + size * 0.5), "#FF7A84", 0.35)

    band = L.arc(B(0.21, 0.20, 0.79, 0.78), 180, 360, 0.085 * size)
    band += L.rrect(B(0.21, 0.48, 0.295, 0.56), 0.0)
    band += L.rrect(B(0.705, 0.48, 0.79, 0.56), 0.0)
    cups = L.rrect(B(0.165, 0.47, 0.335, 0.72), 0.07 * size)
    cups += L.rrect(B(0.665, 0.47, 0.835, 0.72), 0.07 * size)
    boom = L.arc(B(0.26, 0.30, 0.74, 0.80), 25, 88, 0.06 * size)
    mic = L.rrect(B(0.42, 0.755, 0.58, 0.835), 0.04 * size)
    white = np.clip(band + cups + boom + mic, 0, 1)
    if detail:
        L.shadow(white, 0.025 * size, 0.35, dy=0.02 * size)
    L.fill(white, L.vgrad(oy + 0.2 * size, oy + 0.85 * size, "#FFFFFF", "#F1E6E7"))


# --------------------------------------------------------------------------
# Banners
# --------------------------------------------------------------------------
def banner_background(L, glow_x, glow_y, accent):
    L.fill(np.ones((L.H, L.W), np.float32), PANEL)
    x, y = L.x, L.y
    # cool studio backdrop lighter towards the subject
    back = L.radial(glow_x, glow_y - 10, 150, 95)
    L.fill(back, "#2E3442", 0.9)
    L.fill(L.radial(glow_x + 10, glow_y, 70, 52), accent, 0.28)
    # diagonal light beams
    for bx, wdt, op in ((300, 16, 0.05), (338, 8, 0.04), (392, 22, 0.035)):
        beam = np.clip(1 - np.abs((x - bx) + (y - 0) * 0.55) / wdt, 0, 1) * smoothstep(103, 10, y)
        L.fill(beam, "#FFFFFF", op)
    # table top with a soft horizon line and a reflection fade
    desk = smoothstep(84.0, 86.5, y)
    L.fill(desk, L.vgrad(85, 103, "#2A2F3A", "#12151A"), 0.95)
    L.fill(np.clip(1 - np.abs(y - 85.3) / 1.4, 0, 1) * smoothstep(200, 330, x) * smoothstep(440, 380, x),
           "#59606E", 0.55)
    # vignette towards edges
    vig = np.clip(((x - 350) / 150) ** 2 + ((y - 50) / 70) ** 2, 0, 1.5) / 1.5
    L.fill(vig, PANEL, 0.55)


def banner_blend_left(L):
    # the app covers x < 257 with a PANEL-coloured box; fade into it so the
    # seam disappears
    t = smoothstep(PANEL_W - 12, PANEL_W + 45, L.x)[..., None]
    L.rgb = rgb(PANEL) * (1 - t) + L.rgb * t


def slide_pc():
    L = Layer(BAN_W, BAN_H, SS)
    banner_background(L, 348, 48, RED)
    cx = 346
    # stand: neck and base
    base = L.ellipse((cx - 25, 84, cx + 25, 93))
    L.shadow(L.ellipse((cx - 34, 86, cx + 34, 96)), 3, 0.6)
    L.fill(base, L.vgrad(84, 93, "#5A606C", "#1D2027"))
    L.fill(L.ellipse((cx - 22, 84.5, cx + 22, 90)), L.vgrad(84, 90, "#767D8A", "#3A3F49"), 0.9)
    neck = L.poly([(cx - 8, 70), (cx + 8, 70), (cx + 6, 88), (cx - 6, 88)])
    L.fill(neck, L.lin((cx - 8, 0), (cx + 8, 0), "#3B404A", "#6E7582"))
    L.fill(L.poly([(cx - 6, 84), (cx + 6, 84), (cx + 6, 88), (cx - 6, 88)]), "#000000", 0.25)

    # monitor body
    mx0, my0, mx1, my1 = 284, 9, 408, 77
    body = L.rrect((mx0, my0, mx1, my1), 5)
    L.shadow(body, 5, 0.65, dy=3)
    L.fill(body, L.vgrad(my0, my1, "#3A3F4A", "#14161B"))
    L.fill(body - L.rrect((mx0 + 0.8, my0 + 0.8, mx1 - 0.8, my1 - 0.8), 4.5), "#8A92A0", 0.5)
    chin = L.rrect((mx0, my1 - 7, mx1, my1), 5) * body
    L.fill(chin, L.vgrad(my1 - 7, my1, "#252930", "#101216"))
    L.fill(L.ellipse((cx - 1.5, my1 - 4.5, cx + 1.5, my1 - 1.5)), "#E0313F", 0.9)

    # screen: wallpaper
    sx0, sy0, sx1, sy1 = mx0 + 4, my0 + 4, mx1 - 4, my1 - 8
    scr = L.rrect((sx0, sy0, sx1, sy1), 1.5)
    L.fill(scr, L.lin((sx0, sy0), (sx1, sy1), "#2C72C9", "#0B2458"))
    for (ex, ey, erx, ery, col, op) in ((330, 78, 90, 38, "#62B7FF", 0.35),
                                        (400, 20, 60, 30, "#0A1B45", 0.45),
                                        (300, 30, 50, 40, "#4FA3FF", 0.18)):
        L.fill(L.radial(ex, ey, erx, ery) * scr, col, op)
    swoosh = L.ellipse((270, 44, 420, 110)) - L.ellipse((262, 50, 420, 120))
    L.fill(np.clip(swoosh, 0, 1) * scr, "#9CD4FF", 0.30)
    # taskbar
    L.fill(L.rrect((sx0, sy1 - 5, sx1, sy1), 0) * scr, "#081226", 0.75)
    for i, col in enumerate(("#4CA3FF", "#9AA4B5", "#9AA4B5", "#9AA4B5")):
        L.fill(L.rrect((sx0 + 3 + i * 6, sy1 - 3.8, sx0 + 6.5 + i * 6, sy1 - 1.2), 0.6), col, 0.9)

    # frozen window: greyed "not responding" look with an error mark
    wx0, wy0, wx1, wy1 = 296, 20, 372, 58
    win = L.rrect((wx0, wy0, wx1, wy1), 2)
    L.shadow(win, 3, 0.55, dy=1.5)
    L.fill(win, L.vgrad(wy0, wy1, "#F4F6F9", "#D8DDE4"))
    L.fill(L.rrect((wx0, wy0, wx1, wy0 + 7), 2) * win, L.vgrad(wy0, wy0 + 7, "#E3E7ED", "#CBD1DA"))
    L.fill(L.rrect((wx1 - 9, wy0, wx1, wy0 + 7), 2) * win, "#D8303C", 0.95)
    xm = L.line([(wx1 - 6.3, wy0 + 1.8), (wx1 - 2.7, wy0 + 5.2)], 1.1) + \
        L.line([(wx1 - 2.7, wy0 + 1.8), (wx1 - 6.3, wy0 + 5.2)], 1.1)
    L.fill(np.clip(xm, 0, 1), "#FFFFFF")
    # error sign
    ic = L.ellipse((wx0 + 5, wy0 + 12, wx0 + 19, wy0 + 26))
    L.shadow(ic, 1.2, 0.3, dy=0.8)
    L.fill(ic, L.vgrad(wy0 + 12, wy0 + 26, "#F0434F", "#A50E1C"))
    L.fill(L.ellipse((wx0 + 7, wy0 + 12.8, wx0 + 17, wy0 + 18)), "#FFFFFF", 0.22)
    L.fill(L.rrect((wx0 + 10.8, wy0 + 15, wx0 + 13.2, wy0 + 21), 1.1), "#FFFFFF")
    L.fill(L.ellipse((wx0 + 10.8, wy0 + 21.8, wx0 + 13.2, wy0 + 24.2)), "#FFFFFF")
    # text lines and a stuck progress bar
    for i, wl in enumerate((38, 30)):
        L.fill(L.rrect((wx0 + 24, wy0 + 13 + i * 6, wx0 + 24 + wl, wy0 + 16 + i * 6), 1.5), "#9AA3B1")
    L.fill(L.rrect((wx0 + 6, wy0 + 29.5, wx1 - 6, wy0 + 34), 2.2), "#BFC6D0")
    L.fill(L.rrect((wx0 + 6, wy0 + 29.5, wx0 + 33, wy0 + 34), 2.2),
           L.vgrad(wy0 + 29.5, wy0 + 34, "#F0505C", "#B5101F"))
    # milky veil: the window is not responding
    L.fill(win, "#FFFFFF", 0.18)

    # busy ring on top of everything on the screen
    rcx, rcy, rr = 384, 44, 10.5
    for i in range(10):
        a0 = -90 + i * 27
        ring = L.arc((rcx - rr, rcy - rr, rcx + rr, rcy + rr), a0, a0 + 24, 3.4)
        L.fill(ring, "#FFFFFF", 0.22 + 0.078 * i)
    # glass reflection across the screen
    glass = L.poly([(sx0, sy0), (sx0 + 62, sy0), (sx0 + 22, sy1), (sx0, sy1)]) * scr
    L.fill(glass, "#FFFFFF", 0.06)

    # light the desk under the screen
    L.add_light(L.radial(cx, 88, 70, 9) * smoothstep(84, 87, L.y), "#3D7BD6", 0.35)

    # support badge with the brand headset, floating at the corner
    bl = Layer(BAN_W, BAN_H, SS)
    draw_mark(bl, 394, 4, 26)
    L.paste(bl, rotate=-8, center=(407, 17))
    banner_blend_left(L)
    return L


def slide_printer():
    L = Layer(BAN_W, BAN_H, SS)
    banner_background(L, 345, 50, RED)
    px0, px1 = 276, 378
    # shadow on desk
    L.shadow(L.ellipse((px0 - 6, 80, px1 + 8, 95)), 3.5, 0.7)

    # paper waiting in the back tray
    sheet = L.poly([(301, 14), (349, 10), (353, 44), (303, 46)])
    L.shadow(sheet, 2, 0.4, dx=1, dy=1)
    L.fill(sheet, L.vgrad(10, 46, "#FFFFFF", "#D9DDE3"))
    tray = L.poly([(296, 40), (358, 40), (362, 47), (292, 47)])
    L.fill(tray, L.vgrad(40, 47, "#8D949F", "#50565F"))

    # top face
    top = L.poly([(px0 + 7, 44), (px1 - 7, 44), (px1, 55), (px0, 55)])
    L.fill(top, L.vgrad(44, 55, "#F7F8FA", "#D4D8DE"))
    L.fill(L.poly([(300, 46.5), (354, 46.5), (356, 50), (298, 50)]), "#2A2E35", 0.85)
    # front face
    front = L.rrect((px0, 54, px1, 86), 4)
    L.fill(front, L.vgrad(54, 86, "#E6E9EE", "#9EA5B0"))
    L.fill(L.rrect((px0, 54, px1, 57), 1.5), "#FFFFFF", 0.7)
    L.fill(front * smoothstep(px0 + 20, px0, L.x), "#000000", 0.12)
    L.fill(front * smoothstep(px1 - 20, px1, L.x), "#FFFFFF", 0.10)
    # brand red stripe and feet
    L.fill(L.rrect((px0, 79, px1, 82), 0) * front, L.vgrad(79, 82, "#D5202F", RED_DARK))
    # control panel
    L.fill(L.rrect((342, 59, 368, 66), 1.5), L.vgrad(59, 66, "#1C2633", "#0D131B"))
    L.fill(L.rrect((344, 60.5, 358, 64.5), 1), "#3FD3C4", 0.75)
    L.fill(L.ellipse((360.5, 60.3, 365.5, 65.3)), L.vgrad(60, 65, "#7DF59A", "#1FA348"))
    L.add_light(L.radial(363, 62.8, 6), "#4CFF7A", 0.25)

    # output slot and a fresh print coming out
    L.fill(L.rrect((288, 68, 338, 72), 2), "#1E2228")
    out = L.poly([(291, 70), (335, 70), (340, 95), (286, 95)])
    L.shadow(out, 1.8, 0.5, dy=1.5)
    L.fill(out, L.vgrad(70, 95, "#E9ECF0", "#FFFFFF"))
    pic = L.poly([(295, 76), (331, 76), (333.5, 88), (292.5, 88)])
    L.fill(pic, L.lin((292, 76), (334, 88), "#F05A66", "#2C72C9"))
    hill = L.ellipse((288, 82, 322, 100)) * pic
    L.fill(hill, "#2E9E5B", 0.85)
    L.fill(L.ellipse((319, 78.5, 325, 83.5)) * pic, "#FFE27A", 0.95)
    L.fill(L.rrect((296, 90, 330, 92), 1), "#A7AEB9", 0.9)

    # envelope: e-mail that now works
    el = Layer(BAN_W, BAN_H, SS)
    ex0, ey0, ex1, ey1 = 380, 14, 420, 40
    env = el.rrect((ex0, ey0, ex1, ey1), 2.5)
    el.shadow(env, 2.5, 0.5, dy=2)
    el.fill(env, el.vgrad(ey0, ey1, "#FFFFFF", "#DCE1E8"))
    el.fill(el.poly([(ex0, ey1), (400, 25), (ex1, ey1)]) * env, el.vgrad(25, ey1, "#E9EDF2", "#C9CFD8"))
    flap = el.poly([(ex0 + 0.5, ey0 + 0.5), (ex1 - 0.5, ey0 + 0.5), (400, 30)])
    el.shadow(flap, 1.2, 0.25, dy=1)
    el.fill(flap, el.vgrad(ey0, 30, "#F9FAFC", "#E2E6EC"))
    ck = el.ellipse((411, 6, 427, 22))
    el.shadow(ck, 1.5, 0.45, dy=1)
    el.fill(ck, el.vgrad(6, 22, "#E3313F", "#9C0C1A"))
    el.fill(el.line([(415, 14.3), (418.2, 17.4), (423.2, 10.6)], 2.2), "#FFFFFF")
    L.paste(el, rotate=9, center=(400, 27))

    # gears: programs set up
    def gear(layer, cx, cy, r, teeth, c0, c1, hole):
        ang = np.linspace(0, 2 * np.pi, teeth * 8, endpoint=False)
        pts = []
        for a in ang:
            ph = (a * teeth / (2 * np.pi)) % 1.0
            rr = r if ph < 0.45 else r * 0.76
            pts.append((cx + rr * np.cos(a), cy + rr * np.sin(a)))
        g = np.clip(layer.poly(pts) + layer.ellipse((cx - r * 0.8, cy - r * 0.8, cx + r * 0.8, cy + r * 0.8)), 0, 1)
        g = np.clip(g - layer.ellipse((cx - hole, cy - hole, cx + hole, cy + hole)), 0, 1)
        layer.shadow(g, 1.8, 0.55, dy=1.5)
        layer.fill(g, layer.lin((cx - r, cy - r), (cx + r, cy + r), c0, c1))
        inner = layer.ellipse((cx - r * 0.55, cy - r * 0.55, cx + r * 0.55, cy + r * 0.55)) - \
            layer.ellipse((cx - hole, cy - hole, cx + hole, cy + hole))
        layer.fill(np.clip(inner, 0, 1), "#000000", 0.14)

    gear(L, 398, 66, 14, 9, "#F4F6F9", "#8C94A1", 4.2)
    gear(L, 419, 52, 9, 7, "#EE3A48", "#8E0A17", 2.8)
    banner_blend_left(L)
    return L


def slide_package():
    L = Layer(BAN_W, BAN_H, SS)
    banner_background(L, 350, 50, "#D4A017")
    L.fill(L.radial(370, 46, 60, 45), RED, 0.18)

    # coin stack
    ccx, crx, cry = 294, 17, 5.5
    L.shadow(L.ellipse((ccx - 24, 84, ccx + 24, 95)), 3, 0.65)
    top_y = None
    for i in range(6):
        cy = 86 - i * 6.2
        side = np.clip(L.ellipse((ccx - crx, cy - cry + 1.5, ccx + crx, cy + cry + 1.5)) +
                       L.poly([(ccx - crx, cy), (ccx + crx, cy), (ccx + crx, cy + 1.5), (ccx - crx, cy + 1.5)]), 0, 1)
        L.fill(side, L.lin((ccx - crx, 0), (ccx + crx, 0), "#8A5A0B", "#E3AE3A"))
        L.fill(side * (np.abs(((L.x - ccx) * 1.3) % 3 - 1.5) < 0.5), "#6E4608", 0.35)
        face = L.ellipse((ccx - crx, cy - cry, ccx + crx, cy + cry))
        L.fill(face, L.lin((ccx - crx, cy - cry), (ccx + crx, cy + cry), "#FFE9A3", "#D39A25"))
        top_y = cy
    cy = top_y
    ring = L.ellipse((ccx - crx + 2.5, cy - cry + 1, ccx + crx - 2.5, cy + cry - 1)) - \
        L.ellipse((ccx - crx + 4, cy - cry + 1.8, ccx + crx - 4, cy + cry - 1.8))
    L.fill(np.clip(ring, 0, 1), "#B47F17", 0.7)
    L.fill(L.ellipse((ccx - 9, cy - 3, ccx + 3, cy + 1)), "#FFFFFF", 0.25)

    # fan of five support credits, the front one carrying the package size
    cw, ch = 58, 36
    x0, y0 = 354, 40
    fcx, fcy = x0 + cw / 2, 118  # pivot far below: the cards spread like a hand
    L.shadow(L.ellipse((318, 83, 420, 95)), 3.5, 0.55)

    def credit(layer, shade0, shade1, front):
        card = layer.rrect((x0, y0, x0 + cw, y0 + ch), 3.5)
        notch = layer.ellipse((x0 - 3.5, y0 + ch / 2 - 3.5, x0 + 3.5, y0 + ch / 2 + 3.5)) + \
            layer.ellipse((x0 + cw - 3.5, y0 + ch / 2 - 3.5, x0 + cw + 3.5, y0 + ch / 2 + 3.5))
        card = np.clip(card - notch, 0, 1)
        layer.shadow(card, 2.5 if not front else 3.2, 0.55, dx=-1.0, dy=1.5)
        layer.fill(card, layer.lin((x0, y0), (x0 + cw, y0 + ch), shade0, shade1))
        layer.fill(layer.poly([(x0, y0), (x0 + cw * 0.6, y0), (x0 + cw * 0.28, y0 + ch), (x0, y0 + ch)]) * card,
                   "#FFFFFF", 0.08)
        inner = layer.rrect((x0 + 0.9, y0 + 0.9, x0 + cw - 0.9, y0 + ch - 0.9), 2.8)
        layer.fill(np.clip(card - inner, 0, 1), "#FF9AA2", 0.45 if front else 0.25)
        for i in range(6):
            yy = y0 + 4.5 + i * 5.6
            layer.fill(layer.ellipse((x0 + 22, yy, x0 + 23.6, yy + 1.6)), "#FFFFFF", 0.45 if front else 0.2)
        hs = Layer(BAN_W, BAN_H, SS)
        draw_mark(hs, x0 + 2.5, y0 + ch / 2 - 9.5, 19, detail=False)
        # only the white headset of the tile is wanted on the card
        layer.fill(np.clip((hs.rgb[..., 1] - 0.3) / 0.6, 0, 1) * hs.a, "#FFFFFF", 1.0 if front else 0.35)

    for ang, c0, c1 in ((28, "#8A0A17", "#55050D"), (21, "#960B19", "#5F0610"),
                        (14, "#A20C1B", "#690713"), (7, "#AE0F1E", "#730815")):
        cl = Layer(BAN_W, BAN_H, SS)
        credit(cl, c0, c1, False)
        L.paste(cl, rotate=ang, center=(fcx, fcy))
    fl = Layer(BAN_W, BAN_H, SS)
    credit(fl, "#E42B3C", RED_DARK, True)
    txt = fl.text((x0 + 41, y0 + ch / 2 + 0.5), "5x", "OpenSans-ExtraBold.ttf", 19)
    fl.shadow(txt, 1.0, 0.45, dy=1)
    fl.fill(txt, "#FFFFFF")
    L.paste(fl, rotate=-3, center=(fcx, fcy))

    # sparkles
    def sparkle(cx, cy, r, op):
        s = L.poly([(cx, cy - r), (cx + r * 0.22, cy - r * 0.22), (cx + r, cy), (cx + r * 0.22, cy + r * 0.22),
                    (cx, cy + r), (cx - r * 0.22, cy + r * 0.22), (cx - r, cy), (cx - r * 0.22, cy - r * 0.22)])
        L.add_light(L.radial(cx, cy, r * 1.6), "#FFE6A0", 0.35 * op)
        L.fill(s, "#FFF7DC", op)

    sparkle(312, 42, 6, 0.95)
    sparkle(280, 56, 3.5, 0.8)
    sparkle(420, 22, 4.5, 0.85)
    banner_blend_left(L)
    return L


def banner_bytes(L):
    col, _ = L.resized(BAN_W, BAN_STORE_H)
    col = np.clip(col, 0, 1)
    px = np.round(col * 255).astype(np.uint8)
    return bgr0(px)


def bgr0(px):
    h, w, _ = px.shape
    out = np.zeros((h, w, 4), np.uint8)
    out[..., 0] = px[..., 2]
    out[..., 1] = px[..., 1]
    out[..., 2] = px[..., 0]
    return out.tobytes()


# --------------------------------------------------------------------------
# Brand plates (mark + name on a fixed background)
# --------------------------------------------------------------------------
def text_layer(w, h, items):
    """Hinted text drawn at 1x for crispness; returns coverage per item."""
    out = []
    for (xy, s, fname, size, fill) in items:
        img = Image.new("L", (w, h), 0)
        ImageDraw.Draw(img).text(xy, s, fill=255, font=font(fname, size), anchor="ls")
        out.append((np.asarray(img, np.float32) / 255.0, rgb(fill)))
    return out


def brand_plate(w, h, bg, mark_xy, mark_size, items, k=8):
    L = Layer(w, h, k, bg=bg)
    draw_mark(L, mark_xy[0], mark_xy[1], mark_size, detail=mark_size >= 30)
    col, _ = L.resized(w, h)
    for cov, c in text_layer(w, h, items):
        col = col * (1 - cov[..., None]) + c * cov[..., None]
    px = np.round(np.clip(col, 0, 1) * 255).astype(np.uint8)
    # the app blits this over a solid panel; keep the frame exactly that colour
    b = np.round(rgb(bg) * 255).astype(np.uint8)
    px[0, :] = px[-1, :] = b
    px[:, 0] = px[:, -1] = b
    return px


def brand_images():
    big = brand_plate(166, 44, BRAND_BG, (5, 5), 34, [
        ((46, 21), "Halvoren", "OpenSans-Bold.ttf", 17, "#FFFFFF"),
        ((46, 38), "Zivavoz", "OpenSans-Bold.ttf", 15, "#E2323F"),
    ])
    small = brand_plate(90, 26, PANEL, (2, 3), 20, [
        ((26, 12), "Halvoren", "OpenSans-Bold.ttf", 11, "#FFFFFF"),
        ((26, 23), "Zivavoz", "OpenSans-Bold.ttf", 10, "#E2323F"),
    ])
    return big, small


# --------------------------------------------------------------------------
# Icon
# --------------------------------------------------------------------------
# Hand-placed pixels for the tiny sizes: R tile, W white, r/w half-tone edges,
# '.' transparent.
ICON16 = [
    "..RRRRRRRRRRRR..",
    ".RRRRRRRRRRRRRR.",
    "RRRRRrWWWWrRRRRR",
    "RRRRWwRRRRwWRRRR",
    "RRRWrRRRRRRrWRRR",
    "RRrWRRRRRRRRWrRR",
    "RRWWWRRRRRRWWWRR",
    "RRWWWRRRRRRWWWRR",
    "RRWWWRRRRRRWWWRR",
    "RRWWWRRRRRRWWWRR",
    "RRRRRRRRRRRRWRRR",
    "RRRRRRRRRRRrWRRR",
    "RRRRRRRWWWWWrRRR",
    "RRRRRRRrwwrRRRRR",
    ".RRRRRRRRRRRRRR.",
    "..RRRRRRRRRRRR..",
]

ICON24 = [
    "...RRRRRRRRRRRRRRRRRR...",
    "..RRRRRRRRRRRRRRRRRRRR..",
    ".RRRRRRRRRRRRRRRRRRRRRR.",
    "RRRRRRRRRRRRRRRRRRRRRRRR",
    "RRRRRRRRrwWWWWwrRRRRRRRR",
    "RRRRRRwWWWwwwwWWWwRRRRRR",
    "RRRRRwWWrRRRRRRrWWwRRRRR",
    "RRRRrWWrRRRRRRRRrWWrRRRR",
    "RRRRWWrRRRRRRRRRRrWWRRRR",
    "RRRRWWRRRRRRRRRRRRWWRRRR",
    "RRRwWWwRRRRRRRRRRwWWwRRR",
    "RRRWWWWRRRRRRRRRRWWWWRRR",
    "RRRWWWWRRRRRRRRRRWWWWRRR",
    "RRRWWWWRRRRRRRRRRWWWWRRR",
    "RRRWWWWRRRRRRRRRRWWWWRRR",
    "RRRwWWwRRRRRRRRRRwWWWRRR",
    "RRRRRRRRRRRRRRRRRRrWWRRR",
    "RRRRRRRRRRRRRRRRRrWWrRRR",
    "RRRRRRRRRRwWWWWWWWWrRRRR",
    "RRRRRRRRRRWWWWWWwrRRRRRR",
    "RRRRRRRRRRrwwwwrRRRRRRRR",
    ".RRRRRRRRRRRRRRRRRRRRRR.",
    "..RRRRRRRRRRRRRRRRRRRR..",
    "...RRRRRRRRRRRRRRRRRR...",
]


def pixel_icon(rows):
    n = len(rows)
    out = np.zeros((n, n, 4), np.float32)
    top, bot = rgb("#D9222F"), rgb("#A00D1B")
    white = rgb("#FFFFFF")
    for y, row in enumerate(rows):
        assert len(row) == n
        red = top * (1 - y / (n - 1)) + bot * (y / (n - 1))
        for x, ch in enumerate(row):
            if ch == ".":
                continue
            c = {"R": red, "W": white, "w": red * 0.35 + white * 0.65,
                 "r": red * 0.72 + white * 0.28}[ch]
            out[y, x, :3] = c
            out[y, x, 3] = 1.0
    # soften the cut corners a little
    for (y, x) in ((0, 1), (1, 0), (0, n - 2), (1, n - 1), (n - 1, 1), (n - 2, 0), (n - 1, n - 2), (n - 2, n - 1)):
        if out[y, x, 3] == 0:
            out[y, x, :3] = top if y < n / 2 else bot
            out[y, x, 3] = 0.35
    return out


def vector_icon(n):
    k = 16
    L = Layer(n, n, k)
    pad = 0 if n <= 32 else round(n * 0.04)
    draw_mark(L, pad, pad * 0.6, n - 2 * pad, detail=n >= 48)
    col, a = L.resized(n, n)
    # un-premultiply for PNG
    safe = np.where(a > 1e-6, a, 1)[..., None]
    out = np.concatenate([np.clip(col / safe, 0, 1), a[..., None]], -1)
    out[a <= 1e-6] = 0
    return out


def png_bytes(rgba):
    h, w, _ = rgba.shape
    px = np.round(np.clip(rgba, 0, 1) * 255).astype(np.uint8)
    raw = b"".join(b"\x00" + px[y].tobytes() for y in range(h))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


ICON_SIZES = (16, 24, 32, 40, 48, 64, 128, 256)


def icon_images():
    imgs = {}
    for n in ICON_SIZES:
        if n == 16:
            imgs[n] = pixel_icon(ICON16)
        elif n == 24:
            imgs[n] = pixel_icon(ICON24)
        else:
            imgs[n] = vector_icon(n)
    return imgs


def ico_bytes(imgs):
    pngs = [png_bytes(imgs[n]) for n in ICON_SIZES]
    head = struct.pack("<HHH", 0, 1, len(pngs))
    off = 6 + 16 * len(pngs)
    dirs = b""
    for n, p in zip(ICON_SIZES, pngs):
        b = 0 if n == 256 else n
        dirs += struct.pack("<BBBBHHII", b, b, 0, 0, 1, 32, len(p), off)
        off += len(p)
    return head + dirs + b"".join(pngs)


# --------------------------------------------------------------------------
# Calling sound
# --------------------------------------------------------------------------
WAV_RATE = 22050
WAV_SAMPLES = 175296


def calling_wave():
    n = WAV_SAMPLES
    t = np.arange(n, dtype=np.float64) / WAV_RATE
    out = np.zeros(n, np.float64)

    def bell(start, freq, amp, decay):
        tt = t - start
        on = tt >= 0
        tt = np.where(on, tt, 0.0)
        attack = np.clip(tt / 0.006, 0, 1)
        attack = attack * attack * (3 - 2 * attack)
        env = attack * np.exp(-tt / decay) * on
        # warm chime: fundamental, octave, a soft fifth above, and a brief
        # inharmonic shimmer that dies quickly
        s = (np.sin(2 * np.pi * freq * tt) +
             0.32 * np.exp(-tt / (decay * 0.6)) * np.sin(2 * np.pi * 2 * freq * tt) +
             0.12 * np.exp(-tt / (decay * 0.4)) * np.sin(2 * np.pi * 3 * freq * tt) +
             0.08 * np.exp(-tt / 0.05) * np.sin(2 * np.pi * 4.2 * freq * tt))
        out[:] += amp * env * s

    # three phrases of a rising-then-falling two-tone call
    E5, GS5, B5 = 659.26, 830.61, 987.77
    period = 2.62
    for p in range(3):
        s0 = 0.03 + p * period
        bell(s0 + 0.00, B5, 0.55, 0.32)
        bell(s0 + 0.18, GS5, 0.55, 0.34)
        bell(s0 + 0.36, E5, 0.62, 0.42)
        bell(s0 + 0.80, B5, 0.48, 0.30)
        bell(s0 + 0.98, E5, 0.62, 0.40)

    out -= out.mean()
    # gentle release so the file ends in silence regardless of the last tail
    fade_in = np.clip(t / 0.01, 0, 1)
    fade_out = np.clip((t[-1] - t) / 0.12, 0, 1)
    out *= fade_in * fade_out
    out *= 0.80 / np.max(np.abs(out))
    pcm = np.round(out * 32767).astype("<i2")
    data = pcm.tobytes()
    hdr = (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE" +
           b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, WAV_RATE, WAV_RATE * 2, 2, 16) +
           b"data" + struct.pack("<I", len(data)))
    return hdr + data


# --------------------------------------------------------------------------
# Previews (for people, not for the build)
# --------------------------------------------------------------------------
SLIDE_TEXT = [
    ("O PC travou?", "Erros e lentidão no Windows.", "Peça ajuda sem sair de casa."),
    ("Sua impressora parou?", "Ajuste impressora, e-mail", "e programas com um técnico."),
    ("Economize no pacote", "R$ 29,99 por atendimento", "no pacote de 5 créditos."),
]


def from_bgr0(data, w, h):
    a = np.frombuffer(data, np.uint8).reshape(h, w, 4)
    return Image.fromarray(np.ascontiguousarray(a[..., 2::-1]), "RGB")


def write_previews(pdir, outputs, icons):
    os.makedirs(pdir, exist_ok=True)
    names = ["hero_pixels", "hero_notebook", "hero_manutencao"]
    sheet = Image.new("RGB", (431 * 2, 103 * 2 * 3 + 8 * 2), "#000000")
    for i, nm in enumerate(names):
        img = from_bgr0(outputs[nm + ".bgra"], BAN_W, BAN_STORE_H).resize((BAN_W, BAN_H), Image.BILINEAR)
        raw = img.copy()
        d = ImageDraw.Draw(img)
        d.rectangle((0, 0, PANEL_W - 1, BAN_H - 1), fill=PANEL)
        t0, t1, t2 = SLIDE_TEXT[i]
        d.text((18, 18), t0, fill="#FFFFFF", font=font("OpenSans-Bold.ttf", 20))
        d.text((18, 50), t1, fill="#FFFFFF", font=font("OpenSans-Regular.ttf", 13))
        d.text((18, 68), t2, fill="#FFFFFF", font=font("OpenSans-Regular.ttf", 13))
        img.save(os.path.join(pdir, nm + ".png"))
        raw.save(os.path.join(pdir, nm + "_raw.png"))
        big = img.resize((BAN_W * 2, BAN_H * 2), Image.NEAREST)
        big.save(os.path.join(pdir, nm + "_2x.png"))
        sheet.paste(big, (0, i * (BAN_H * 2 + 8)))
    sheet.save(os.path.join(pdir, "banners.png"))
    for nm, (w, h) in (("brand_pixels", (166, 44)), ("menu_brand_pixels", (90, 26))):
        img = from_bgr0(outputs[nm + ".bgra"], w, h)
        img.save(os.path.join(pdir, nm + ".png"))
        img.resize((w * 4, h * 4), Image.NEAREST).save(os.path.join(pdir, nm + "_4x.png"))
    # icon sheet on light and dark backgrounds, each size also enlarged
    cols = []
    for bgc in ("#FFFFFF", "#2B2B2B"):
        row = Image.new("RGB", (1900, 300), bgc)
        x = 4
        for n in ICON_SIZES:
            im = Image.fromarray(np.round(np.clip(icons[n], 0, 1) * 255).astype(np.uint8), "RGBA")
            row.paste(im, (x, 4), im)
            if n <= 64:
                z = 256 // n if n < 64 else 3
                zz = im.resize((n * z, n * z), Image.NEAREST)
                row.paste(zz, (x, 40 + 256 - n * z if n >= 64 else 40), zz)
                x += n * z + 8
            else:
                x += n + 8
        cols.append(row)
    sh = Image.new("RGB", (1900, 600))
    sh.paste(cols[0], (0, 0))
    sh.paste(cols[1], (0, 300))
    sh.save(os.path.join(pdir, "icon_sheet.png"))


def main(argv):
    args = list(argv[1:])
    previews = "/tmp/asset_previews"
    if "--no-previews" in args:
        args.remove("--no-previews")
        previews = None
    if "--previews" in args:
        i = args.index("--previews")
        previews = args[i + 1]
        del args[i:i + 2]
    outdir = args[0] if args else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(outdir, exist_ok=True)

    outputs = {}
    outputs["hero_pixels.bgra"] = banner_bytes(slide_pc())
    outputs["hero_notebook.bgra"] = banner_bytes(slide_printer())
    outputs["hero_manutencao.bgra"] = banner_bytes(slide_package())
    big, small = brand_images()
    outputs["brand_pixels.bgra"] = bgr0(big)
    outputs["menu_brand_pixels.bgra"] = bgr0(small)
    icons = icon_images()
    outputs["icon.ico"] = ico_bytes(icons)
    outputs["calling_wave.wav"] = calling_wave()

    for name, data in outputs.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    if previews:
        write_previews(previews, outputs, icons)


if __name__ == "__main__":
    main(sys.argv)
