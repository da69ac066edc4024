#!/usr/bin/env python3
"""Draws Dormivel's icon (a crescent moon over a screen with a red record
dot) and writes it as a Windows .ico with 48, 32 and 16 pixel 32-bit images.

Usage: tools/make_icon.py src/ui/dormivel.ico
Pure Python: each pixel is supersampled 4x4 for smooth edges."""
import struct
import sys


def inside(x, y):
    """Colour (r, g, b, a) of the design at unit coordinates 0..1, or None."""
    # Rounded dark-blue screen.
    def in_rounded(px, py, x0, y0, x1, y1, r):
        if px < x0 or px > x1 or py < y0 or py > y1:
            return False
        cx = min(max(px, x0 + r), x1 - r)
        cy = min(max(py, y0 + r), y1 - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r

    # Red record dot, bottom right, with a white ring.
    dx, dy = x - 0.76, y - 0.76
    if dx * dx + dy * dy <= 0.15 ** 2:
        return (220, 40, 40, 255) if dx * dx + dy * dy <= 0.11 ** 2 else (255, 255, 255, 255)
    # Crescent: a big disc minus an offset disc.
    mx, my = x - 0.44, y - 0.42
    ox, oy = x - 0.57, y - 0.32
    if mx * mx + my * my <= 0.27 ** 2 and ox * ox + oy * oy > 0.24 ** 2:
        return (255, 214, 64, 255)
    if in_rounded(x, y, 0.04, 0.08, 0.96, 0.92, 0.14):
        # Slight vertical gradient.
        shade = int(30 + 40 * (1 - y))
        return (shade // 2, shade // 2 + 10, 70 + shade, 255)
    return None


def render(size):
    rows = []
    n = 4
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = inside((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c:
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
            a = acc[3] / (n * n)
            if acc[3]:
                rgb = [int(acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], int(round(a))))
        rows.append(row)
    return rows


def dib(size):
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    sizes = [48, 32, 16]
    images = [dib(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
