"""The benches' height map: 2048 x 2048 cells of hills and ridges up to
0.12 m high, as a binary grid with a header (GDAL's EHdr driver reads it).

    python3 bench/relief_map.py FOLDER NAME CELL   writes FOLDER/NAME.bil and .hdr

With a cell of 2 mm the model is 4.1 m across; a larger cell spreads the
same hills wider (2 cm: ten times as wide, as gentle per cell as ten times
finer). `height` is the surface's own formula, for scripts that need the
ground under a point.
"""
import array
import math
import os
import sys

CELLS = 2048


def height(x, y):
    return 0.04 * (math.sin(x * 3.1) * math.cos(y * 2.3) + 1) + 0.05 * max(0.0, math.sin(x * 9.7 + y * 4.1)) ** 8


def write(folder, name, cell):
    spread = cell / 0.002
    # Rows from the top (greatest Y), as the header's upper-left corner says.
    heights = array.array("f")
    for row in range(CELLS):
        y = (CELLS - row - 0.5) * cell / spread
        for column in range(CELLS):
            heights.append(height((column + 0.5) * cell / spread, y))
    if sys.byteorder == "big":
        heights.byteswap()
    with open(os.path.join(folder, name + ".bil"), "wb") as f:
        heights.tofile(f)
    with open(os.path.join(folder, name + ".hdr"), "w") as f:
        f.write(f"NROWS {CELLS}\nNCOLS {CELLS}\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\nBYTEORDER I\nLAYOUT BIL\n"
                f"ULXMAP {cell / 2}\nULYMAP {(CELLS - 0.5) * cell}\nXDIM {cell}\nYDIM {cell}\n")


if __name__ == "__main__":
    write(sys.argv[1], sys.argv[2], float(sys.argv[3]))
