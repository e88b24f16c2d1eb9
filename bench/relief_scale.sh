#!/usr/bin/env bash
# Whole-process time and peak memory of `skarvel-batch fov --relief`.
#
#   bash bench/relief_scale.sh [--runs N] [--long-runs N] [--build DIR] [--keep DIR]
#
# Made in a temporary folder: a height map of 2048 x 2048 cells of 2 mm (a
# model 4.1 m across, hills and ridges up to 0.12 m high; a binary grid with
# a header, as GDAL's EHdr driver reads it) and a survey of 1,000 distinct
# frames of the sample's camera A from about 1 m (40 strips' worth along X,
# 25 across; 60 % forward overlap, each frame turned a few degrees), so that
# every cell is seen by about three frames. Runs:
#   - the 1,000 frames with --csv, --geojson and --coverage (GeoTIFF);
#   - 100,000 distinct frames (as the survey's, each at a place, height and
#     turn of its own over the map) with --csv, no coverage, and without a
#     relief (some 300 frames over each point: the overlaps of the plane
#     footprints weigh far more than with the same 1,000 outlines 100 times);
#   - 100,000 distinct frames flown in strips as the 1,000 are, over a map of
#     the same 2048 x 2048 cells ten times as wide (about three frames over
#     each point), with --csv, no coverage, and without a relief;
#   - 100,000 frames (the survey named 100 times over) with --csv, no coverage,
#     and the time the disk takes to write and sync as many bytes as its CSV;
#   - the same 100,000 frames without a relief.
# Prints medians of N runs (after one warm-up), the largest peak resident
# memory and the size of the CSV, with the goals; --long-runs sets N for the
# 100,000-frame runs alone (default: the same). --keep makes the files in DIR
# once and reuses them on later runs.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
runs=3
keep=""
long_runs=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --build) build="$(cd "$2" && pwd)"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    --long-runs) long_runs="$2"; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--long-runs N] [--build DIR] [--keep DIR]" >&2; exit 2 ;;
  esac
done

