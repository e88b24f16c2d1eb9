#!/usr/bin/env python3
"""Makes the sample bitmaps in samples/bitmaps/ (deterministic; run from anywhere).

aerial.bmp       24-bit, 320 x 240: fields, woods, a river and a road as seen
                 from above, the kind of picture taken of the terrain model.
relief_grey.bmp  8-bit grey palette, 320 x 240: the shaded relief of a height map.

Only the standard library is used, so the files do not depend on the
system's own writer that the tests check.
"""
import math
import os
import random
import struct

WIDTH, HEIGHT = 320, 240


def value_noise(seed, cell):
    rnd = random.Random(seed)
    gw, gh = WIDTH // cell + 2, HEIGHT // cell + 2
    grid = [[rnd.random() for _ in range(gw)] for _ in range(gh)]

    def at(x, y):
        gx, gy = x / cell, y / cell
        x0, y0 = int(gx), int(gy)
        fx, fy = gx - x0, gy - y0
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        top = grid[y0][x0] * (1 - fx) + grid[y0][x0 + 1] * fx
        bottom = grid[y0 + 1][x0] * (1 - fx) + grid[y0 + 1][x0 + 1] * fx
        return top * (1 - fy) + bottom * fy

    return at


def height_map(octaves=None):
    octaves = octaves or [(value_noise(11, 80), 0.55), (value_noise(12, 35), 0.27), (value_noise(13, 12), 0.12),
                          (value_noise(14, 5), 0.06)]
    return [[sum(n(x, y) * w for n, w in octaves) for x in range(WIDTH)] for y in range(HEIGHT)]


def bmp_headers(bit_count, palette_entries):
    row = (WIDTH * bit_count + 31) // 32 * 4
    offset = 14 + 40 + 4 * palette_entries
    size = offset + row * HEIGHT
    file_header = b"BM" + struct.pack("<IHHI", size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, bit_count, 0, row * HEIGHT, 0, 0, palette_entries, 0)
    return file_header + info, row


def write_24(path, pixels):
    header, row = bmp_headers(24, 0)
    data = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        line = bytearray()
        for r, g, b in pixels[y]:
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    with open(path, "wb") as f:
        f.write(header + data)


def write_grey_8(path, levels):
    header, row = bmp_headers(8, 256)
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    data = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        line = bytes(levels[y])
        data += line + b"\0" * (row - len(line))
    with open(path, "wb") as f:
        f.write(header + palette + data)


def clamp(v):
    return max(0, min(255, int(round(v))))


def aerial(heights):
    rnd = random.Random(21)
    fine = value_noise(31, 3)
    woods = value_noise(32, 40)
    # Fields: a jittered grid of plots, each with a crop colour and furrow direction.
    crops = [(122, 140, 62), (170, 160, 90), (96, 122, 50), (150, 120, 80), (186, 178, 112), (110, 96, 70),
             (84, 110, 56)]
    plots = {}
    for py in range(-1, HEIGHT // 40 + 2):
        for px in range(-1, WIDTH // 56 + 2):
            plots[(px, py)] = (rnd.choice(crops), rnd.random() * math.pi, rnd.uniform(0.6, 1.0))
    pixels = []
    for y in range(HEIGHT):
        line = []
        for x in range(WIDTH):
            h = heights[y][x]
            # Plot boundaries bend a little with the terrain.
            sx, sy = x + 14 * math.sin(y / 37.0), y + 10 * math.sin(x / 53.0)
            key = (int(sx // 56), int(sy // 40))
            colour, angle, furrow_depth = plots.get(key, (crops[0], 0.0, 1.0))
            edge = min(sx % 56, 56 - sx % 56, sy % 40, 40 - sy % 40)
            furrow = 0.92 + 0.08 * furrow_depth * math.sin((x * math.cos(angle) + y * math.sin(angle)) * 1.3)
            shade = 0.75 + 0.5 * h
            r, g, b = (c * furrow * shade for c in colour)
            if edge < 1.2:  # hedges between the plots
                r, g, b = 60, 80, 45
            if woods(x, y) > 0.62:  # woodland: dark, speckled canopy
                t = fine(x, y)
                r, g, b = 40 + 30 * t, 66 + 40 * t, 34 + 20 * t
            # A river winding from the top down, with lighter banks.
            river_x = 90 + 40 * math.sin(y / 45.0) + 12 * math.sin(y / 13.0)
            d = abs(x - river_x)
            if d < 5:
                r, g, b = 46, 74, 86 + 10 * math.sin(x + y)
            elif d < 7:
                r, g, b = 150, 140, 110
            # A road crossing the picture.
            road_y = 0.35 * x + 40
            if abs(y - road_y) < 2.2:
                r, g, b = 178, 174, 166
            noise = (fine(x, y) - 0.5) * 14
            line.append((clamp(r + noise), clamp(g + noise), clamp(b + noise)))
        pixels.append(line)
    return pixels


def relief(heights):
    # Light from the north-west; the slope comes from neighbouring heights.
    levels = []
    for y in range(HEIGHT):
        line = []
        for x in range(WIDTH):
            dx = heights[y][min(x + 1, WIDTH - 1)] - heights[y][max(x - 1, 0)]
            dy = heights[min(y + 1, HEIGHT - 1)][x] - heights[max(y - 1, 0)][x]
            shade = 0.5 - 14.0 * (dx + dy)
            line.append(clamp(255 * (0.35 * heights[y][x] + 0.65 * max(0.0, min(1.0, shade)))))
        levels.append(line)
    return levels


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples", "bitmaps")
    os.makedirs(out, exist_ok=True)
    heights = height_map()
    write_24(os.path.join(out, "aerial.bmp"), aerial(heights))
    hills = height_map([(value_noise(41, 90), 0.6), (value_noise(42, 40), 0.3), (value_noise(43, 16), 0.1)])
    write_grey_8(os.path.join(out, "relief_grey.bmp"), relief(hills))


if __name__ == "__main__":
    main()
