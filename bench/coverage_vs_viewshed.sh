#!/usr/bin/env bash
# One frame's coverage over a 2048 x 2048 height map, whole process, against
# gdal_viewshed over the same map from the same camera point.
#
#   bash bench/coverage_vs_viewshed.sh [--runs N] [--build DIR] [--keep DIR]
#
# Made in a temporary folder (or DIR with --keep, reused on later runs): the
# height map of bench/relief_scale.sh (2048 x 2048 cells of 2 mm, hills and
# ridges up to 0.12 m high) as a GeoTIFF, and two one-frame lists of the
# sample's camera A: from 16 m over the middle, a few degrees off the nadir
# (its view holds about 70 % of the map), and from 3 m looking 30 degrees
# aside. Runs, each a whole process:
#   - skarvel-batch fov LIST --relief map.tif --coverage out.tif, with the
#     bilinear surface (the default) and with --relief-surface blocks;
#   - gdal_viewshed from the frame's projection centre (its height above the
#     map there), every cell of the map, no curvature.
# Prints the medians of N rounds (after one warm-up; a round runs each once, in
# turn) of the elapsed and the CPU seconds (user + system), and the ratio of
# the elapsed medians to gdal_viewshed's (the goal: no more than 1).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
runs=5
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --build) build="$(cd "$2" && pwd)"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--build DIR] [--keep DIR]" >&2; exit 2 ;;
  esac
done

batch="$build/src/cli/skarvel-batch"
[ -x "$batch" ] || { echo "coverage_vs_viewshed: build skarvel-batch first ($batch)" >&2; exit 1; }
command -v gdal_viewshed >/dev/null || {
  echo "coverage_vs_viewshed: gdal_viewshed is needed (Debian package 'gdal-bin')" >&2
  exit 1
}

if [ -n "$keep" ]; then
  work="$keep"
  mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
if [ ! -f "$work/map.tif" ]; then
  cp -r "$root/samples/fov/cameras" "$work/"
  python3 "$root/bench/relief_map.py" "$work" relief 0.002
  python3 - "$work" "$root/bench" <<'EOF'
import os, sys
work = sys.argv[1]
sys.path.insert(0, sys.argv[2])
from relief_map import height
n, cell = 2048, 0.002
# name: position, bench angles (about Y, about X, about Z); the camera looks
# straight down with the angles at 0, 0, 90.
frames = {"high": ((2.05, 2.03, 16.0), (1.0, -2.0, 90.0)), "aside": ((2.05, 0.5, 3.0), (0.0, 30.0, 90.0))}
with open(os.path.join(work, "observers.txt"), "w") as observers:
    for name, ((x, y, z), (ay, ax, az)) in frames.items():
        values = [0, 0, 0, x, y, z, 0, 0, 0, ay, ax, az, 1, 0, 0, 0, 1, 0, 0, 0, 1]
        with open(os.path.join(work, name + ".ort"), "wb") as f:
            f.write(b"".join(f"{v!r} ; value\r\n".encode() for v in values))
        with open(os.path.join(work, name + ".lst"), "wb") as f:
            f.write(f"// one frame\r\n{name}.ort ;\r\ncameras\\camera_a.cam ;\r\n".encode())
        # The surface under the centre: the height map's samples at the
        # centres, bilinear between them (the point is well inside).
        u, v = x / cell - 0.5, y / cell - 0.5
        c, r = int(u), int(v)
        fu, fv = u - c, v - r
        h = lambda c, r: height((c + 0.5) * cell, (r + 0.5) * cell)
        ground = (1 - fv) * ((1 - fu) * h(c, r) + fu * h(c + 1, r)) + fv * ((1 - fu) * h(c, r + 1) + fu * h(c + 1, r + 1))
        observers.write(f"{name} {x!r} {y!r} {z - ground!r}\n")
EOF
  gdal_translate -q "$work/relief.bil" "$work/map.tif"
  rm -f "$work/relief.bil" "$work/relief.hdr"
fi

cd "$work"
echo "one frame's coverage over 2048 x 2048 cells, whole process, medians of $runs rounds after one warm-up;" \
  "$(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
# Each round runs the three in turn, so that the machine's drift from one
# moment to the next weighs on all three alike; elapsed times to the
# microsecond, CPU from the children's resource usage.
python3 - "$runs" "$batch" <<'EOF'
import os, statistics, subprocess, sys, time
runs, batch = int(sys.argv[1]), sys.argv[2]

def run(command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit("coverage_vs_viewshed: failed: " + " ".join(command))
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime

print(f"{'frame':8s} {'run':34s} {'median s':>9s} {'CPU s':>9s} {'ratio':>9s}")
for line in open("observers.txt"):
    name, x, y, above = line.split()
    commands = {"gdal_viewshed": ["gdal_viewshed", "-q", "-ox", x, "-oy", y, "-oz", above, "-cc", "1",
                                  "map.tif", "viewshed.tif"]}
    for surface in ("bilinear", "blocks"):
        commands["skarvel-batch fov, " + surface] = [
            batch, "fov", name + ".lst", "--decimal-separator", ".", "--output", "out.bmp", "--relief",
            "map.tif", "--relief-surface", surface, "--coverage", "out.tif"]
    for command in commands.values():
        run(command)
    times = {label: [] for label in commands}
    for _ in range(runs):
        for label, command in commands.items():
            times[label].append(run(command))
    medians = {label: (statistics.median(t for t, _ in v), statistics.median(c for _, c in v))
               for label, v in times.items()}
    viewshed = medians["gdal_viewshed"][0]
    for label in list(commands)[1:] + ["gdal_viewshed"]:
        elapsed, cpu = medians[label]
        print(f"{name:8s} {label:34s} {elapsed:9.3f} {cpu:9.3f} {elapsed / viewshed:9.2f}")
EOF