batch="$build/src/cli/skarvel-batch"
[ -x "$batch" ] || { echo "relief_scale: build skarvel-batch first ($batch)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "relief_scale: /usr/bin/time is needed (Debian package 'time')" >&2; exit 1; }

if [ -n "$keep" ]; then
  work="$keep"
  mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
if [ ! -f "$work/distinct100000.lst" ]; then
cp -r "$root/samples/fov/cameras" "$work/"
python3 "$root/bench/relief_map.py" "$work" relief 0.002
python3 - "$work" <<'EOF'
import os, random, sys
work = sys.argv[1]
n, cell = 2048, 0.002
random.seed(1)
names = []
os.makedirs(os.path.join(work, "frames"), exist_ok=True)
size = n * cell
for strip in range(25):
    for k in range(40):
        aim_x, aim_y = (k + 0.5) * size / 40, (strip + 0.5) * size / 25
        about_y, about_x, about_z = random.uniform(-4, 4), random.uniform(-4, 4), 90 + random.uniform(-3, 3)
        values = [0, 0, 0, aim_x, aim_y, 1.0 + random.uniform(-0.05, 0.05), 0, 0, 0, about_y, about_x, about_z,
                  1, 0, 0, 0, 1, 0, 0, 0, 1]
        name = f"frames\\f{len(names)}.ort"
        with open(os.path.join(work, "frames", f"f{len(names)}.ort"), "wb") as f:
            f.write(b"".join(f"{v!r} ; value\r\n".encode() for v in values))
        names.append(name)
def write(list_name, count):
    with open(os.path.join(work, list_name), "wb") as f:
        f.write(b"// generated\r\n")
        for i in range(count):
            f.write(f"{names[i % len(names)]} ;\r\ncameras\\camera_a.cam ;\r\n".encode())
write("survey1000.lst", 1000)
write("survey100000.lst", 100000)

# 100,000 frames each of its own, over the map but its outer 0.2 m.
os.makedirs(os.path.join(work, "distinct"), exist_ok=True)
with open(os.path.join(work, "distinct100000.lst"), "wb") as listing:
    listing.write(b"// generated\r\n")
    for i in range(100000):
        aim_x, aim_y = random.uniform(0.2, size - 0.2), random.uniform(0.2, size - 0.2)
        about_y, about_x, about_z = random.uniform(-4, 4), random.uniform(-4, 4), random.uniform(0, 360)
        values = [0, 0, 0, aim_x, aim_y, 1.0 + random.uniform(-0.05, 0.05), 0, 0, 0, about_y, about_x, about_z,
                  1, 0, 0, 0, 1, 0, 0, 0, 1]
        with open(os.path.join(work, "distinct", f"d{i}.ort"), "wb") as f:
            f.write(b"".join(f"{v!r} ; value\r\n".encode() for v in values))
        listing.write(f"distinct\\d{i}.ort ;\r\ncameras\\camera_a.cam ;\r\n".encode())
EOF
fi

# A survey of 100,000 distinct frames as one is flown: the 1,000 frames'
# strips and spacing over a map ten times as wide (2048 x 2048 cells of
# 2 cm, the same hills spread ten times wider), so that each point is again
# seen by about three frames.
if [ ! -f "$work/strips100000.lst" ]; then
python3 "$root/bench/relief_map.py" "$work" wide 0.02
python3 - "$work" <<'EOF'
import os, random, sys
work = sys.argv[1]
n, cell = 2048, 0.02
random.seed(2)
size = n * cell
os.makedirs(os.path.join(work, "strips"), exist_ok=True)
with open(os.path.join(work, "strips100000.lst"), "wb") as listing:
    listing.write(b"// generated\r\n")
    i = 0
    for strip in range(250):
        for k in range(400):
            aim_x, aim_y = (k + 0.5) * size / 400, (strip + 0.5) * size / 250
            about_y, about_x, about_z = random.uniform(-4, 4), random.uniform(-4, 4), 90 + random.uniform(-3, 3)
            values = [0, 0, 0, aim_x, aim_y, 1.0 + random.uniform(-0.05, 0.05), 0, 0, 0, about_y, about_x,
                      about_z, 1, 0, 0, 0, 1, 0, 0, 0, 1]
            with open(os.path.join(work, "strips", f"s{i}.ort"), "wb") as f:
                f.write(b"".join(f"{v!r} ; value\r\n".encode() for v in values))
            listing.write(f"strips\\s{i}.ort ;\r\ncameras\\camera_a.cam ;\r\n".encode())
            i += 1
EOF
fi

# Medians of the elapsed and the CPU seconds (user + system) and the largest
# peak memory (MiB) of N runs. The CPU time tells what the work costs when
# the shared machine is busy: on two idle cores the elapsed time is about
# half of it.
measure() {
  "$@" >/dev/null 2>&1 || { echo "relief_scale: failed: $*" >&2; "$@" >/dev/null; exit 1; }
  local times=() cpus=() peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" >/dev/null 2>&1
    read -r seconds kib user system <"$work/time"
    times+=("$seconds")
    cpus+=("$(awk "BEGIN {print $user + $system}")")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
  echo "$(median "${times[@]}") $((peak / 1024)) $(median "${cpus[@]}")"
}

# measure, its two figures into s and m (in this shell: a subshell would
# run the exit trap that removes the folder).
measure_into() {
  measure "$@" >"$work/result"
  read -r s m c <"$work/result"
}

cd "$work"
echo "skarvel-batch fov --relief (2048 x 2048), whole process, medians of $runs runs after one warm-up" \
  "(100,000 frames: ${long_runs:-$runs}); $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
printf '%-44s %9s %9s %9s %9s  %s\n' "run" "median s" "CPU s" "peak MiB" "CSV MiB" "goal"
csv_mib() { awk "BEGIN {printf \"%.1f\", $(stat -c %s out.csv) / 1048576}"; }
measure_into "$batch" fov survey1000.lst --decimal-separator . --output out.bmp --relief relief.bil \
  --csv out.csv --geojson out.geojson --coverage coverage.tif
printf '%-44s %9s %9s %9s %9s  %s\n' "1,000 frames, figures and coverage" "$s" "$c" "$m" "$(csv_mib)" \
  "1.5 s, 500 MB"
[ -n "$long_runs" ] && runs="$long_runs"
measure_into "$batch" fov distinct100000.lst --decimal-separator . --output out.bmp --relief relief.bil \
  --csv out.csv
printf '%-44s %9s %9s %9s %9s  %s\n' "100,000 distinct frames, figures, no coverage" "$s" "$c" "$m" "$(csv_mib)" \
  "10 s, 500 MB"
measure_into "$batch" fov distinct100000.lst --decimal-separator . --output out.bmp --csv out.csv
printf '%-44s %9s %9s %9s %9s  %s\n' "the same distinct frames without a relief" "$s" "$c" "$m" "$(csv_mib)" ""
measure_into "$batch" fov strips100000.lst --decimal-separator . --output out.bmp --relief wide.bil --csv out.csv
printf '%-44s %9s %9s %9s %9s  %s\n' "100,000 distinct frames in strips, figures" "$s" "$c" "$m" "$(csv_mib)" \
  "10 s, 500 MB"
measure_into "$batch" fov strips100000.lst --decimal-separator . --output out.bmp --csv out.csv
printf '%-44s %9s %9s %9s %9s  %s\n' "the same strips without a relief" "$s" "$c" "$m" "$(csv_mib)" ""
measure_into "$batch" fov survey100000.lst --decimal-separator . --output out.bmp --relief relief.bil \
  --csv out.csv
printf '%-44s %9s %9s %9s %9s  %s\n' "100,000 frames (1,000 named 100 times)" "$s" "$c" "$m" "$(csv_mib)" \
  "10 s, 500 MB"
# The floor the disk sets: as many bytes as that CSV, written and synced.
mib=$(( ($(stat -c %s out.csv) + 1048575) / 1048576 ))
measure_into dd if=/dev/zero of="$work/floor.bin" bs=1M count="$mib" conv=fdatasync
rm -f "$work/floor.bin"
printf '%-44s %9s %9s %9s %9s  %s\n' "writing its $mib MiB alone (dd, fdatasync)" "$s" "$c" "$m" "" ""
measure_into "$batch" fov survey100000.lst --decimal-separator . --output out.bmp --csv out.csv
printf '%-44s %9s %9s %9s %9s  %s\n' "the same 100,000 frames without a relief" "$s" "$c" "$m" "$(csv_mib)" ""
