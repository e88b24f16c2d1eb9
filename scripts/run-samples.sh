#!/usr/bin/env bash
# Installs, builds and runs the batch jobs on a copy of the bundled sample
# workspace in build/sample-workspace (the samples themselves stay untouched).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
batch=build/src/cli/skarvel-batch
work=build/sample-workspace
rm -rf "$work"
mkdir -p "$work"
cp -r samples/. "$work/"

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
    "$work/fov/scene.lst"
done
"$batch" fov --decimal-separator . "$work/fov/scene_blocks.lst"
echo
echo "Results are in $work"
