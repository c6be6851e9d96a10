#!/usr/bin/env python3
"""Writes the SVG sources of the skin's pictures (resources/art/<id>.svg and vandrel.svg).

The SVG files are the sources the build renders; this script is how they are authored, so
that the shared palette, the four round job buttons and the glyph-by-glyph arc lettering stay
consistent. Edit here, run `python3 resources/art/tools/draw_art.py`, commit both.
Text is set in DejaVu Sans, which the dependency step installs.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import ttf_metrics  # noqa: E402

ART_DIR = os.path.normpath(os.path.join(os.path.dirname(__file__), ".."))
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FAMILY = "DejaVu Sans"

# Palette: a dark graphite speaker with one green accent; the job buttons add their colours.
GREEN = {"light": "#a6ec6a", "mid": "#5cbf2a", "dark": "#2d7410", "edge": "#1f520a"}
GREY = {"light": "#8c949d", "mid": "#6a727b", "dark": "#4d545c", "edge": "#2f343a"}
BLUE = {"light": "#7cc2ff", "mid": "#2f84e6", "dark": "#17509e", "edge": "#0d3470"}
YELLOW = {"light": "#ffe680", "mid": "#f4b400", "dark": "#b57a00", "edge": "#7a5200"}
PURPLE = {"light": "#d3a3ff", "mid": "#8e44db", "dark": "#56208f", "edge": "#3a1266"}


def lighten(hex_colour, amount):
    """Mixes a colour with white; amount 0 keeps it, 1 gives white."""
    r, g, b = (int(hex_colour[i : i + 2], 16) for i in (1, 3, 5))
    mix = lambda c: round(c + (255 - c) * amount)  # noqa: E731
    return "#%02x%02x%02x" % (mix(r), mix(g), mix(b))


def hot(palette, amount=0.22):
    return {k: lighten(v, amount) for k, v in palette.items()}


def svg(width, height, body, defs=""):
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}">\n'
        f"<defs>\n{defs}</defs>\n{body}</svg>\n"
    )


def write(name, content):
    with open(os.path.join(ART_DIR, name), "w", encoding="utf-8") as f:
        f.write(content)


def vgrad(gid, stops, x1=0, y1=0, x2=0, y2=1):
    s = "".join(
        f'<stop offset="{o}" stop-color="{c}"' + (f' stop-opacity="{a}"' if a != 1 else "") + "/>"
        for o, c, a in (st if len(st) == 3 else (st[0], st[1], 1) for st in stops)
    )
    return f'<linearGradient id="{gid}" x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}">{s}</linearGradient>\n'


def rgrad(gid, cx, cy, r, stops, fx=None, fy=None, units="userSpaceOnUse", spread="pad"):
    s = "".join(
        f'<stop offset="{o}" stop-color="{c}"' + (f' stop-opacity="{a}"' if a != 1 else "") + "/>"
        for o, c, a in (st if len(st) == 3 else (st[0], st[1], 1) for st in stops)
    )
    focus = f' fx="{fx}" fy="{fy}"' if fx is not None else ""
    return (
        f'<radialGradient id="{gid}" gradientUnits="{units}" cx="{cx}" cy="{cy}" r="{r}"{focus} '
        f'spreadMethod="{spread}">{s}</radialGradient>\n'
    )


def shadow_filter(fid, dy=1.0, blur=0.8, opacity=0.65):
    """A drop shadow built from primitives the build's renderer supports."""
    return (
        f'<filter id="{fid}" x="-10%" y="-20%" width="120%" height="150%">'
        f'<feGaussianBlur in="SourceAlpha" stdDeviation="{blur}"/>'
        f'<feOffset dy="{dy}"/>'
        f'<feComponentTransfer><feFuncA type="linear" slope="{opacity}"/></feComponentTransfer>'
        f'<feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge></filter>\n'
    )


def text(x, y, content, size, fill, weight="bold", anchor="middle", extra=""):
    return (
        f'<text x="{x:.2f}" y="{y:.2f}" font-family="{FAMILY}" font-weight="{weight}" '
        f'font-size="{size}" fill="{fill}" text-anchor="{anchor}"{extra}>{content}</text>\n'
    )


FONT = ttf_metrics.Font(FONT_BOLD)


