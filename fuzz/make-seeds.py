#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into fuzz/seeds/<target>/ (deterministic).

Small files of every kind each target reads: bitmaps of every bit count,
header and coding, written here byte by byte with the standard library (not
by the system's own writer); image geometry, camera and list files taken from
the samples and varied; number and edit texts. Inputs of several files join
them with the byte 0x1E (see fuzz/fuzz_support.h). The sample bitmaps and the
external BMP suite are added to the bitmap corpus when the fuzzers run
(scripts/fuzz.sh); they are too large to copy here.

Run from the repository root: python3 fuzz/make-seeds.py
"""

import os
import re
import shutil
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "fuzz", "seeds")
RS = b"\x1e"


def sample(*path):
    with open(os.path.join(ROOT, "samples", *path), "rb") as f:
        return f.read()


def put(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- Bitmaps -------------------------------------------------------------------

W, H = 5, 3  # odd width: every row is padded


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def pack_row(values, bits):
    """Pixel values of one row into the file's bytes, padded to 4 bytes."""
    out = bytearray()
    if bits >= 8:
        size = bits // 8
        for v in values:
            out += v.to_bytes(size, "little")
    else:
        acc, n = 0, 0
        for v in values:
            acc = acc << bits | v
            n += bits
            if n == 8:
                out.append(acc)
                acc, n = 0, 0
        if n:
            out.append(acc << (8 - n))
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def bmp(bits, pixels, palette=None, compression=0, top_down=False, masks=None, info_size=40, data=None,
        core=False):
    """pixels: rows from the top, each a list of values as the file holds them."""
    width, height = len(pixels[0]), len(pixels)
    if data is None:
        rows = pixels if top_down else list(reversed(pixels))
        data = b"".join(pack_row(r, bits) for r in rows)
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in (palette or []))
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, width, -height if top_down else height, 1, bits,
                           compression, len(data), 2835, 2835, len(palette or []), 0)
        extra = b""
        if masks is not None and info_size == 40:
            extra = struct.pack("<III", *masks)
        elif info_size > 40:
            tail = bytearray(info_size - 40)
            if masks is not None:
                tail[0:12] = struct.pack("<III", *masks)
            if info_size >= 108:
                tail[16:20] = b"BGRs"
            info += bytes(tail)
        info += extra
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in (palette or []))
    offset = 14 + len(info) + len(table)
    header = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    return header + info + table + data


def grid(fn):
    return [[fn(x, y) for x in range(W)] for y in range(H)]


def palette(n):
    return [((i * 67) % 256, (i * 151) % 256, (i * 29) % 256) for i in range(n)]


def rle8():
    # Runs, an absolute run, an end of line, a delta and the end of the picture.
    codes = bytes([3, 1, 2, 2, 0, 0,  # row 0 (bottom): three 1s, two 2s, end of line
                   0, 3, 4, 5, 6, 0, 2, 7, 0, 0,  # absolute 4 5 6 (padded), then two 7s, end of line
                   0, 2, 1, 0,  # delta: one right
                   4, 9, 0, 1])  # four 9s, end of picture
    return bmp(8, [[0] * W] * H, palette=palette(16), compression=1, data=codes)


def rle4():
    codes = bytes([5, 0x12, 0, 0,  # 1 2 1 2 1, end of line
                   0, 5, 0x34, 0x56, 0x70, 0, 0, 0,  # absolute 3 4 5 6 7 (padded), end of line
                   2, 0xAB, 0, 2, 2, 0, 1, 0xC0, 0, 1])  # delta, a run, end of picture
    return bmp(4, [[0] * W] * H, palette=palette(16), compression=2, data=codes)


