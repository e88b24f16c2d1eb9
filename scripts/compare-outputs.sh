#!/usr/bin/env bash
# Runs the field-of-view jobs on the samples (and a generated survey) and the
# bitmap jobs on the sample bitmaps (and the external BMP corpus where it is
# present) with two builds of skarvel-batch, and compares every file they
# write byte for byte, standard output and error included. Exit status 1 on
# any difference.
#
#   bash scripts/compare-outputs.sh OLD_BATCH NEW_BATCH [FRAMES]
#
# FRAMES (default 2000) sizes the generated survey.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
old="$(realpath "$1")"
new="$(realpath "$2")"
frames="${3:-2000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/samples/fov" "$work/fov"
bitmaps=("$root"/samples/bitmaps/*.bmp)
corpus="$root/../shared/testdata/bmpsuite"
if [ -d "$corpus" ]; then
  while IFS= read -r f; do bitmaps+=("$f"); done < <(find "$corpus" -iname '*.bmp' | sort)
fi
python3 "$root/bench/make_fov_survey.py" "$work/survey" "$frames" >/dev/null

jobs=()
for system in bench photogrammetric mathematical; do
  jobs+=("fov/scene.lst --system $system --legend @/legend.bmp --csv @/f.csv --geojson @/f.geojson")
done
jobs+=("fov/scene.lst --relief fov/relief.asc --csv @/f.csv --geojson @/f.geojson --coverage @/c.tif")
jobs+=("fov/scene.lst --relief fov/relief.asc --relief-z-scale 2.5 --coverage @/c.asc")
jobs+=("fov/scene_blocks.lst --relief fov/relief.asc --csv @/f.csv --coverage @/c.asc")
jobs+=("fov/scene.lst --coverage @/c.asc --coverage-cell 0.05")
jobs+=("survey/survey.lst --legend @/legend.bmp --csv @/f.csv --geojson @/f.geojson")
jobs+=("survey/survey.lst --coverage @/c.tif --coverage-cell 0.1")

# Bitmap jobs write beside their inputs: each side works on its own copy.
bitmapJobs=("resample --width 300 --height 200" "resample --width 1000 --height 700 --method nearest"
  "cut --w1 5 --h1 3 --w2 90 --h2 60" "grey --r 30 --g 59 --b 11 --contrast 80" "grey --r -40 --g 150 --b 0")

differ=0
n=0
compare() {
  if diff -r -q "$work/old$n" "$work/new$n" >/dev/null; then
    echo "same: $1 (exit $(cat "$work/new$n/status"), $(ls "$work/new$n" | wc -l) files)"
  else
    echo "DIFFERENT: $1"
    diff -r -q "$work/old$n" "$work/new$n" || true
    differ=1
  fi
}
for job in "${bitmapJobs[@]}"; do
  n=$((n + 1))
  for side in old new; do
    out="$work/$side$n"
    mkdir -p "$out/in"
    cp "${bitmaps[@]}" "$out/in/"
    batch="$old"
    [ "$side" = new ] && batch="$new"
    # shellcheck disable=SC2086
    ("$batch" $job "$out"/in/*.bmp >"$out/stdout" 2>"$out/stderr"; echo $? >"$out/status") || true
    sed -i "s#$out#OUT#g" "$out/stdout" "$out/stderr"
  done
  compare "$job on ${#bitmaps[@]} bitmaps"
done
for job in "${jobs[@]}"; do
  n=$((n + 1))
  for side in old new; do
    out="$work/$side$n"
    mkdir -p "$out"
    batch="$old"
    [ "$side" = new ] && batch="$new"
    # shellcheck disable=SC2086
    (cd "$work" && "$batch" fov ${job//@/$out} --output "$out/drawing.bmp" \
        >"$out/stdout" 2>"$out/stderr"; echo $? >"$out/status") || true
    sed -i "s#$out#OUT#g" "$out/stdout" "$out/stderr"
  done
  compare "fov $job"
done
exit $differ
