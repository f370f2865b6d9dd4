"""The state is told by more than colour, in the real program's pictures: each program button's mark
matches its face colour, and every pair of colours that carries a state or the focus stands at least
3:1 apart under normal vision and under protanopia, deuteranopia and tritanopia; the holding tray
picture stands out on a dark and on a light taskbar.

The window pictures are docs/img, made by `make screenshots` from the real program; the tray picture
is src/ui/res/imgIcon4.ico. Contrast is the WCAG ratio of relative luminances; the colour vision
deficiencies are simulated at full severity in linear RGB (Machado, Oliveira and Fernandes, 2009).
Standard library only.

Usage: python3 test_state_cues.py [ROOT]   (ROOT defaults to the tree above tests/)
"""

import pathlib
import struct
import sys
import unittest
import zlib

VISIONS = {
    "normal": None,
    "protanopia": ((0.152286, 1.052583, -0.204868), (0.114503, 0.786281, 0.099216),
                   (-0.003882, -0.048116, 1.051998)),
    "deuteranopia": ((0.367322, 0.860646, -0.227968), (0.280085, 0.672501, 0.047413),
                     (-0.011820, 0.042940, 0.968881)),
    "tritanopia": ((1.255528, -0.076749, -0.178779), (-0.078411, 0.930809, 0.147602),
                   (0.004733, 0.691367, 0.303900)),
}
GREEN, RED, AMBER = (0, 255, 0), (255, 0, 0), (255, 191, 0)
FACES = {GREEN: "running", RED: "stopped", AMBER: "other session"}
TASKBARS = {"dark": (0x20, 0x20, 0x20), "light": (0xF0, 0xF0, 0xF0)}
# A program button at 96 dpi: 67 x 77, its picture 32 px square, centred, 12 px from the top.
BUTTON = (67, 77)
PICTURE_LEFT, PICTURE_TOP, PICTURE = 17, 12, 32


def linear(c):
    c /= 255.0
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def luminance(rgb, vision):
    lin = [linear(c) for c in rgb]
    matrix = VISIONS[vision]
    if matrix:
        lin = [min(1.0, max(0.0, sum(m * c for m, c in zip(row, lin)))) for row in matrix]
    return 0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2]


def contrast(a, b, vision):
    la, lb = luminance(a, vision), luminance(b, vision)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)


