#!/usr/bin/env bash
# Whole-process time and peak memory of `skarvel-batch fov` on long lists.
#
#   bash bench/fov_scale.sh [--runs N] [--build DIR] [--no-distinct] [--only-survey]
#                           [--reference BATCH]
#
# Lists of 1,000, 10,000 and 100,000 frames are made in a temporary folder:
# "repeat" lists name the six sample frames over and over (as the goals are
# stated); "distinct" lists give every frame its own copy of a sample
# geometry file, so every geometry file is read; "survey" lists are strips
# of frames whose footprints all differ, each with its own geometry file
# (bench/make_fov_survey.py: 10 strips, 60 % forward and 30 % side overlap).
# Each list runs with the drawing alone and with --csv and --geojson as
# well. A list of one frame gives the process's own start and exit. Prints
# medians of N runs (after one warm-up) and the largest peak resident
# memory, with the goals. With --reference, another skarvel-batch (an older
# build, say) runs each case right after this one, and its figures stand
# beside them; the exports of the two are compared byte for byte.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
runs=3
distinct=1
survey=1
only_survey=0
reference=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --build) build="$(cd "$2" && pwd)"; shift 2 ;;
    --no-distinct) distinct=0; shift ;;
    --only-survey) only_survey=1; shift ;;
    --reference) reference="$2"; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--build DIR] [--no-distinct] [--only-survey] [--reference BATCH]" >&2; exit 2 ;;
  esac
done

[ "$only_survey" = 1 ] && distinct=0
batch="$build/src/cli/skarvel-batch"
if [ ! -x "$batch" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target skarvel-batch >/dev/null
fi
[ -x /usr/bin/time ] || { echo "fov_scale: /usr/bin/time is needed (Debian package 'time')" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/samples/fov/." "$work/"

python3 - "$work" "$distinct" <<'EOF'
import os, sys
work, distinct = sys.argv[1], sys.argv[2] == "1"
cameras = ["cameras\\camera_a.cam"] * 5 + ["cameras\\camera_b.cam"]
def write(name, pairs):
    with open(os.path.join(work, name), "wb") as f:
        f.write(b"// generated\r\n")
        for geometry, camera in pairs:
            f.write(f"{geometry} ; geometry\r\n{camera} ; camera\r\n".encode())
write("one.lst", [("frame1.ort", cameras[0])])
for n in (1000, 10000, 100000):
    write(f"repeat{n}.lst", [(f"frame{i % 6 + 1}.ort", cameras[i % 6]) for i in range(n)])
    if distinct:
        folder = os.path.join(work, f"d{n}")
        os.makedirs(folder, exist_ok=True)
        sources = [open(os.path.join(work, f"frame{k + 1}.ort"), "rb").read() for k in range(6)]
        for i in range(n):
            with open(os.path.join(folder, f"f{i}.ort"), "wb") as f:
                f.write(sources[i % 6])
        write(f"distinct{n}.lst", [(f"d{n}\\f{i}.ort", cameras[i % 6]) for i in range(n)])
EOF
if [ "$survey" = 1 ]; then
  for n in 1000 10000 100000; do
    python3 "$root/bench/make_fov_survey.py" "$work/s$n" "$n"  # the list is s$n/survey.lst
  done
fi

# median seconds, peak KiB and median processor seconds (user and system,
# all threads) of `runs` runs of the command (one warm-up first)
measure() {
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  local times=() cpus=() peak=0
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -o "$work/time.txt" -f '%e %M %U %S' "$@" >/dev/null 2>&1
    local e kb user sys
    read -r e kb user sys < <(tail -1 "$work/time.txt")
    times+=("$e")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')")
    [ "$kb" -gt "$peak" ] && peak="$kb"
  done
  median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
  echo "$(median "${times[@]}") $peak $(median "${cpus[@]}")"
}

echo "skarvel-batch fov, whole process, medians of $runs runs after one warm-up; $(nproc) cores;" \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"
read -r start startKb _ < <(measure "$batch" fov "$work/one.lst" --decimal-separator . --output "$work/o.bmp")
printf 'one frame (start and exit): %.3f s, %d MiB\n\n' "$start" $((startKb / 1024))
if [ -n "$reference" ]; then
  printf '%-10s %8s %-9s %9s %9s %9s %9s %9s %9s  %s\n' list frames exports "median s" "cpu s" "peak MiB" \
    "ref s" "ref cpu s" "ref MiB" goal
else
  printf '%-10s %8s %-9s %9s %9s %9s  %s\n' list frames exports "median s" "cpu s" "peak MiB" goal
fi
kinds="repeat"
[ "$distinct" = 1 ] && kinds="$kinds distinct"
[ "$survey" = 1 ] && kinds="$kinds survey"
[ "$only_survey" = 1 ] && kinds="survey"
for kind in $kinds; do
  for n in 1000 10000 100000; do
    for exports in no yes; do
      list="$work/$kind$n.lst"
      [ "$kind" = survey ] && list="$work/s$n/survey.lst"
      args=(fov "$list" --decimal-separator . --output "$work/o.bmp")
      [ "$exports" = yes ] && args+=(--csv "$work/o.csv" --geojson "$work/o.geojson")
      if [ -n "$reference" ]; then
        # Runs alternate between the two, so that both see the same load.
        read -r s kb cpu < <(measure "$batch" "${args[@]}")
        [ "$exports" = yes ] && cp "$work/o.csv" "$work/new.csv" && cp "$work/o.geojson" "$work/new.geojson"
        read -r rs rkb rcpu < <(measure "$reference" "${args[@]}")
        same=""
        if [ "$exports" = yes ]; then
          if cmp -s "$work/o.csv" "$work/new.csv" && cmp -s "$work/o.geojson" "$work/new.geojson"; then
            same="exports identical"
          else
            same="exports differ"
          fi
        fi
      else
        read -r s kb cpu < <(measure "$batch" "${args[@]}")
      fi
      mib=$((kb / 1024))
      goal=""
      if [ "$kind" = repeat ]; then
        case "$n" in
          1000) goal="$(awk -v s="$s" -v st="$start" 'BEGIN { w = s - st; printf "%.3f s without start: %s", w, (w < 0.1 ? "under 0.1 s met" : "0.1 s MISSED") }')" ;;
          10000) goal="$(awk -v s="$s" -v m="$mib" 'BEGIN { printf "%s; %s", (s < 1 ? "under 1 s met" : "1 s MISSED"), (m < 100 ? "under 100 MB met" : "100 MB MISSED") }')" ;;
          100000) goal="$(awk -v s="$s" 'BEGIN { print (s < 10 ? "under 10 s met" : "10 s MISSED") }')" ;;
        esac
      fi
      if [ "$kind" = survey ] && [ "$n" = 100000 ] && [ "$exports" = yes ]; then
        goal="$(awk -v s="$s" -v m="$mib" 'BEGIN { printf "%s; %s", (s <= 2 ? "2 s met" : "2 s MISSED"), (m <= 300 ? "300 MB met" : "300 MB MISSED") }')"
      fi
      if [ -n "$reference" ]; then
        printf '%-10s %8d %-9s %9.3f %9.2f %9d %9.3f %9.2f %9d  %s\n' "$kind" "$n" "$exports" "$s" "$cpu" "$mib" \
          "$rs" "$rcpu" $((rkb / 1024)) "$goal${same:+; $same}"
      else
        printf '%-10s %8d %-9s %9.3f %9.2f %9d  %s\n' "$kind" "$n" "$exports" "$s" "$cpu" "$mib" "$goal"
      fi
    done
  done
done
