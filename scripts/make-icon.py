#!/usr/bin/env python3
"""Draws the agent's tray icon: a blue shield with a white V, in the 16
standard colours, at 16x16 and 32x32. Writes agent/Krellin.ico."""
import struct
import sys

PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
DARK_BLUE, BLUE, WHITE, YELLOW = 4, 12, 15, 11


def draw(size):
    """Returns rows (top first) of palette indexes, None for transparent."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = (x + 0.5) / size, (y + 0.5) / size
            # Shield: straight sides down to 55%, then tapering to a point.
            half = 0.42 if v < 0.55 else 0.42 * max(0.0, (0.97 - v) / 0.42)
            inside = 0.06 <= v <= 0.97 and abs(u - 0.5) <= half
            edge = inside and (abs(u - 0.5) > half - 1.5 / size or v < 0.06 + 1.5 / size)
            # The V: two strokes meeting at the bottom centre.
            d = abs(abs(u - 0.5) - (0.8 - v) * 0.45)
            in_v = 0.2 <= v <= 0.8 and d < 0.085
            if not inside:
                row.append(None)
            elif edge:
                row.append(DARK_BLUE)
            elif in_v:
                row.append(WHITE)
            elif v < 0.16:
                row.append(YELLOW)
            else:
                row.append(BLUE)
        rows.append(row)
    return rows


def image(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor = b''
    andmask = b''
    for row in reversed(rows):
        nibbles = [c if c is not None else 0 for c in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += data + b'\0' * (-len(data) % 4)
        bits = 0
        mask = b''
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask += bytes([bits])
                bits = 0
        andmask += mask + b'\0' * (-len(mask) % 4)
    return header + palette + xor + andmask


def main(path):
    images = [image(16), image(32)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'agent/Krellin.ico')