def read_png(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of a PNG as the screenshot script writes it: 8-bit RGB,
    one IDAT, every row unfiltered."""
    data = path.read_bytes()
    width, height = struct.unpack_from(">II", data, 16)
    assert data[24:29] == bytes([8, 2, 0, 0, 0]), "not an unfiltered 8-bit RGB PNG: %s" % path
    length, = struct.unpack_from(">I", data, 33)
    raw, stride = zlib.decompress(data[41:41 + length]), width * 3 + 1
    assert all(raw[y * stride] == 0 for y in range(height)), "a filtered row in %s" % path
    return width, height, lambda x, y: tuple(raw[y * stride + 1 + x * 3: y * stride + 4 + x * 3])


def read_ico(path):
    """Every 8-bit image of an icon file: (size, pixel(x, y) -> (r, g, b) or None where transparent)."""
    data = path.read_bytes()
    count, = struct.unpack_from("<H", data, 4)
    images = []
    for i in range(count):
        _, _, _, _, _, bits, _, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if bits != 8:
            continue
        width, height2 = struct.unpack_from("<ii", data, offset + 4)
        size, palette_at = width, offset + 40
        palette = [struct.unpack_from("<BBBB", data, palette_at + 4 * j)[2::-1] for j in range(256)]
        pixels_at = palette_at + 1024
        stride, mask_stride = (size + 3) & ~3, ((size + 31) // 32) * 4
        mask_at = pixels_at + stride * size

        def pixel(x, y, pixels_at=pixels_at, stride=stride, mask_at=mask_at, mask_stride=mask_stride,
                  size=size, palette=palette):
            row = size - 1 - y
            if data[mask_at + row * mask_stride + x // 8] & (0x80 >> (x % 8)):
                return None
            return palette[data[pixels_at + row * stride + x]]
        images.append((size, pixel))
    return images


def find_buttons(width, height, pixel):
    """The two program buttons of a window picture: (left, top, face colour) of each, left first.
    A face is found by its colour, which fills a band along each of its edges."""
    found = []
    for half in (range(0, width // 2), range(width // 2, width)):
        for colour in FACES:
            spots = [(x, y) for y in range(height // 2) for x in half if pixel(x, y) == colour]
            if len(spots) > 500:
                left, top = min(x for x, _ in spots) - 2, min(y for _, y in spots) - 2
                found.append((left, top, colour))
                break
    return found


def mark_of(pixel, left, top):
    """Which mark the button shows: which of its three strokes is dark all along."""
    def dark(points):
        return all(max(pixel(left + x, top + y)) < 64 for x, y in points)
    inner = range(5, PICTURE - 5)
    diagonal = dark([(PICTURE_LEFT + i, PICTURE_TOP + i) for i in inner])
    across = dark([(PICTURE_LEFT + i, PICTURE_TOP + PICTURE // 2) for i in inner])
    elbow = dark([(PICTURE_LEFT + round(0.42 * PICTURE) + dx, PICTURE_TOP + round(0.66 * PICTURE) + dy)
                  for dx in (-1, 0, 1) for dy in (-1, 0, 1)])
    if diagonal and not across:
        return "stopped"
    if across and not diagonal:
        return "other session"
    if elbow and not diagonal and not across:
        return "running"
    return None


class StateCuesTest(unittest.TestCase):
    root = pathlib.Path(__file__).resolve().parents[2]

    def window_pictures(self):
        names = ["running.png", "bridge-not-started.png", "controller-stopped.png", "mixed-result.png",
                 "focus.png", "other-session.png"]
        return [(name, read_png(self.root / "docs" / "img" / name)) for name in names]

    def test_each_button_shows_the_mark_of_its_colour_in_every_window_picture(self):
        seen = set()
        for name, (width, height, pixel) in self.window_pictures():
            buttons = find_buttons(width, height, pixel)
            self.assertEqual(len(buttons), 2, "%s: the two buttons' faces" % name)
            for left, top, face in buttons:
                with self.subTest(picture=name, left=left):
                    self.assertEqual(mark_of(pixel, left, top), FACES[face])
                    seen.add(FACES[face])
        self.assertEqual(seen, set(FACES.values()), "every state among the pictures")

    def test_the_mark_and_the_focus_ring_stand_out_from_every_face_under_every_vision(self):
        core = edge = ring = None
        for name, (width, height, pixel) in self.window_pictures():
            for left, top, face in find_buttons(width, height, pixel):
                if FACES[face] == "stopped":
                    middle = (left + PICTURE_LEFT + PICTURE // 2, top + PICTURE_TOP + PICTURE // 2)
                    core = pixel(*middle)
                    # The light edge lies beside the core, across the bar.
                    edge = pixel(middle[0] + 4, middle[1] - 3)
                if name == "focus.png" and pixel(left + 10, top + BUTTON[1] // 2) != face:
                    row = [pixel(left + x, top + BUTTON[1] // 2) for x in range(9, 16)]
                    ring = row[0]
                    self.assertGreaterEqual(sum(1 for c in row if c == ring), 2, "the ring's width")
        self.assertIsNotNone(core, "no stopped button in the pictures")
        self.assertIsNotNone(ring, "no focus ring in focus.png")
        for vision in VISIONS:
            for face in FACES:
                with self.subTest(vision=vision, face=FACES[face]):
                    self.assertGreaterEqual(contrast(core, face, vision), 3.0, "the mark's core on the face")
                    self.assertGreaterEqual(contrast(ring, face, vision), 3.0, "the focus ring on the face")
            self.assertGreaterEqual(contrast(core, edge, vision), 3.0, "the mark's core on its edge")

    def test_the_holding_tray_picture_stands_out_on_a_dark_and_a_light_taskbar(self):
        # The tray shows 16 px pictures at 96 dpi and 32 px ones at 192: both are checked. The outline
        # that tells the picture from the taskbar is its outermost ring or the ring inside it.
        images = read_ico(self.root / "src" / "ui" / "res" / "imgIcon4.ico")
        self.assertEqual(sorted(size for size, _ in images), [16, 32])
        for size, pixel in images:
            rings = [[pixel(x, y) for y in range(size) for x in range(size)
                      if min(x, y, size - 1 - x, size - 1 - y) == depth] for depth in (0, 1, 2)]
            for taskbar, back in TASKBARS.items():
                for vision in VISIONS:
                    with self.subTest(size=size, taskbar=taskbar, vision=vision):
                        shares = [sum(1 for c in ring if c and contrast(c, back, vision) >= 3.0) / len(ring)
                                  for ring in rings]
                        self.assertGreaterEqual(max(shares), 0.9, "no outline of 3:1 round the picture")


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        StateCuesTest.root = pathlib.Path(sys.argv.pop(1)).resolve()
    unittest.main()