def arc_text(content, size, cx, cy, radius, crest, fills, spacing=0.0, centre_angle=0.0, alpha=1.0):
    """Sets bold text glyph by glyph along a circle around (cx, cy).

    crest=True runs over the top of the circle (letters point outward), crest=False along the
    bottom, still readable left to right (letters point to the centre). radius is the baseline's.
    centre_angle (degrees) turns the middle of the text away from the top or bottom.
    fills gives one colour per character, or one for all.
    """
    total = FONT.width(content, size, spacing)
    s = -total / 2.0
    opacity = f' fill-opacity="{alpha}"' if alpha != 1.0 else ""
    out = []
    for i, ch in enumerate(content):
        adv = FONT.advance(ch, size)
        mid = s + adv / 2.0
        s += adv + spacing
        if ch == " ":
            continue
        beta = mid / radius + math.radians(centre_angle)
        x = cx + radius * math.sin(beta)
        if crest:
            y, rot = cy - radius * math.cos(beta), math.degrees(beta)
        else:
            y, rot = cy + radius * math.cos(beta), -math.degrees(beta)
        fill = fills[i] if isinstance(fills, list) else fills
        out.append(
            f'<text x="{x:.2f}" y="{y:.2f}" font-family="{FAMILY}" font-weight="bold" '
            f'font-size="{size}" fill="{fill}"{opacity} text-anchor="middle" '
            f'transform="rotate({rot:.3f} {x:.2f} {y:.2f})">{ch}</text>\n'
        )
    return "".join(out)


def ring_path(cx, cy, r_outer, r_inner):
    def circle(r):
        return (
            f"M {cx - r:.2f} {cy:.2f} A {r} {r} 0 1 0 {cx + r:.2f} {cy:.2f} "
            f"A {r} {r} 0 1 0 {cx - r:.2f} {cy:.2f} Z "
        )

    return f'<path fill-rule="evenodd" d="{circle(r_outer)}{circle(r_inner)}"'


def polar(cx, cy, r, degrees):
    a = math.radians(degrees)
    return cx + r * math.cos(a), cy + r * math.sin(a)


# --------------------------------------------------------------------------------------------
# 132: the skin, a loudspeaker seen from the front: a metal frame ring with screws and a recessed
# pod for the window buttons, a rubber surround, and the cone that carries the controls.

SKIN_W, SKIN_H = 781, 786
CX, CY = 390.5, 393.0
R_BODY, R_FRAME_IN, R_CONE = 382.0, 345.0, 298.0
R_POD = 361.0  # the minimise and close buttons sit on this circle (their offsets put them here)


