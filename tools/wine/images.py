"""The screen's pictures: the driver's BMP read pixel by pixel, and turned into a PNG (standard library only)."""

import struct
import zlib


def _bmp_rows(bmp_path):
    """(width, height, rows top-down as BGR bytes) of the driver's 24-bit BMP."""
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError("not a 24-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y  # bottom-up unless the height is negative
        rows.append(data[offset + source * stride: offset + source * stride + width * 3])
    return width, abs(height), rows


def read_bmp(bmp_path):
    """(width, height, pixel(x, y) -> 0x00BBGGRR) of the driver's 24-bit BMP."""
    width, height, rows = _bmp_rows(bmp_path)

    def pixel(x, y):
        b, g, r = rows[y][x * 3: x * 3 + 3]
        return r | (g << 8) | (b << 16)
    return width, height, pixel


def bmp_to_png(bmp_path, png_path, rect=None):
    """Converts the driver's 24-bit BMP, or its part rect [left, top, right, bottom], into a PNG,
    standard library only."""
    width, height, bgr_rows = _bmp_rows(bmp_path)
    if rect:
        left, top = max(rect[0], 0), max(rect[1], 0)
        right, bottom = min(rect[2], width), min(rect[3], height)
        bgr_rows = [row[left * 3: right * 3] for row in bgr_rows[top:bottom]]
        width, height = right - left, bottom - top
    rows = []
    for bgr in bgr_rows:
        row = bytearray(bgr)
        row[0::3], row[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\0" + bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    with open(png_path, "wb") as f:
        f.write(png)


_shared = None