def write_bitmaps():
    t = "bitmap"
    put(t, "pal1.bmp", bmp(1, grid(lambda x, y: (x + y) % 2), palette=[(0, 0, 0), (255, 255, 255)]))
    put(t, "pal4.bmp", bmp(4, grid(lambda x, y: (x + 3 * y) % 16), palette=palette(16)))
    put(t, "pal4-short-table.bmp", bmp(4, grid(lambda x, y: (x + 3 * y) % 6), palette=palette(6)))
    put(t, "pal8.bmp", bmp(8, grid(lambda x, y: x * 40 + y), palette=palette(256)))
    put(t, "pal8-topdown.bmp", bmp(8, grid(lambda x, y: x * 40 + y), palette=palette(256), top_down=True))
    put(t, "pal8-12-colours.bmp", bmp(8, grid(lambda x, y: (x + y) % 12), palette=palette(12)))
    put(t, "pal8-core.bmp", bmp(8, grid(lambda x, y: x + 5 * y), palette=palette(256), core=True))
    put(t, "pal8-v5.bmp", bmp(8, grid(lambda x, y: x + 5 * y), palette=palette(256), info_size=124))
    put(t, "rle8.bmp", rle8())
    put(t, "rle4.bmp", rle4())
    put(t, "rgb16-555.bmp", bmp(16, grid(lambda x, y: (x * 6) << 10 | (y * 10) << 5 | 31 - x)))
    put(t, "rgb16-565.bmp", bmp(16, grid(lambda x, y: (x * 6) << 11 | (y * 20) << 5 | 31 - x), compression=3,
                                masks=(0xF800, 0x07E0, 0x001F)))
    put(t, "rgb16-444-v4.bmp", bmp(16, grid(lambda x, y: x << 8 | y << 4 | 15 - x), compression=3,
                                   masks=(0x0F00, 0x00F0, 0x000F), info_size=108))
    put(t, "rgb24.bmp", bmp(24, grid(lambda x, y: (x * 50) << 16 | (y * 100) << 8 | 200 - x)))
    put(t, "rgb24-topdown.bmp", bmp(24, grid(lambda x, y: (x * 50) << 16 | (y * 100) << 8 | 7), top_down=True))
    put(t, "rgb32.bmp", bmp(32, grid(lambda x, y: (x * 50) << 16 | (y * 100) << 8 | 200 - x)))
    put(t, "rgb32-bitfields.bmp", bmp(32, grid(lambda x, y: (x * 50) << 24 | (y * 100) << 16 | (200 - x) << 8),
                                      compression=3, masks=(0xFF000000, 0x00FF0000, 0x0000FF00)))
    put(t, "rgb32-1010102.bmp", bmp(32, grid(lambda x, y: (x * 200) << 20 | (y * 300) << 10 | 1023 - x),
                                    compression=3, masks=(0x3FF00000, 0x000FFC00, 0x000003FF)))


# ---- Text files ------------------------------------------------------------------


def comma(text):
    """The same text with "," as the decimal separator of its numbers."""
    return re.sub(rb"(?<=[0-9])\.(?=[0-9])", b",", text)


def crlf(lines):
    return b"".join(line + b"\r\n" for line in lines)


def write_geometry():
    t = "image_geometry"
    frame = sample("fov", "frame1.ort")
    put(t, "frame1.ort", frame)
    put(t, "shot01.ort", sample("bench", "shot01.ort"))
    put(t, "frame6.ort", sample("fov", "frame6.ort"))
    put(t, "comma.ort", comma(frame))
    lines = frame.split(b"\r\n")
    put(t, "20-lines.ort", crlf(lines[:20]))
    put(t, "lf-and-utf8.ort", "\n".join(f"{v}e0 ; значение {i}" for i, v in enumerate(range(1, 26))).encode())
    put(t, "no-semicolon.ort", crlf([b"1"] * 21))
    put(t, "blanks-and-signs.ort", crlf([b"  -3.5E2   ;", b"+7;", b".5 ;", b"5. ;", b"1e308 ;", b"1e-400 ;"] * 4))


def camera(companion=b"rows.txt", focal=b"8200"):
    return crlf([b"1024 ; principal column", b"768.5 ; principal row", companion + b" ; companion",
                 focal + b" ; focal length", b"2048 ; width", b"1536 ; height"])


