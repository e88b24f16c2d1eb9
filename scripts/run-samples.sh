#!/usr/bin/env bash
# Installs and builds Skarvel, runs the batch jobs on a copy of the bundled
# sample workspace in build/sample-workspace (the samples themselves stay
# untouched), then starts the desktop program in that workspace: the bench
# files (bench/), the field-of-view lists (fov/) and the bitmaps (bitmaps/)
# are one folder away, the calculation tables are in Count/ and the manual in
# SkarvelHelp/. Without a display it says so and saves a picture of every
# window, with the samples loaded, into the workspace instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
batch=build/src/cli/skarvel-batch
work=build/sample-workspace
rm -rf "$work"
mkdir -p "$work"
cp -r samples/. "$work/"
/usr/bin/python3 scripts/make-count-tables.py "$work/Count"
cp -r doc/SkarvelHelp "$work/SkarvelHelp"

echo "== Bench-to-real scaling (bench 4.25 m, real 500000 m)"
"$batch" scale --decimal-separator . "$work"/bench/*.ort
echo
echo "== Resampling to 512 x 512 (bilinear), fragment (0, 0)-(100, 100), grey at R 37, G -12, B 150, contrast 73"
"$batch" resample "$work"/bitmaps/aerial.bmp "$work"/bitmaps/relief_grey.bmp
"$batch" cut "$work"/bitmaps/aerial.bmp "$work"/bitmaps/relief_grey.bmp
"$batch" grey --r 37 --g -12 --b 150 --contrast 73 "$work"/bitmaps/aerial.bmp "$work"/bitmaps/relief_grey.bmp
echo
echo "== Field of view of the sample scene, in the three orientation systems"
for system in bench photogrammetric mathematical; do
  echo "-- $system: corner lines of the six frames"
  "$batch" fov --decimal-separator . --system "$system" \
    --output "$work/fov/scene_$system.bmp" --legend "$work/fov/scene_${system}_legend.bmp" \
    --csv "$work/fov/scene_$system.csv" --geojson "$work/fov/scene_$system.geojson" \
    "$work/fov/scene.lst"
done
"$batch" fov --decimal-separator . "$work/fov/scene_blocks.lst"
echo
echo "== What the frames see of the model's relief (fov/relief.asc), and how many frames see each cell"
"$batch" fov --decimal-separator . --relief "$work/fov/relief.asc" \
  --output "$work/fov/scene_relief.bmp" --csv "$work/fov/scene_relief.csv" \
  --geojson "$work/fov/scene_relief.geojson" --coverage "$work/fov/scene_coverage.tif" \
  "$work/fov/scene.lst" >/dev/null
cut -d, -f1,2,20-24 "$work/fov/scene_relief.csv"
echo
echo "Results are in $work"

# The desktop program, started in the workspace (its start-up folder).
program=$(pwd)/build/src/app/skarvel
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== Starting skarvel in $work"
  cd "$work"
  exec "$program"
fi
shots="$work/screenshots"
echo "No display: instead of starting skarvel, saving a picture of every window into $shots"
QT_QPA_PLATFORM=offscreen "$(pwd)/build/src/app/skarvel-screenshots" "$shots" "$work" >/dev/null 2>&1
echo "Pictures of the windows are in $shots"
