#!/usr/bin/env python3
"""Makes the sample photographs in samples/photos/ from the sample bitmaps
(deterministic; run from anywhere after make_samples.py).

aerial.jpg              colour JPEG, baseline, quality 90 (cjpeg)
aerial_progressive.jpg  the same, progressive
relief_grey.jpg         grey JPEG
IMG_0042.JPG            aerial.jpg with an Exif orientation of 6: the camera
                        was turned clockwise, the picture is 240 x 320
aerial_palette.png      8-bit palette PNG (24 colours), with the palette as a
                        PPM beside it (aerial_palette.map.ppm)
relief_grey16.png       16-bit grey PNG, Adam7 interlaced
aerial_rgb.png          8-bit RGB PNG with an alpha channel (ignored)
aerial16.tif            16-bit RGB TIFF, 64 x 64 tiles, LZW (pamtotiff, tiffcp)

It also writes the seeds of the photograph fuzz targets (fuzz/seeds/jpeg,
png and tiff): the same kinds, 16 x 12 pixels cut from the top left.

Needs libjpeg-turbo-progs, netpbm and libtiff-tools (scripts/install-deps.sh).
"""
import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BITMAPS = os.path.join(HERE, "..", "samples", "bitmaps")
OUT = os.path.join(HERE, "..", "samples", "photos")
SEEDS = os.path.join(HERE, "..", "fuzz", "seeds")


def read_bmp(path):
    """(width, height, rows of (r, g, b)) of an uncompressed 24- or 8-bit file."""
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    palette = [tuple(data[54 + 4 * i + 2 - c] for c in range(3)) for i in range(256)] if bits == 8 else None
    row_bytes = (width * bits + 31) // 32 * 4
    rows = []
    for y in range(height):
        at = offset + (height - 1 - y) * row_bytes
        if bits == 24:
            rows.append([(data[at + 3 * x + 2], data[at + 3 * x + 1], data[at + 3 * x]) for x in range(width)])
        else:
            rows.append([palette[data[at + x]] for x in range(width)])
    return width, height, rows


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def write_png(path, width, height, bit_depth, colour_type, rows, palette=None, interlaced=False):
    """rows: a bytes object per row (the filtered-out raw samples)."""
    def raw(pass_rows):
        return b"".join(b"\0" + r for r in pass_rows)

    if interlaced:
        # Adam7: each pass takes every n-th pixel of every m-th row.
        bpp = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type] * bit_depth // 8
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        data = b""
        for x0, y0, dx, dy in passes:
            picked = [b"".join(rows[y][x * bpp:(x + 1) * bpp] for x in range(x0, width, dx))
                      for y in range(y0, height, dy)]
            if picked and picked[0]:
                data += raw(picked)
    else:
        data = raw(rows)
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 1 if interlaced else 0)
    chunks = png_chunk(b"IHDR", ihdr)
    if palette:
        chunks += png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    chunks += png_chunk(b"IDAT", zlib.compress(data, 9)) + png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunks)


def exif_orientation_segment(orientation):
    """An APP1 Exif segment whose first directory holds only the orientation."""
    tiff = b"MM\0\x2a" + struct.pack(">I", 8) + struct.pack(">H", 1)
    tiff += struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(">I", 0)
    body = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def run(args, out_path=None, stdin=None):
    with open(out_path, "wb") if out_path else open(os.devnull, "wb") as out:
        subprocess.run(args, check=True, stdout=out, stdin=stdin)


def ppm(path, width, height, rows, maxval=255):
    """rows of (r, g, b) at 8 bits; maxval 65535 widens each v to v * 257."""
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n%d\n" % (width, height, maxval))
        for row in rows[:height]:
            for px in row[:width]:
                f.write(bytes(px) if maxval == 255 else b"".join(struct.pack(">H", c * 257) for c in px))


