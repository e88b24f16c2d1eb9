#!/usr/bin/env python3
"""A survey for the field-of-view benchmarks: parallel strips of nadir frames,
each frame with an image geometry file of its own.

    python3 bench/make_fov_survey.py FOLDER FRAMES [--strips 10]

Writes FOLDER/survey.lst, FOLDER/cameras/ (the sample cameras) and one
geometry file per frame in FOLDER/g/. The frames look straight down from 4.25
above the plane with camera_a (2048 x 1536 pixels, principal distance 8200),
turned a quarter turn, so a footprint is about 0.7961 along X and 1.0615
along Y on the plane; the strips run along X,
60 % forward overlap (a frame every 0.4 of the footprint's length) and 30 %
side overlap (strips 0.7 of its width apart). Every frame is moved and turned
a little (deterministic), so that no two outlines are alike. Frames 2 to 5 are
chained into a strip by the load, as in every list; the rest stay where they
are projected. Only the bench angles (lines 10 to 12) turn the frame; the
other systems' lines hold the untilted nadir values.
"""
import os
import shutil
import sys

LENGTH = 1536 / 8200 * 4.25  # footprint extent along the strip (scene X)
WIDTH = 2048 / 8200 * 4.25   # across it (scene Y)
COMMENT = " ; generated survey"


def main():
    args = sys.argv[1:]
    strips = 10
    if "--strips" in args:
        i = args.index("--strips")
        strips = int(args[i + 1])
        del args[i:i + 2]
    if len(args) != 2:
        sys.exit(__doc__)
    folder, frames = args[0], int(args[1])
    here = os.path.dirname(os.path.abspath(__file__))
    cameras = os.path.join(here, "..", "samples", "fov", "cameras")
    shutil.copytree(cameras, os.path.join(folder, "cameras"), dirs_exist_ok=True)
    os.makedirs(os.path.join(folder, "g"), exist_ok=True)

    per_strip = (frames + strips - 1) // strips
    state = 20261210

    def jitter(scale):
        nonlocal state
        state = (state * 1664525 + 1013904223) % 2**32
        return scale * ((state >> 8) / 2**24 - 0.5)

    lines = ["// generated survey: %d frames in %d strips" % (frames, strips)]
    for n in range(frames):
        strip, k = divmod(n, per_strip)
        x = 0.4 * LENGTH * k + jitter(0.02)
        y = 0.7 * WIDTH * strip + jitter(0.02)
        tilt_y, tilt_x, turn = jitter(0.6), jitter(0.6), 90 + jitter(1.0)
        values = [x, y, 4.25, x, y, 4.25, 0, 0, -turn, tilt_y, tilt_x, turn,
                  0, 1, 0, -1, 0, 0, 0, 0, 1]
        name = "g/f%06d.ort" % n
        with open(os.path.join(folder, name), "wb") as f:
            f.write("".join("%.9f%s\r\n" % (v, COMMENT) for v in values).encode())
        lines.append(name.replace("/", "\\") + " ; geometry")
        lines.append("cameras\\camera_a.cam ; camera")
    with open(os.path.join(folder, "survey.lst"), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode())


main()
