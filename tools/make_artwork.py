#!/usr/bin/python3
"""Draws the monitor's pictures and writes them to src/ui/res/.

    Image1.jpg              the window's photograph, 192 x 256, baseline JPEG
    imgIcon0..4.ico         the tray pictures: one fox head, five backgrounds; the holding
                            one (4) framed in white and drawn at 16 x 16 as well
    CBPellux.ico            the controller's button picture (48x48 8-bit, 256x224 32-bit)
    CBLINTARO.ico           the bridge's button picture (32x32 4-bit)

Everything is drawn here from shapes and a seeded noise source, so a second run
writes the same bytes. Needs Pillow (Debian: python3-pil).

    /usr/bin/python3 tools/make_artwork.py [output folder]
"""

import io
import math
import os
import random
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(HERE, os.pardir, "src", "ui", "res")

# The photograph lands near this size; the quality is searched for it.
PHOTO_TARGET_BYTES = 10_576
PHOTO_MAX_BYTES = 11_000



def _row_bytes(width, bits):
    return ((width * bits + 31) // 32) * 4


def _and_mask(opaque, width, height):
    """1-bit mask, bottom-up, set bits are transparent."""
    stride = _row_bytes(width, 1)
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if not opaque[y * width + x]:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def _dib_header(width, height, bits, image_size, colours_used):
    # The height counts the colour bitmap and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                       image_size, 0, 0, colours_used, 0)


def palettised_dib(indices, palette, opaque, width, height, bits):
    """A DIB icon entry: header, palette, colour bitmap, AND mask.

    indices: one palette index per pixel, top row first; palette: (r, g, b)
    triples, at most 2**bits of them; opaque: one truth value per pixel."""
    count = 1 << bits
    assert len(palette) <= count
    pal = bytearray()
    for r, g, b in list(palette) + [(0, 0, 0)] * (count - len(palette)):
        pal += struct.pack("<BBBB", b, g, r, 0)
    stride = _row_bytes(width, bits)
    xor = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            i = indices[y * width + x]
            assert 0 <= i < count
            if bits == 8:
                row[x] = i
            elif bits == 4:
                row[x >> 1] |= i << (4 if x % 2 == 0 else 0)
            else:
                raise ValueError(bits)
        xor += row
    mask = _and_mask(opaque, width, height)
    size = len(xor) + len(mask)
    return _dib_header(width, height, bits, size, count) + bytes(pal) + bytes(xor) + mask


def write_ico(path, entries):
    """entries: (width, height, colour_count, bits, payload) per image."""
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    directory = bytearray()
    body = bytearray()
    for width, height, colours, bits, payload in entries:
        # A width or height of 256 is written as 0.
        directory += struct.pack("<BBBBHHII", width & 0xFF, height & 0xFF,
                                 colours & 0xFF, 0, 1, bits, len(payload), offset)
        body += payload
        offset += len(payload)
    with open(path, "wb") as f:
        f.write(header + bytes(directory) + bytes(body))


def quantise_256(rgb, opaque):
    """Index 0 is black, the colour bitmap value a masked pixel must carry
    so that the screen shows through it; the picture gets the other 255."""
    q = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT,
                     dither=Image.Dither.NONE)
    flat = q.getpalette()[:255 * 3]
    palette = [(0, 0, 0)] + [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    indices = [i + 1 if o else 0 for i, o in zip(q.getdata(), opaque)]
    return indices, palette


def shrink(img, size):
    """Area-average an RGBA drawing down with premultiplied alpha, so the
    colour of transparent parts never bleeds into the edges."""
    return img.convert("RGBa").resize(size, Image.BOX).convert("RGBA")


def opaque_flags(alpha_img, threshold=128):
    return [a >= threshold for a in alpha_img.getdata()]



FOX_SCALE = 8          # drawn at 256 x 256, shown at 32 x 32
FOX_OUTLINE = (58, 28, 14)
FOX_ORANGE = (238, 122, 28)
FOX_ORANGE_DARK = (196, 86, 18)
FOX_CREAM = (252, 246, 232)
FOX_EAR_INNER = (120, 52, 30)
FOX_BLACK = (24, 16, 12)


def draw_fox_head():
    """The fox head alone on a transparent 256 x 256 canvas."""
    n = 32 * FOX_SCALE
    fill = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(fill)

    left_ear = [(30, 132), (52, 18), (118, 84)]
    right_ear = [(n - x, y) for x, y in left_ear]
    head = [(22, 116), (72, 82), (128, 72), (184, 82), (234, 116), (240, 150),
            (196, 194), (150, 232), (128, 240), (106, 232), (60, 194), (16, 150)]
    cheeks = [(16, 150), (60, 146), (100, 166), (128, 196), (156, 166), (196, 146),
              (240, 150), (196, 194), (150, 232), (128, 240), (106, 232), (60, 194)]

    for ear in (left_ear, right_ear):
        d.polygon(ear, fill=FOX_ORANGE)
    d.polygon([(48, 116), (60, 44), (100, 86)], fill=FOX_EAR_INNER)
    d.polygon([(n - 48, 116), (n - 60, 44), (n - 100, 86)], fill=FOX_EAR_INNER)
    d.polygon(head, fill=FOX_ORANGE)
    # Darker brow band gives the face some depth at tray size.
    d.polygon([(72, 82), (128, 72), (184, 82), (160, 100), (128, 104), (96, 100)],
              fill=FOX_ORANGE_DARK)
    d.polygon(cheeks, fill=FOX_CREAM)
    for cx in (88, n - 88):
        d.ellipse([cx - 15, 124, cx + 15, 156], fill=FOX_BLACK)
        d.ellipse([cx - 6, 128, cx + 4, 138], fill=(255, 255, 255))
    d.ellipse([110, 208, 146, 234], fill=FOX_BLACK)
    d.ellipse([118, 212, 128, 219], fill=(150, 140, 130))

    # A dark outline all round, grown out of the silhouette.
    alpha = fill.getchannel("A")
    grown = alpha.filter(ImageFilter.MaxFilter(13))
    out = Image.new("RGBA", (n, n), FOX_OUTLINE + (0,))
    out.putalpha(grown)
    out.alpha_composite(fill)
    return out


# The holding picture's frame. Its dark red square alone all but vanishes on a
# dark taskbar (1.8:1 on #202020, less with a red-green deficiency); the white
# frame stands out there and the dark red inside it on a light one, at least
# 3:1 either way and under every kind of colour vision.
HOLDING = 4
HOLDING_FRAME = (255, 255, 255)


def framed(rgb, width):
    d = ImageDraw.Draw(rgb)
    side = rgb.size[0]
    for i in range(width):
        d.rectangle([i, i, side - 1 - i, side - 1 - i], outline=HOLDING_FRAME)
    return rgb


def holding_entry(head, bg, size):
    big = Image.new("RGBA", head.size, bg + (255,))
    big.alpha_composite(head)
    # The frame is one sixteenth of the side: 2 px at 32, 1 px at 16, where
    # the notification area shows it.
    rgb = framed(big.convert("RGB").resize((size, size), Image.BOX), size // 16)
    opaque = [True] * (size * size)
    indices, palette = quantise_256(rgb, opaque)
    return (size, size, 0, 8, palettised_dib(indices, palette, opaque, size, size, 8))


def make_tray_icons(out_dir):
    head = draw_fox_head()
    backgrounds = [None, (0, 255, 51), (255, 0, 255), (255, 0, 0), (153, 0, 0)]
    for index, bg in enumerate(backgrounds):
        if index == HOLDING:
            write_ico(os.path.join(out_dir, "imgIcon%d.ico" % index),
                      [holding_entry(head, bg, 32), holding_entry(head, bg, 16)])
            continue
        if bg is None:
            small = shrink(head, (32, 32))
            opaque = opaque_flags(small.getchannel("A"))
            # Edge pixels kept by the mask take the outline's colour.
            base = Image.new("RGBA", (32, 32), FOX_OUTLINE + (255,))
            base.alpha_composite(small)
            rgb = base.convert("RGB")
        else:
            big = Image.new("RGBA", head.size, bg + (255,))
            big.alpha_composite(head)
            rgb = big.convert("RGB").resize((32, 32), Image.BOX)
            opaque = [True] * (32 * 32)
        indices, palette = quantise_256(rgb, opaque)
        dib = palettised_dib(indices, palette, opaque, 32, 32, 8)
        write_ico(os.path.join(out_dir, "imgIcon%d.ico" % index),
                  [(32, 32, 0, 8, dib)])



def draw_slider_panel(width, height):
    """A grey square panel with three slider knobs, centred on a
    transparent canvas of the given size."""
    img = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    side = int(min(width, height) * 0.94)
    x0 = (width - side) // 2
    y0 = (height - side) // 2
    u = side / 100.0                       # one hundredth of the panel
    radius = int(9 * u)

    d.rounded_rectangle([x0, y0, x0 + side - 1, y0 + side - 1], radius, fill=(70, 72, 76))
    # Face: lighter towards the top, as if lit from above.
    face = Image.new("RGBA", (width, height), (0, 0, 0, 0))
    fd = ImageDraw.Draw(face)
    inset = int(3 * u)
    steps = max(2, int(side - 2 * inset))
    for i in range(steps):
        t = i / (steps - 1)
        g = int(196 - 52 * t)
        y = y0 + inset + i
        fd.line([(x0 + inset, y), (x0 + side - inset - 1, y)], fill=(g, g, g + 4, 255))
    face_mask = Image.new("L", (width, height), 0)
    ImageDraw.Draw(face_mask).rounded_rectangle(
        [x0 + inset, y0 + inset, x0 + side - inset - 1, y0 + side - inset - 1],
        max(1, radius - inset), fill=255)
    img.paste(face, (0, 0), face_mask)

    knobs = [(26, 36, (46, 186, 66)), (50, 64, (44, 104, 226)), (74, 46, (246, 206, 32))]
    for cx, ky, colour in knobs:
        sx = x0 + cx * u
        # The slot, with a lit lower lip.
        d.rounded_rectangle([sx - 3.2 * u, y0 + 14 * u, sx + 3.2 * u, y0 + 86 * u],
                            int(3 * u), fill=(40, 40, 44))
        d.rounded_rectangle([sx - 1.6 * u, y0 + 16 * u, sx + 1.6 * u, y0 + 84 * u],
                            int(1.6 * u), fill=(18, 18, 20))
        # Knob: drop shadow, dark rim, coloured cap with a highlight.
        ky = y0 + ky * u
        d.rounded_rectangle([sx - 10 * u, ky - 5 * u + 2.5 * u, sx + 11.5 * u, ky + 9.5 * u],
                            int(3 * u), fill=(60, 60, 64))
        d.rounded_rectangle([sx - 11 * u, ky - 7 * u, sx + 11 * u, ky + 7 * u],
                            int(3 * u), fill=tuple(int(c * 0.55) for c in colour))
        d.rounded_rectangle([sx - 9.5 * u, ky - 5.5 * u, sx + 9.5 * u, ky + 5.5 * u],
                            int(2.4 * u), fill=colour)
        hi = tuple(min(255, int(c + (255 - c) * 0.55)) for c in colour)
        d.rounded_rectangle([sx - 8 * u, ky - 4.5 * u, sx + 8 * u, ky - 1.5 * u],
                            int(1.5 * u), fill=hi)
        d.line([(sx - 8 * u, ky + 1.5 * u), (sx + 8 * u, ky + 1.5 * u)],
               fill=tuple(int(c * 0.75) for c in colour), width=max(1, int(1.2 * u)))
    return img


def make_controller_button(out_dir):
    # 48 x 48, 256 colours, drawn at eight times the size.
    small = shrink(draw_slider_panel(384, 384), (48, 48))
    opaque = opaque_flags(small.getchannel("A"))
    base = Image.new("RGBA", (48, 48), (70, 72, 76, 255))
    base.alpha_composite(small)
    indices, palette = quantise_256(base.convert("RGB"), opaque)
    dib48 = palettised_dib(indices, palette, opaque, 48, 48, 8)

    # 256 x 224, 32-bit with alpha, stored PNG-compressed.
    large = shrink(draw_slider_panel(1024, 896), (256, 224))
    buf = io.BytesIO()
    large.save(buf, "PNG", optimize=True)
    write_ico(os.path.join(out_dir, "CBPellux.ico"),
              [(48, 48, 0, 8, dib48), (256, 224, 0, 32, buf.getvalue())])



VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
         (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
         (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
         (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# Pixel lettering, 8 wide and 10 high, two-pixel strokes.
GLYPHS = {
    "T": ["########",
          "########",
          "...##...",
          "...##...",
          "...##...",
          "...##...",
          "...##...",
          "...##...",
          "...##...",
          "...##..."],
    "C": ["..######",
          ".#######",
          "###.....",
          "##......",
          "##......",
          "##......",
          "##......",
          "###.....",
          ".#######",
          "..######"],
    "P": ["######..",
          "#######.",
          "##...###",
          "##....##",
          "##...###",
          "#######.",
          "######..",
          "##......",
          "##......",
          "##......"],
}


def make_bridge_button(out_dir):
    W = H = 32
    BLACK, TEAL, SILVER, GREY, WHITE = 0, 6, 7, 8, 15
    px = [WHITE] * (W * H)

    def put(x, y, c):
        if 0 <= x < W and 0 <= y < H:
            px[y * W + x] = c

    # The cable: a grey band sweeping in from the lower left, darker edges.
    for x in range(0, 19):
        t = x / 18.0
        yc = int(round(29 - 7 * math.sin(t * math.pi / 2)))
        for dy in range(-2, 3):
            put(x, yc + dy, GREY if abs(dy) == 2 else SILVER)
    # Strain relief, then the connector shell narrowing to its D-shaped face.
    for x in range(17, 21):
        for y in range(18, 27):
            put(x, y, GREY if y in (18, 26) or x == 17 else SILVER)
    for x in range(21, 31):
        top = 15 + max(0, x - 26)
        bottom = 29 - max(0, x - 26)
        for y in range(top, bottom + 1):
            edge = y in (top, bottom) or x in (21, 30)
            put(x, y, GREY if edge else SILVER)
    # Nine pins on the mating face, five beside four.
    for y in (18, 20, 22, 24, 26):
        put(24, y, BLACK)
    for y in (19, 21, 23, 25):
        put(27, y, BLACK)

    # "TCP" in teal across the top.
    x0 = 2
    for ch in "TCP":
        for gy, row in enumerate(GLYPHS[ch]):
            for gx, cell in enumerate(row):
                if cell == "#":
                    put(x0 + gx, 2 + gy, TEAL)
        x0 += 10
    opaque = [True] * (W * H)
    dib = palettised_dib(px, VGA16, opaque, W, H, 4)
    write_ico(os.path.join(out_dir, "CBLINTARO.ico"), [(32, 32, 16, 4, dib)])



def _lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def _vgradient(d, box, top, bottom):
    x0, y0, x1, y1 = box
    for y in range(y0, y1 + 1):
        t = (y - y0) / max(1, y1 - y0)
        d.line([(x0, y), (x1, y)], fill=_lerp(top, bottom, t))


def _hgradient(d, box, left, right):
    x0, y0, x1, y1 = box
    for x in range(x0, x1 + 1):
        t = (x - x0) / max(1, x1 - x0)
        d.line([(x, y0), (x, y1)], fill=_lerp(left, right, t))


def draw_workshop(width, height):
    """A vertical machining centre in a workshop, drawn at width x height
    (a 3:4 portrait)."""
    s = width / 192.0
    img = Image.new("RGB", (width, height))
    d = ImageDraw.Draw(img)

    def S(*v):
        return [int(round(a * s)) for a in v]

    # Back wall and ceiling, floor in perspective.
    _vgradient(d, S(0, 0, 192, 34), (58, 62, 66), (92, 98, 102))
    _vgradient(d, S(0, 34, 192, 168), (150, 156, 152), (118, 124, 122))
    _vgradient(d, S(0, 168, 192, 256), (96, 108, 100), (62, 70, 66))
    # Ceiling lamps with a glow on the wall.
    glow = Image.new("L", (width, height), 0)
    gd = ImageDraw.Draw(glow)
    for cx in (40, 150):
        gd.ellipse(S(cx - 44, 6, cx + 44, 90), fill=130)
        d.rectangle(S(cx - 22, 22, cx + 22, 27), fill=(250, 252, 240))
    glow = glow.filter(ImageFilter.GaussianBlur(14 * s))
    img.paste((255, 250, 225), (0, 0), glow)
    d = ImageDraw.Draw(img)
    for cx in (40, 150):
        d.rectangle(S(cx - 22, 22, cx + 22, 27), fill=(252, 252, 244))
        d.rectangle(S(cx - 23, 20, cx + 23, 21), fill=(70, 72, 74))
    # A wall shelf with boxes on the left, a red tool chest on the right.
    d.rectangle(S(4, 78, 40, 80), fill=(84, 76, 66))
    for x, w, c in ((6, 9, (170, 120, 60)), (17, 11, (60, 90, 140)), (30, 8, (150, 60, 50))):
        d.rectangle(S(x, 66, x + w, 78), fill=c)
    _hgradient(d, S(160, 120, 190, 182), (170, 40, 34), (120, 26, 24))
    for y in range(126, 180, 9):
        d.rectangle(S(162, y, 188, y + 1), fill=(90, 20, 18))
        d.rectangle(S(170, y + 3, 180, y + 4), fill=(200, 200, 196))
    # Floor markings: a yellow walkway line in perspective.
    d.polygon(S(0, 230, 192, 196, 192, 201, 0, 238), fill=(214, 176, 40))
    d.polygon(S(0, 250, 120, 256, 100, 256, 0, 253), fill=(190, 160, 44))

    # Soft shadow under the machine.
    shadow = Image.new("L", (width, height), 0)
    ImageDraw.Draw(shadow).ellipse(S(16, 196, 164, 226), fill=150)
    shadow = shadow.filter(ImageFilter.GaussianBlur(6 * s))
    img.paste((20, 24, 22), (0, 0), shadow)
    d = ImageDraw.Draw(img)

    # The machine: side in perspective, front enclosure, base.
    d.polygon(S(24, 52, 34, 44, 34, 200, 24, 210), fill=(150, 154, 158))
    _vgradient(d, S(34, 44, 150, 200), (226, 228, 230), (186, 190, 194))
    d.rectangle(S(34, 44, 150, 56), fill=(64, 92, 140))          # blue top band
    d.rectangle(S(40, 47, 76, 53), fill=(230, 234, 240))         # maker's plate
    _vgradient(d, S(34, 178, 150, 200), (86, 90, 96), (56, 60, 64))
    _vgradient(d, S(34, 200, 150, 206), (230, 190, 40), (200, 160, 30))
    for x in range(36, 146, 8):                                   # warning stripes
        d.polygon(S(x, 200, x + 4, 200, x + 8, 206, x + 4, 206), fill=(34, 32, 28))
    # Door opening with the working area behind glass.
    _vgradient(d, S(42, 64, 120, 170), (44, 54, 62), (22, 28, 34))
    # Inside: spindle head, tool, vice and part, lit from the work light.
    work = Image.new("L", (width, height), 0)
    ImageDraw.Draw(work).ellipse(S(50, 80, 112, 160), fill=90)
    work = work.filter(ImageFilter.GaussianBlur(10 * s))
    img.paste((150, 200, 230), (0, 0), work)
    d = ImageDraw.Draw(img)
    _hgradient(d, S(68, 64, 94, 104), (120, 124, 130), (200, 204, 208))
    _hgradient(d, S(74, 104, 88, 118), (150, 154, 160), (216, 220, 224))
    d.polygon(S(78, 118, 84, 118, 82, 134, 80, 134), fill=(210, 190, 120))
    _hgradient(d, S(56, 146, 106, 156), (60, 66, 74), (110, 116, 124))
    d.rectangle(S(66, 138, 96, 146), fill=(178, 182, 186))
    d.rectangle(S(72, 134, 90, 138), fill=(200, 200, 196))
    _vgradient(d, S(44, 156, 118, 168), (80, 88, 96), (50, 56, 62))
    # Glass reflection: a pale diagonal band.
    refl = Image.new("L", (width, height), 0)
    ImageDraw.Draw(refl).polygon(S(52, 64, 70, 64, 46, 170, 42, 170, 42, 110), fill=60)
    refl = refl.filter(ImageFilter.GaussianBlur(2 * s))
    img.paste((235, 240, 245), (0, 0), refl)
    d = ImageDraw.Draw(img)
    # Door frame and handle.
    d.rectangle(S(40, 62, 122, 63), fill=(120, 124, 128))
    d.rectangle(S(40, 170, 122, 172), fill=(120, 124, 128))
    d.rectangle(S(40, 62, 41, 172), fill=(140, 144, 148))
    d.rectangle(S(120, 62, 122, 172), fill=(140, 144, 148))
    d.rectangle(S(114, 96, 117, 140), fill=(70, 74, 78))
    # Control pendant on the right with a lit screen and buttons.
    _vgradient(d, S(126, 66, 148, 150), (78, 82, 88), (52, 56, 60))
    _vgradient(d, S(129, 70, 145, 92), (70, 150, 210), (30, 90, 160))
    for i, y in enumerate(range(73, 90, 4)):
        d.rectangle(S(131, y, 131 + 8 + (i * 3) % 6, y + 1), fill=(200, 236, 255))
    for y in range(98, 124, 6):
        for x in (130, 136, 142):
            d.rectangle(S(x, y, x + 3, y + 3), fill=(180, 184, 188))
    d.ellipse(S(131, 128, 143, 140), fill=(200, 30, 24))
    d.ellipse(S(134, 130, 139, 134), fill=(250, 110, 100))
    d.ellipse(S(133, 142, 141, 148), fill=(220, 190, 40))
    # Signal tower on the roof.
    for i, c in enumerate(((40, 190, 70), (240, 190, 40), (210, 40, 30))):
        d.rectangle(S(138, 38 - i * 5, 143, 42 - i * 5), fill=c)
    d.rectangle(S(140, 42, 141, 44), fill=(60, 60, 60))

    # The light falls from the upper left: a broad falloff over everything.
    light = Image.new("L", (width, height), 0)
    ImageDraw.Draw(light).ellipse(S(-80, -60, 170, 230), fill=255)
    light = light.filter(ImageFilter.GaussianBlur(40 * s))
    light = light.point(lambda v: 150 + v * 105 // 255)
    return ImageChops.multiply(img, Image.merge("RGB", (light, light, light)))


def _vignette(img, strength):
    w, h = img.size
    mask = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(mask)
    steps = 24
    for i in range(steps):
        t = i / steps
        d.ellipse([-w * 0.35 + t * w * 0.3, -h * 0.3 + t * h * 0.25,
                   w * 1.35 - t * w * 0.3, h * 1.3 - t * h * 0.25],
                  fill=int(255 * (t ** 0.7)))
    mask = mask.filter(ImageFilter.GaussianBlur(w / 10))
    dark = Image.new("RGB", (w, h), (0, 0, 0))
    inv = mask.point(lambda v: int((255 - v) * strength))
    return Image.composite(dark, img, inv)


def _grain(img, amount, seed):
    """Seeded luminance grain, so the photograph reads as one."""
    rnd = random.Random(seed)
    w, h = img.size
    noise = Image.new("L", (w, h))
    noise.putdata([max(0, min(255, int(128 + rnd.gauss(0, amount)))) for _ in range(w * h)])
    noise = noise.filter(ImageFilter.GaussianBlur(0.45))
    grey = Image.merge("RGB", (noise, noise, noise))
    # Overlay-like: add (noise - 128) to every channel.
    img = ImageChops.add(img, grey, scale=1.0, offset=-128)
    return img


def make_photograph(out_dir):
    big = draw_workshop(768, 1024)
    photo = big.resize((192, 256), Image.LANCZOS)
    photo = photo.filter(ImageFilter.GaussianBlur(0.35))
    photo = _vignette(photo, 0.55)
    photo = _grain(photo, 7.0, seed=1905)
    # A warm cast, as under old fluorescent tubes.
    r, g, b = photo.split()
    photo = Image.merge("RGB", (r.point(lambda v: min(255, int(v * 1.04 + 3))),
                                g, b.point(lambda v: int(v * 0.94))))

    best = None
    for quality in range(20, 96):
        buf = io.BytesIO()
        photo.save(buf, "JPEG", quality=quality, progressive=False, optimize=True,
                   subsampling="4:2:0")
        data = buf.getvalue()
        if len(data) > PHOTO_MAX_BYTES:
            break
        if best is None or abs(len(data) - PHOTO_TARGET_BYTES) < abs(len(best[1]) - PHOTO_TARGET_BYTES):
            best = (quality, data)
    if best is None:
        raise SystemExit("photograph does not fit in %d bytes" % PHOTO_MAX_BYTES)
    with open(os.path.join(out_dir, "Image1.jpg"), "wb") as f:
        f.write(best[1])
    return best[0], len(best[1])


def main():
    out_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUT)
    os.makedirs(out_dir, exist_ok=True)
    quality, size = make_photograph(out_dir)
    make_tray_icons(out_dir)
    make_controller_button(out_dir)
    make_bridge_button(out_dir)
    print("artwork written to %s (photograph: quality %d, %d bytes)" % (out_dir, quality, size))


if __name__ == "__main__":
    main()