def make_seeds(rows):
    w, h = 16, 12
    crop = [row[:w] for row in rows[:h]]
    with tempfile.TemporaryDirectory() as tmp:
        colour = os.path.join(tmp, "c.ppm")
        ppm(colour, w, h, crop)
        os.makedirs(os.path.join(SEEDS, "jpeg"), exist_ok=True)
        jpeg = os.path.join(SEEDS, "jpeg")
        run(["cjpeg", "-quality", "80", colour], os.path.join(jpeg, "colour.jpg"))
        run(["cjpeg", "-quality", "80", "-progressive", colour], os.path.join(jpeg, "progressive.jpg"))
        run(["cjpeg", "-quality", "80", "-grayscale", colour], os.path.join(jpeg, "grey.jpg"))
        run(["cjpeg", "-quality", "80", "-sample", "1x1", "-optimize", colour], os.path.join(jpeg, "444.jpg"))
        data = open(os.path.join(jpeg, "colour.jpg"), "rb").read()
        with open(os.path.join(jpeg, "exif-8.jpg"), "wb") as f:
            f.write(data[:2] + exif_orientation_segment(8) + data[2:])

        png = os.path.join(SEEDS, "png")
        os.makedirs(png, exist_ok=True)
        palette = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]
        write_png(os.path.join(png, "palette2.png"), w, h, 2, 3,
                  [bytes(((x + y) % 4) << 6 | ((x + y + 1) % 4) << 4 | ((x + y + 2) % 4) << 2 | ((x + y + 3) % 4)
                         for x in range(0, w, 4)) for y in range(h)], palette=palette)
        write_png(os.path.join(png, "grey1.png"), w, h, 1, 0, [bytes((0xA5 >> (y % 2), 0x3C)) for y in range(h)])
        write_png(os.path.join(png, "grey16.png"), w, h, 16, 0,
                  [b"".join(struct.pack(">H", (x * 4099 + y * 997) & 0xFFFF) for x in range(w)) for y in range(h)],
                  interlaced=True)
        write_png(os.path.join(png, "rgba.png"), w, h, 8, 6,
                  [b"".join(bytes(px) + b"\x80" for px in row) for row in crop])
        write_png(os.path.join(png, "rgb16.png"), w, h, 16, 2,
                  [b"".join(struct.pack(">HHH", *(c * 257 for c in px)) for px in row) for row in crop])

        tiff = os.path.join(SEEDS, "tiff")
        os.makedirs(tiff, exist_ok=True)
        wide = os.path.join(tmp, "w.ppm")
        ppm(wide, w, h, crop, 65535)
        grey = os.path.join(tmp, "g.pgm")
        run(["ppmtopgm", colour], grey)
        for name, source in [("rgb8.tif", colour), ("rgb16.tif", wide), ("grey8.tif", grey)]:
            with open(source, "rb") as f:
                run(["pamtotiff", "-truecolor"], os.path.join(tmp, name), stdin=f)
        run(["tiffcp", "-c", "lzw", "-t", "-w", "16", "-l", "16", os.path.join(tmp, "rgb16.tif"),
             os.path.join(tiff, "rgb16-tiled-lzw.tif")])
        run(["tiffcp", "-c", "zip", "-r", "5", os.path.join(tmp, "rgb8.tif"), os.path.join(tiff, "rgb8-deflate.tif")])
        run(["tiffcp", "-c", "packbits", os.path.join(tmp, "rgb8.tif"), os.path.join(tiff, "rgb8-packbits.tif")])
        run(["tiffcp", "-c", "lzw", os.path.join(tmp, "grey8.tif"), os.path.join(tiff, "grey8-lzw.tif")])
        run(["tiffcp", "-c", "none", "-t", "-w", "16", "-l", "16", os.path.join(tmp, "rgb8.tif"),
             os.path.join(tiff, "rgb8-tiled.tif")])


def main():
    os.makedirs(OUT, exist_ok=True)
    aerial = os.path.join(BITMAPS, "aerial.bmp")
    relief = os.path.join(BITMAPS, "relief_grey.bmp")
    jpg = os.path.join(OUT, "aerial.jpg")
    run(["cjpeg", "-quality", "90", aerial], jpg)
    run(["cjpeg", "-quality", "90", "-progressive", aerial], os.path.join(OUT, "aerial_progressive.jpg"))
    run(["cjpeg", "-quality", "90", "-grayscale", relief], os.path.join(OUT, "relief_grey.jpg"))
    data = open(jpg, "rb").read()
    with open(os.path.join(OUT, "IMG_0042.JPG"), "wb") as f:
        f.write(data[:2] + exif_orientation_segment(6) + data[2:])

    width, height, rows = read_bmp(aerial)
    # 24 distinct colours: red cut to 4 levels, green to 3, blue to 2.
    def cut(r, g, b):
        return r // 64 * 85, g // 86 * 127, b // 128 * 255

    palette = sorted({cut(r, g, b) for r in range(256) for g in range(256) for b in range(256)})
    index = {c: i for i, c in enumerate(palette)}
    indexed = [bytes(index[cut(*px)] for px in row) for row in rows]
    write_png(os.path.join(OUT, "aerial_palette.png"), width, height, 8, 3, indexed, palette=palette)
    with open(os.path.join(OUT, "aerial_palette.map.ppm"), "wb") as f:
        f.write(b"P6\n%d 1\n255\n" % len(palette) + b"".join(bytes(c) for c in palette))
    rgba = [b"".join(bytes((r, g, b, (x * 7) & 255)) for x, (r, g, b) in enumerate(row)) for row in rows]
    write_png(os.path.join(OUT, "aerial_rgb.png"), width, height, 8, 6, rgba)

    # 16-bit samples that are not multiples of 257, so that the narrowing shows.
    def wide(v, x, y):
        return min(65535, v * 257 + (x * 31 + y * 17) % 257)

    gw, gh, grey_rows = read_bmp(relief)
    grey16 = [b"".join(struct.pack(">H", wide(r, x, y)) for x, (r, _, _) in enumerate(row))
              for y, row in enumerate(grey_rows)]
    write_png(os.path.join(OUT, "relief_grey16.png"), gw, gh, 16, 0, grey16, interlaced=True)

    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "a.ppm")
        with open(ppm, "wb") as f:
            f.write(b"P6\n%d %d\n65535\n" % (width, height))
            for y, row in enumerate(rows):
                f.write(b"".join(struct.pack(">HHH", *(wide(c, x, y) for c in px)) for x, px in enumerate(row)))
        strips = os.path.join(tmp, "a.tif")
        with open(ppm, "rb") as f:  # from standard input: no file name in the TIFF
            run(["pamtotiff", "-truecolor"], strips, stdin=f)
        run(["tiffcp", "-c", "lzw", "-t", "-w", "64", "-l", "64", strips, os.path.join(OUT, "aerial16.tif")])

    make_seeds(rows)


if __name__ == "__main__":
    main()