def skin():
    defs = ""
    defs += '<filter id="soft" x="-5%" y="-5%" width="110%" height="110%"><feGaussianBlur stdDeviation="2.6"/></filter>\n'
    defs += vgrad("frameLight", [(0, "#6f7881"), (0.45, "#3b4249"), (1, "#1b1e22")], 0.15, 0, 0.85, 1)
    defs += rgrad(
        "frameBevel", CX, CY, R_BODY,
        [(R_FRAME_IN / R_BODY, "#000000", 0.55), (0.915, "#000000", 0.0), (0.975, "#ffffff", 0.0),
         (0.99, "#ffffff", 0.16), (1, "#000000", 0.6)],
    )
    defs += rgrad("brushed", CX, CY, 3.2, [(0, "#ffffff", 0.0), (0.5, "#ffffff", 0.05), (1, "#ffffff", 0.0)], spread="repeat")
    defs += rgrad(
        "surround", CX, CY, R_FRAME_IN,
        [(R_CONE / R_FRAME_IN, "#0b0c0e"), (0.905, "#23272d"), (0.935, "#3a4048"), (0.965, "#22262b"),
         (1, "#08090a")],
    )
    defs += vgrad("surroundLight", [(0, "#ffffff", 0.16), (0.5, "#ffffff", 0.0), (1, "#000000", 0.35)], 0.2, 0, 0.8, 1)
    defs += rgrad(
        "cone", CX - 40, CY - 70, R_CONE + 60,
        [(0, "#3a4654"), (0.45, "#27303a"), (0.8, "#1a2027"), (1, "#101418")],
    )
    defs += rgrad("ridges", CX, CY, 22, [(0, "#ffffff", 0.0), (0.82, "#ffffff", 0.0), (0.92, "#ffffff", 0.045), (1, "#000000", 0.05)], spread="repeat")
    defs += rgrad("coneShade", CX, CY, R_CONE, [(0, "#000000", 0.0), (0.7, "#000000", 0.0), (1, "#000000", 0.45)])
    defs += vgrad("chrome", [(0, "#c9d0d6"), (0.5, "#6c747c"), (1, "#2b3035")], 0.2, 0, 0.8, 1)
    defs += rgrad("screw", 0, 0, 7, [(0, "#c2c9cf"), (0.6, "#7e868e"), (0.85, "#50575e"), (1, "#1d2024")], fx=-2, fy=-2.5)
    defs += vgrad("pod", [(0, "#050607"), (1, "#15181b")], 0, 0, 0, 1)

    b = ""
    # Soft outer edge: a blurred dark disc just larger than the body.
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_BODY + 1.5}" fill="#000000" fill-opacity="0.55" filter="url(#soft)"/>\n'
    # Frame ring.
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_BODY}" fill="url(#frameLight)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_BODY}" fill="url(#brushed)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_BODY}" fill="url(#frameBevel)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_BODY - 0.6}" fill="none" stroke="#000000" stroke-opacity="0.7" stroke-width="1.2"/>\n'
    # Recessed pod for the window buttons, from just before the minimise button to just after close.
    a0, a1 = -57.0, -34.0
    p0, p1 = polar(CX, CY, R_POD, a0), polar(CX, CY, R_POD, a1)
    arc = f"M {p0[0]:.2f} {p0[1]:.2f} A {R_POD} {R_POD} 0 0 1 {p1[0]:.2f} {p1[1]:.2f}"
    b += f'<path d="{arc}" fill="none" stroke="#ffffff" stroke-opacity="0.12" stroke-width="27" stroke-linecap="round" transform="translate(0.7 1.2)"/>\n'
    b += f'<path d="{arc}" fill="none" stroke="#060708" stroke-width="26" stroke-linecap="round"/>\n'
    b += f'<path d="{arc}" fill="none" stroke="url(#pod)" stroke-width="23" stroke-linecap="round" transform="translate(0.5 0.9)"/>\n'
    # Screws, away from the pod.
    for k in range(8):
        ang = 22.5 + 45 * k
        sx, sy = polar(CX, CY, R_POD + 1, ang)
        b += f'<g transform="translate({sx:.2f} {sy:.2f})">'
        b += '<circle r="8" fill="#000000" fill-opacity="0.45"/>'
        b += '<circle r="6.5" fill="url(#screw)"/>'
        b += f'<g transform="rotate({ang + 40:.1f})"><rect x="-4.6" y="-1" width="9.2" height="2" rx="0.8" fill="#24282d"/>'
        b += '<rect x="-1" y="-4.6" width="2" height="9.2" rx="0.8" fill="#24282d"/></g></g>\n'
    # The maker's name engraved at the bottom of the frame.
    b += arc_text("V A N D R E L", 12, CX, CY + 1.2, R_POD + 4.5, False, "#ffffff", spacing=0.5, alpha=0.16)
    b += arc_text("V A N D R E L", 12, CX, CY, R_POD + 4.5, False, "#0b0c0e", spacing=0.5)
    # Rubber surround.
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_FRAME_IN}" fill="url(#surround)"/>\n'
    b += ring_path(CX, CY, R_FRAME_IN, R_CONE) + ' fill="url(#surroundLight)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_FRAME_IN}" fill="none" stroke="url(#chrome)" stroke-width="1.6"/>\n'
    # Cone.
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_CONE}" fill="url(#cone)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_CONE}" fill="url(#ridges)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_CONE}" fill="url(#coneShade)"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_CONE}" fill="none" stroke="url(#chrome)" stroke-width="2"/>\n'
    b += f'<circle cx="{CX}" cy="{CY}" r="{R_CONE - 2}" fill="none" stroke="#000000" stroke-opacity="0.6" stroke-width="1.5"/>\n'
    # A faint green ring on the cone, concentric with the round job buttons and the title.
    b += f'<circle cx="{CX}" cy="{CY}" r="262" fill="none" stroke="{GREEN["mid"]}" stroke-opacity="0.22" stroke-width="1.2"/>\n'
    return svg(SKIN_W, SKIN_H, b, defs)


# --------------------------------------------------------------------------------------------
# 185: the title over the top of the cone; 149: "Download as" along its bottom. Both circles
# share the skin's centre; (205, 166) and (293, 501) are where the window puts the pictures.

def title():
    ox, oy = 205, 166
    cx, cy = CX - ox, CY - oy
    words = "Video Downloader"
    fills = ["#ffffff"] * 6 + [GREEN["light"]] * 10
    defs = shadow_filter("sh", dy=1.6, blur=1.4, opacity=0.85)
    body = f'<g filter="url(#sh)">{arc_text(words, 33, cx, cy, 198, True, fills, spacing=1.2)}</g>\n'
    return svg(369, 107, body, defs)


def download_as():
    ox, oy = 293, 501
    cx, cy = CX - ox, CY - oy
    defs = shadow_filter("sh", dy=1.2, blur=1.0, opacity=0.8)
    body = f'<g filter="url(#sh)">{arc_text("Download as", 19, cx, cy, 152, False, "#e9edf1", spacing=0.8)}</g>\n'
    return svg(201, 57, body, defs)


# --------------------------------------------------------------------------------------------
# 141: the logo; vandrel.svg: the program icon. The mark is a chevron that reads both as a V and
# as "down", inside a ring, with sound waves on either side.

def mark(cx, cy, r, stroke, waves=True, glow_id=None):
    out = ""
    out += f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="url(#markFill)" stroke="url(#markRing)" stroke-width="{stroke}"/>\n'
    w = r * 0.52
    top = cy - r * 0.40
    tip = cy + r * 0.38
    out += (
        f'<path d="M {cx - w:.2f} {top:.2f} L {cx:.2f} {tip:.2f} L {cx + w:.2f} {top:.2f}" fill="none" '
        f'stroke="#ffffff" stroke-width="{r * 0.24:.2f}" stroke-linecap="round" stroke-linejoin="round"/>\n'
    )
    out += (
        f'<path d="M {cx - w * 0.55:.2f} {tip + r * 0.30:.2f} L {cx + w * 0.55:.2f} {tip + r * 0.30:.2f}" '
        f'stroke="{GREEN["light"]}" stroke-width="{r * 0.12:.2f}" stroke-linecap="round"/>\n'
    )
    if waves:
        for i, (rr, op) in enumerate(((r * 1.38, 0.9), (r * 1.72, 0.5))):
            for side in (-1, 1):
                a0, a1 = (150, 210) if side < 0 else (-30, 30)
                p0, p1 = polar(cx, cy, rr, a0), polar(cx, cy, rr, a1)
                sweep = 1
                out += (
                    f'<path d="M {p0[0]:.2f} {p0[1]:.2f} A {rr:.2f} {rr:.2f} 0 0 {sweep} {p1[0]:.2f} {p1[1]:.2f}" '
                    f'fill="none" stroke="{GREEN["light"]}" stroke-opacity="{op}" stroke-width="{r * 0.13:.2f}" '
                    f'stroke-linecap="round"/>\n'
                )
    return out


def mark_defs():
    d = vgrad("markRing", [(0, GREEN["light"]), (1, GREEN["dark"])])
    d += vgrad("markFill", [(0, "#3c4652"), (1, "#161a1f")])
    return d


def logo():
    defs = mark_defs() + shadow_filter("sh", dy=1.2, blur=1.0, opacity=0.8)
    body = f'<g filter="url(#sh)">\n{mark(75, 27, 20, 3.2)}'
    spacing = 3.2
    word = "VANDREL"
    width = FONT.width(word, 17, spacing)
    body += text(75 - width / 2, 71, word, 17, "#eef1f4", anchor="start", extra=f' letter-spacing="{spacing}"')
    body += "</g>\n"
    return svg(150, 80, body, defs)


def icon():
    defs = mark_defs()
    defs += rgrad("iconBody", 128, 110, 140, [(0, "#3a4654"), (0.7, "#1d232a"), (1, "#0e1114")])
    defs += vgrad("iconRim", [(0, "#8a939c"), (0.5, "#3b4249"), (1, "#15181b")], 0.2, 0, 0.8, 1)
    body = '<circle cx="128" cy="128" r="124" fill="url(#iconRim)"/>\n'
    body += '<circle cx="128" cy="128" r="108" fill="url(#iconBody)"/>\n'
    body += '<circle cx="128" cy="128" r="108" fill="none" stroke="#000000" stroke-opacity="0.6" stroke-width="3"/>\n'
    body += mark(128, 128, 46, 9, waves=True)
    return svg(256, 256, body, defs)


# --------------------------------------------------------------------------------------------
# The URL and folder rows: a grey plate on the left joined to a white field on the right.

def plate_path(w, h, r, left_round, right_round):
    lr = r if left_round else 0
    rr = r if right_round else 0
    x0, y0, x1, y1 = 0.5, 0.5, w - 0.5, h - 0.5
    return (
        f"M {x0 + lr} {y0} L {x1 - rr} {y0} Q {x1} {y0} {x1} {y0 + rr} L {x1} {y1 - rr} "
        f"Q {x1} {y1} {x1 - rr} {y1} L {x0 + lr} {y1} Q {x0} {y1} {x0} {y1 - lr} L {x0} {y0 + lr} "
        f"Q {x0} {y0} {x0 + lr} {y0} Z"
    )


def fitted_size(words, width, start):
    size = start
    while FONT.width(words, size) > width and size > 8:
        size -= 0.25
    return size


def label(words):
    w, h = 134, 28
    defs = vgrad("fill", [(0, GREY["light"]), (0.5, GREY["mid"]), (1, GREY["dark"])])
    defs += vgrad("hi", [(0, "#ffffff", 0.35), (1, "#ffffff", 0.0)])
    defs += shadow_filter("sh", dy=1, blur=0.6, opacity=0.75)
    d = plate_path(w, h, 7, True, False)
    body = f'<path d="{d}" fill="url(#fill)" stroke="{GREY["edge"]}" stroke-width="1"/>\n'
    body += f'<path d="M 7 1.6 L {w - 1} 1.6" stroke="url(#hi)" stroke-width="1.2"/>\n'
    size = fitted_size(words, w - 16, 12.5)
    body += f'<g filter="url(#sh)">{text(w / 2, 18.6, words, size, "#f7f9fb")}</g>\n'
    return svg(w, h, body, defs)


def field():
    w, h = 268, 28
    defs = vgrad("inner", [(0, "#000000", 0.16), (0.22, "#000000", 0.0)])
    d = plate_path(w, h, 7, False, True)
    body = f'<path d="{d}" fill="#ffffff"/>\n'
    body += f'<path d="{d}" fill="url(#inner)"/>\n'
    body += f'<path d="{d}" fill="none" stroke="#7f8790" stroke-width="1"/>\n'
    body += f'<path d="M 0.5 1 L 0.5 {h - 1}" stroke="{GREY["edge"]}" stroke-width="1"/>\n'
    return svg(w, h, body, defs)


def pill_button(w, h, r, palette, words, size, check=None):
    """A rounded button face in one palette; check=None draws no box, True/False a ticked or
    empty box at the left (the play-after-download bar)."""
    defs = vgrad("fill", [(0, palette["light"]), (0.52, palette["mid"]), (1, palette["dark"])])
    defs += vgrad("gloss", [(0, "#ffffff", 0.45), (1, "#ffffff", 0.04)])
    defs += shadow_filter("sh", dy=1, blur=0.6, opacity=0.7)
    body = f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="{r}" fill="url(#fill)" stroke="{palette["edge"]}" stroke-width="1"/>\n'
    body += f'<rect x="2" y="1.5" width="{w - 4}" height="{h / 2 - 2:.1f}" rx="{max(r - 2, 1)}" fill="url(#gloss)"/>\n'
    cx = w / 2
    if check is not None:
        bx, by, bs = 7, (h - 14) / 2, 14
        if check:
            body += f'<rect x="{bx}" y="{by}" width="{bs}" height="{bs}" rx="3" fill="#ffffff" stroke="{palette["edge"]}" stroke-width="1"/>\n'
            body += (
                f'<path d="M {bx + 3.2} {by + 7.4} L {bx + 6} {by + 10.3} L {bx + 11} {by + 3.8}" fill="none" '
                f'stroke="{palette["dark"]}" stroke-width="2.3" stroke-linecap="round" stroke-linejoin="round"/>\n'
            )
        else:
            body += f'<rect x="{bx + 0.5}" y="{by + 0.5}" width="{bs - 1}" height="{bs - 1}" rx="3" fill="#000000" fill-opacity="0.18" stroke="#ffffff" stroke-opacity="0.9" stroke-width="1.4"/>\n'
        cx = (bx + bs + w) / 2 + 1
    baseline = h / 2 + size * 0.36
    body += f'<g filter="url(#sh)">{text(cx, baseline, words, size, "#ffffff")}</g>\n'
    return svg(w, h, body, defs)


def status_panel(white):
    w, h = 386, 62
    if white:
        defs = vgrad("inner", [(0, "#000000", 0.14), (0.12, "#000000", 0.0)])
        body = f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="8" fill="#ffffff"/>\n'
        body += f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="8" fill="url(#inner)"/>\n'
        body += f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="8" fill="none" stroke="#7f8790" stroke-width="1"/>\n'
    else:
        # Busy: the log's white text is read on it, so every pixel under the log box (inset 5
        # on each side) keeps a contrast of at least 4.5:1 against white; the darkest is the
        # inner well, the lightest the rim's top edge outside the box.
        defs = vgrad("fill", [(0, BLUE["light"]), (0.5, BLUE["mid"]), (1, BLUE["dark"])])
        defs += vgrad("well", [(0, "#2462b8"), (1, "#163f80")])
        body = f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="8" fill="url(#fill)" stroke="{BLUE["edge"]}" stroke-width="1"/>\n'
        body += f'<rect x="3.5" y="3.5" width="{w - 7}" height="{h - 7}" rx="1.5" fill="url(#well)" stroke="#0d3470" stroke-opacity="0.6" stroke-width="1"/>\n'
    return svg(w, h, body, defs)


# --------------------------------------------------------------------------------------------
# The four round job buttons and their highlighted looks.

def round_button(size, palette, caption, highlighted):
    c = size / 2.0
    r_bezel = c - 0.8
    r_face = c - 4.6
    if highlighted:
        # Lit from inside: the face keeps its colour but is brighter, and the bezel glows.
        pal = {"light": lighten(palette["light"], 0.45), "mid": lighten(palette["mid"], 0.12),
               "dark": palette["mid"], "edge": palette["dark"]}
    else:
        pal = palette
    defs = rgrad("face", c - size * 0.14, c - size * 0.2, r_face * 1.35,
                 [(0, pal["light"]), (0.55, pal["mid"]), (1, pal["dark"])])
    defs += vgrad("gloss", [(0, "#ffffff", 0.62), (1, "#ffffff", 0.0)])
    defs += vgrad("bezel", [(0, "#59616a"), (1, "#0c0e10")])
    defs += shadow_filter("sh", dy=1, blur=0.7, opacity=0.75)
    body = ""
    if highlighted:
        defs += rgrad("glow", c, c, r_bezel, [(0.78, palette["light"], 0.0), (0.9, palette["light"], 0.9),
                                              (1, palette["mid"], 0.9)])
        body += f'<circle cx="{c}" cy="{c}" r="{r_bezel}" fill="url(#bezel)"/>\n'
        body += f'<circle cx="{c}" cy="{c}" r="{r_bezel}" fill="url(#glow)"/>\n'
    else:
        body += f'<circle cx="{c}" cy="{c}" r="{r_bezel}" fill="url(#bezel)"/>\n'
        body += f'<circle cx="{c}" cy="{c}" r="{r_bezel - 0.5}" fill="none" stroke="#ffffff" stroke-opacity="0.12" stroke-width="1"/>\n'
    body += f'<circle cx="{c}" cy="{c}" r="{r_face}" fill="url(#face)" stroke="{pal["edge"]}" stroke-width="1"/>\n'
    body += f'<ellipse cx="{c}" cy="{c - r_face * 0.48:.2f}" rx="{r_face * 0.72:.2f}" ry="{r_face * 0.42:.2f}" fill="url(#gloss)"/>\n'
    body += '<g filter="url(#sh)">'
    if caption is None:
        # Download only: a big down arrow over a tray.
        s = size / 68.0
        body += (
            f'<path d="M {c - 5 * s:.2f} {c - 17 * s:.2f} L {c + 5 * s:.2f} {c - 17 * s:.2f} L {c + 5 * s:.2f} {c - 2 * s:.2f} '
            f'L {c + 12 * s:.2f} {c - 2 * s:.2f} L {c:.2f} {c + 11 * s:.2f} L {c - 12 * s:.2f} {c - 2 * s:.2f} '
            f'L {c - 5 * s:.2f} {c - 2 * s:.2f} Z" fill="#ffffff" stroke="#ffffff" stroke-width="1.5" stroke-linejoin="round"/>'
        )
        body += (
            f'<path d="M {c - 15 * s:.2f} {c + 9 * s:.2f} L {c - 15 * s:.2f} {c + 16 * s:.2f} L {c + 15 * s:.2f} {c + 16 * s:.2f} '
            f'L {c + 15 * s:.2f} {c + 9 * s:.2f}" fill="none" stroke="#ffffff" stroke-width="3.4" stroke-linecap="round" stroke-linejoin="round"/>'
        )
    else:
        # An arrow above the format's name.
        ay = c - 13
        body += (
            f'<path d="M {c - 3.2:.2f} {ay - 8:.2f} L {c + 3.2:.2f} {ay - 8:.2f} L {c + 3.2:.2f} {ay:.2f} L {c + 8:.2f} {ay:.2f} '
            f'L {c:.2f} {ay + 8:.2f} L {c - 8:.2f} {ay:.2f} L {c - 3.2:.2f} {ay:.2f} Z" fill="#ffffff" '
            f'stroke="#ffffff" stroke-width="1" stroke-linejoin="round"/>'
        )
        body += text(c, c + 13, caption, 15.5, "#ffffff", extra=' letter-spacing="0.4"')
    body += "</g>\n"
    return svg(size, size, body, defs)


# --------------------------------------------------------------------------------------------
# Minimise and close: white on the dark pod, green and one pixel larger while hot.

def bar(w, h, colour, glow):
    defs = vgrad("fill", [(0, lighten(colour, 0.35)), (1, colour)])
    r = (h - 1) / 2
    body = ""
    if glow:
        body += f'<rect x="0" y="0" width="{w}" height="{h}" rx="{h / 2}" fill="{colour}" fill-opacity="0.35"/>\n'
    body += f'<rect x="1" y="1" width="{w - 2}" height="{h - 2}" rx="{r - 0.5}" fill="url(#fill)"/>\n'
    return svg(w, h, body, defs)


def cross(w, h, colour, glow):
    defs = vgrad("fill", [(0, lighten(colour, 0.35)), (1, colour)])
    inset_x, inset_y = 3.2, 2.8
    d = f"M {inset_x} {inset_y} L {w - inset_x} {h - inset_y} M {w - inset_x} {inset_y} L {inset_x} {h - inset_y}"
    body = ""
    if glow:
        body += f'<path d="{d}" stroke="{colour}" stroke-opacity="0.35" stroke-width="5.2" stroke-linecap="round"/>\n'
    body += f'<path d="{d}" stroke="url(#fill)" stroke-width="3" stroke-linecap="round"/>\n'
    return svg(w, h, body, defs)


PICTURES = {
    132: skin,
    133: lambda: bar(25, 7, "#f1f3f5", False),
    179: lambda: bar(26, 8, GREEN["mid"], True),
    134: lambda: cross(17, 15, "#f1f3f5", False),
    180: lambda: cross(17, 16, GREEN["mid"], True),
    141: logo,
    185: title,
    143: lambda: label("Enter link to video"),
    159: lambda: label("Save to folder"),
    160: field,
    161: field,
    146: lambda: pill_button(88, 28, 7, GREY, "Browse...", 12.5),
    158: lambda: pill_button(88, 28, 7, GREEN, "Browse...", 12.5),
    147: lambda: pill_button(226, 24, 12, GREY, "Play After Download", 12.5, check=False),
    148: lambda: pill_button(226, 24, 12, GREEN, "Play After Download", 12.5, check=True),
    174: lambda: status_panel(True),
    178: lambda: status_panel(False),
    149: download_as,
    152: lambda: round_button(68, GREEN, None, False),
    153: lambda: round_button(68, GREEN, None, True),
    154: lambda: round_button(70, BLUE, "MP3", False),
    155: lambda: round_button(70, BLUE, "MP3", True),
    150: lambda: round_button(70, YELLOW, "AVI", False),
    151: lambda: round_button(70, YELLOW, "AVI", True),
    156: lambda: round_button(70, PURPLE, "MP4", False),
    157: lambda: round_button(70, PURPLE, "MP4", True),
}


def main():
    for pid, draw in PICTURES.items():
        write(f"{pid}.svg", draw())
    write("vandrel.svg", icon())


if __name__ == "__main__":
    main()