def write_camera():
    t = "camera"
    rows = sample("bench", "camera_rows.txt")
    put(t, "sample.cam", sample("bench", "camera.cam").replace(b"camera_rows.txt", b"rows.txt") + RS + rows)
    put(t, "plain.cam", camera() + RS + b"1\r\n")
    put(t, "no-focal.cam", camera(focal=b"*") + RS + b"0,5\r\nrest\r\n")
    put(t, "comma.cam", comma(camera()) + RS + b"2,5\r\n")
    put(t, "no-companion.cam", camera())
    put(t, "backslash.cam", camera(companion=b"sub\\rows.txt") + RS + b"1\r\n")
    put(t, "five-lines.cam", b"\r\n".join(camera().split(b"\r\n")[:5]) + RS + b"1\r\n")


def write_list():
    t = "fov_list"
    frame = sample("fov", "frame1.ort")
    cam = sample("fov", "cameras", "camera_a.cam").replace(b"camera_a_rows.txt", b"rows.txt")
    rows = sample("fov", "cameras", "camera_a_rows.txt")
    pair = [b"frame.ort ; geometry", b"camera.cam ; camera"]

    def scene(selector, lst, geometry=frame, cam_file=cam, companion=rows):
        return bytes([selector]) + lst + RS + geometry + RS + cam_file + RS + companion

    put(t, "one-frame.lst", scene(0, crlf([b"// one frame"] + pair)))
    put(t, "six-frames-photogrammetric.lst", scene(1, crlf(pair * 6)))
    put(t, "three-frames-mathematical.lst", scene(2, crlf(pair * 3 + [b"frame.ort ; lone line"])))
    put(t, "comma.lst", scene(3, crlf(pair * 2), geometry=comma(frame),
                              cam_file=comma(cam), companion=b"1,5\r\n"))
    put(t, "blank-lines.lst", scene(0, crlf([b"", b"frame.ort;", b"//", b"camera.cam;"])))
    put(t, "no-frames.lst", scene(0, crlf([b"// nothing but comments"])))
    put(t, "self.lst", scene(0, crlf([b"scene.lst ; itself", b"scene.lst ; again"])))
    put(t, "empty-companion.lst", scene(0, crlf(pair), companion=b""))
    put(t, "oblique.lst", scene(0, crlf(pair * 2), geometry=sample("fov", "frame6.ort")))


def write_numbers():
    for name, text in [("decimal", "12.5"), ("comma", "  -3,5E2   "), ("exponent", "2E+3"), ("lead", ".5"),
                       ("trail", "5."), ("huge", "1e400"), ("tiny", "1e-400"), ("extended", "1e4932"),
                       ("hex", "$FFFFFFFF"), ("negative-hex", "-$7fffffff"), ("int-min", "-2147483648"),
                       ("int-max", "+2147483647"), ("over", "2147483648"), ("blank", " "),
                       ("long", "0." + "0" * 60 + "1"), ("letters", "abc"), ("cyrillic", "١٢٣ двенадцать")]:
        put("numbers", name + ".txt", text.encode())


def write_short_numbers():
    t = "short_number"
    for name, v in [("500000", 500000.0), ("4.25", 4.25), ("-2.5", -2.5), ("0.1", 0.1),
                    ("0.000123456", 0.000123456), ("-0.0004", -0.0004), ("ratio", 500000 / 4.25),
                    ("ratio-1.2", 1.2 * (500000 / 4.25)), ("12", 12.0), ("1e-20", 1e-20), ("1e18", 1e18),
                    ("2e9", 2e9), ("1e300", 1e300), ("-0", -0.0), ("denormal", 5e-324)]:
        put(t, name + ".bin", struct.pack("<d", v))
    put(t, "inf.bin", struct.pack("<d", float("inf")))
    put(t, "text.txt", b"117647.0588235294")


def write_colour_texts():
    for name, text in [("channel", "0 %"), ("negative", "-100 %"), ("fraction", "12,7 %"), ("beyond", "250"),
                       ("contrast", "2,10"), ("contrast-point", "1.20"), ("ten", "10,00"), ("letters", "abc"),
                       ("empty", ""), ("huge", "1e4931"), ("int", "5000000000 %")]:
        put("colour_texts", name + ".txt", text.encode())


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    write_bitmaps()
    write_geometry()
    write_camera()
    write_list()
    write_numbers()
    write_short_numbers()
    write_colour_texts()


if __name__ == "__main__":
    main()
