#!/usr/bin/env bash
# Times skarvel-batch against a floor program (read the file whole, write it
# back) and against peer tools, side by side in one run, on pictures this
# script makes itself. Prints medians (seconds), peak memory (MiB) and ratios
# to the floor measured in the same run, and for each Skarvel row the goal
# and whether it is met (or by how much it is missed). Memory: the goal is
# the source and result pictures in memory plus 10 %; "op MiB" is the peak
# less the program's own footprint when it does nothing (measured here), and
# the row says whether that fits. Finally the grey composition in memory
# (Google Benchmark, build/bench/bitmap_bench) against its 33 ms goal. A
# 6000 x 4000 JPEG has rows of its own (bench_jpeg below).
#
#   bash bench/compare.sh [--runs N] [--quick] [--jpeg] [--no-peers]
#
# --quick: only the 6000 x 4000 24-bit source. --jpeg: only the JPEG rows. --no-peers: Skarvel and the
# floor only. SKARVEL_BASELINE=path/to/skarvel-batch adds a row for another
# build (say of the previous commit) under each Skarvel row, for a side-by-
# side comparison in the same run. Peers come from Debian's packages (installed when missing):
# libopencv-dev (a small program built here), libvips-tools (vips),
# imagemagick (convert), graphicsmagick (gm). A peer that cannot be run is
# named and skipped.
set -uo pipefail
cd "$(dirname "$0")/.."

runs=5
quick=0
jpeg_only=0
peers=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --quick) quick=1; shift ;;
    --jpeg) jpeg_only=1; shift ;;
    --no-peers) peers=0; shift ;;
    *) echo "usage: $0 [--runs N] [--quick] [--jpeg] [--no-peers]" >&2; exit 2 ;;
  esac
done

root=$(pwd)
work=${SKARVEL_BENCH_DIR:-$root/build/bench-compare}
tools=$work/tools
mkdir -p "$tools" "$work/pics" "$work/out"

if [ ! -x build/src/cli/skarvel-batch ]; then
  bash scripts/build.sh >/dev/null || { echo "build failed" >&2; exit 1; }
fi
batch=$root/build/src/cli/skarvel-batch
baseline=${SKARVEL_BASELINE:-}
if [ -n "$baseline" ] && [ ! -x "$baseline" ]; then echo "SKARVEL_BASELINE: no program $baseline" >&2; exit 1; fi

if [ "$peers" = 1 ]; then
  need=()
  wanted=(libopencv-dev libvips-tools imagemagick graphicsmagick)
  [ "$jpeg_only" = 1 ] && wanted=(libvips-tools imagemagick)  # the JPEG rows' peers
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
  done
  if [ "${#need[@]}" -gt 0 ]; then
    echo "installing peers: ${need[*]}" >&2
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need[@]}" >/dev/null 2>&1 ||
      echo "could not install some peers; those are skipped" >&2
  fi
fi

cxx=${CXX:-g++}
$cxx -O2 -o "$tools/timeit" bench/peers/timeit.cc || exit 1
$cxx -O2 -o "$tools/floor" bench/peers/floor.cc || exit 1
$cxx -O2 -o "$tools/make_picture" bench/peers/make_picture.cc || exit 1
have_opencv=0
if [ "$peers" = 1 ] && pkg-config --exists opencv4 2>/dev/null &&
   $cxx -O2 -std=c++17 -w -o "$tools/opencv_peer" bench/peers/opencv_peer.cc $(pkg-config --cflags --libs opencv4); then
  have_opencv=1
fi
have() { [ "$peers" = 1 ] && command -v "$1" >/dev/null 2>&1; }
missing=()
[ "$have_opencv" = 1 ] || missing+=("OpenCV")
have vips || missing+=("vips")
have convert || missing+=("ImageMagick")
have gm || missing+=("GraphicsMagick")

# time LABEL COMMAND...: prints "median peakMiB" or "n/a"
measure() {
  local r
  if r=$("$tools/timeit" "$runs" "$@" 2>/dev/null); then
    awk '{printf "%.3f %.0f", $1, $2/1024}' <<<"$r"
  else
    echo "n/a -"
  fi
}

row() {  # row OPERATION FLOOR_MEDIAN TOOL RESULT [GOAL_RATIO RESULT_BYTES]
  local op=$1 floor=$2 tool=$3 median=${4% *} mem=${4#* } goal=${5:-} result_bytes=${6:-0}
  local ratio="-" opmem="" verdict=""
  if [ "$median" = "n/a" ]; then
    notrun+=("$tool ($op)")
  else
    ratio=$(awk -v m="$median" -v f="$floor" 'BEGIN{printf "%.2f", m/f}')
  fi
  if [ -n "$goal" ] && [ "$median" != "n/a" ]; then
    opmem=$(awk -v m="$mem" -v b="$idle_mib" 'BEGIN{printf "%.0f", m-b}')
    verdict=$(awk -v r="$ratio" -v g="$goal" -v om="$opmem" -v s="$srcbytes" -v d="$result_bytes" 'BEGIN{
      lim = (s + d) * 1.1 / 1048576
      t = (r <= g) ? sprintf("<= %.1f met", g) : sprintf("<= %.1f MISSED by %.0f%%", g, (r / g - 1) * 100)
      m = (om <= lim) ? sprintf("mem <= %.0f met", lim) : sprintf("mem <= %.0f MISSED by %.0f%%", lim, (om / lim - 1) * 100)
      printf "%s; %s", t, m }')
    [[ "$verdict" == *MISSED* ]] && missed=$((missed + 1))
  fi
  printf '%-28s %-15s %8s %7s %8s %7s  %s\n' "$op" "$tool" "$median" "$ratio" "$mem" "$opmem" "$verdict"
}

# skarvel_rows OPERATION FLOOR GOAL RESULT_BYTES ARGS...: this build's row and the baseline's.
skarvel_rows() {
  local op=$1 floor=$2 goal=$3 bytes=$4
  shift 4
  row "$op" "$floor" skarvel "$(measure "$batch" "$@")" "$goal" "$bytes"
  if [ -n "$baseline" ]; then row "$op" "$floor" baseline "$(measure "$baseline" "$@")"; fi
}

bench_picture() {  # bench_picture W H BITS
  local w=$1 h=$2 bits=$3
  local src=$work/pics/src_${w}x${h}_${bits}.bmp
  [ -f "$src" ] || "$tools/make_picture" "$w" "$h" "$bits" "$src" || exit 1
  local copy=$work/out/pic.bmp
  cp "$src" "$copy"
  sync  # the fresh copy's writeback would otherwise land in the first timings
  # The floor twice; the lower median counts (the stricter ratio).
  local floor_result floor second
  floor_result=$(measure "$tools/floor" "$copy" "$work/out/floor.bmp")
  second=$(measure "$tools/floor" "$copy" "$work/out/floor.bmp")
  if awk -v a="${second% *}" -v b="${floor_result% *}" 'BEGIN{exit !(a < b)}'; then floor_result=$second; fi
  floor=${floor_result% *}
  srcbytes=$((w * h * bits / 8))
  echo
  echo "Source ${w} x ${h}, ${bits}-bit ($(du -m "$src" | cut -f1) MiB); floor: ${floor} s, ${floor_result#* } MiB"
  printf '%-28s %-15s %8s %7s %8s %7s  %s\n' "operation" "tool" "median s" "x floor" "peak MiB" "op MiB" "goal"

  local sizes=("3000 2000" "4096 4096" "2900 1900")
  [ "$w" = 8192 ] && sizes=("4096 4096" "3000 2000" "5000 3000")
  for method in nearest bilinear; do
    for size in "${sizes[@]}"; do
      set -- $size
      local op="$method to $1 x $2"
      local goal=1.4
      [ "$method" = bilinear ] && goal=1.6
      skarvel_rows "$op" "$floor" "$goal" $(($1 * $2 * 3)) resample --method "$method" --width "$1" --height "$2" "$copy"
      if [ "$have_opencv" = 1 ]; then row "$op" "$floor" opencv "$(measure "$tools/opencv_peer" "$method" "$copy" "$work/out/o.bmp" "$1" "$2")"; fi
      local kernel=nearest filter="-sample"
      [ "$method" = bilinear ] && kernel=linear filter="-filter Triangle -resize"
      if have vips; then
        local hs vs
        hs=$(awk -v a="$1" -v b="$w" 'BEGIN{printf "%.9f", a/b}'); vs=$(awk -v a="$2" -v b="$h" 'BEGIN{printf "%.9f", a/b}')
        row "$op" "$floor" vips "$(measure vips resize "$copy" "$work/out/v.bmp" "$hs" --vscale "$vs" --kernel "$kernel")"
      fi
      if have convert; then row "$op" "$floor" imagemagick "$(measure convert "$copy" $filter "${1}x${2}!" "BMP3:$work/out/i.bmp")"; fi
      if have gm; then row "$op" "$floor" graphicsmagick "$(measure gm convert "$copy" $filter "${1}x${2}!" "BMP3:$work/out/g.bmp")"; fi
    done
  done

  local op="fragment 2000 x 2000"
  skarvel_rows "$op" "$floor" 1.2 $((2000 * 2000 * 3)) cut --w1 1000 --h1 1000 --w2 3000 --h2 3000 "$copy"
  if [ "$have_opencv" = 1 ]; then row "$op" "$floor" opencv "$(measure "$tools/opencv_peer" crop "$copy" "$work/out/o.bmp" 1000 1000 2000 2000)"; fi
  if have vips; then row "$op" "$floor" vips "$(measure vips crop "$copy" "$work/out/v.bmp" 1000 1000 2000 2000)"; fi
  if have convert; then row "$op" "$floor" imagemagick "$(measure convert "$copy" -crop 2000x2000+1000+1000 +repage "BMP3:$work/out/i.bmp")"; fi
  if have gm; then row "$op" "$floor" graphicsmagick "$(measure gm convert "$copy" -crop 2000x2000+1000+1000 "BMP3:$work/out/g.bmp")"; fi

  for settings in "37 -12 150 73" "0 0 0 50" "0 0 0 500"; do
    set -- $settings
    op="grey ($1, $2, $3, $4)"
    skarvel_rows "$op" "$floor" 1.6 $((w * h)) grey --r "$1" --g "$2" --b "$3" --contrast "$4" "$copy"
    if [ "$have_opencv" = 1 ]; then row "$op" "$floor" opencv "$(measure "$tools/opencv_peer" grey "$copy" "$work/out/o.bmp" "$1" "$2" "$3" "$4")"; fi
    if have vips; then row "$op" "$floor" vips "$(measure vips colourspace "$copy" "$work/out/v.bmp" b-w)"; fi
    if have convert; then row "$op" "$floor" imagemagick "$(measure convert "$copy" -colorspace Gray "BMP3:$work/out/i.bmp")"; fi
    if have gm; then row "$op" "$floor" graphicsmagick "$(measure gm convert "$copy" -colorspace GRAY "BMP3:$work/out/g.bmp")"; fi
  done
  local again
  again=$(measure "$tools/floor" "$copy" "$work/out/floor.bmp")
  echo "floor measured again at the end: ${again% *} s (ratios above are to ${floor} s)"
}

# bench_jpeg: a 6000 x 4000 JPEG (quality 92, cjpeg) of the 24-bit bench
# picture, resampled, cut and composed to grey. Goal of each row: the whole
# run <= 1.15 x (djpeg of the file to /dev/null + the same operation on the
# bitmap less its read), all measured here; the read is a run that loads the
# bitmap and cuts one pixel less the same run on a 1 x 1 bitmap. Memory: the decoded picture, the result and 10 %.
# Peers: vips and ImageMagick on the same JPEG; Skarvel is to be ahead of both.
bench_jpeg() {
  local w=6000 h=4000
  local src=$work/pics/src_${w}x${h}_24.bmp
  [ -f "$src" ] || "$tools/make_picture" "$w" "$h" 24 "$src" || exit 1
  if ! command -v cjpeg >/dev/null || ! command -v djpeg >/dev/null; then
    echo; echo "JPEG rows not run: cjpeg/djpeg (libjpeg-turbo-progs) missing"; return
  fi
  local jpg=$work/out/photo.jpg bmp=$work/out/photo.bmp
  cjpeg -quality 92 -outfile "$jpg" "$src" || exit 1
  cp "$src" "$bmp"
  sync
  local djpeg_result bmp_read bmp_cut tiny_cut
  djpeg_result=$(measure djpeg -outfile /dev/null "$jpg")
  # The read alone: a one-pixel cut of the bitmap less that of a 1 x 1 one
  # (the program's start and end).
  bmp_cut=$(measure "$batch" cut --w1 0 --h1 0 --w2 1 --h2 1 "$bmp")
  tiny_cut=$(measure "$batch" cut --w1 0 --h1 0 --w2 1 --h2 1 "$work/out/tiny.bmp")
  bmp_read="$(awk -v a="${bmp_cut% *}" -v b="${tiny_cut% *}" 'BEGIN{printf "%.3f", a - b}') -"
  srcbytes=$((w * h * 3))
  echo
  echo "JPEG ${w} x ${h}, quality 92 ($(du -m "$jpg" | cut -f1) MiB); djpeg to /dev/null: ${djpeg_result% *} s;" \
    "bitmap read: ${bmp_read% *} s (a 1-pixel cut ${bmp_cut% *} s less that of a 1 x 1 bitmap ${tiny_cut% *} s)"
  printf '%-28s %-15s %8s %8s %7s %8s  %s\n' "operation" "tool" "median s" "goal s" "peak MiB" "op MiB" "goal"
  local ops=("resample bilinear 3000 x 2000|$((3000 * 2000 * 3))|resample --method bilinear --width 3000 --height 2000"
             "fragment 2000 x 2000|$((2000 * 2000 * 3))|cut --w1 1000 --h1 1000 --w2 3000 --h2 3000"
             "grey (37, -12, 150, 73)|$((w * h))|grey --r 37 --g -12 --b 150 --contrast 73")
  local entry
  for entry in "${ops[@]}"; do
    local op=${entry%%|*} rest=${entry#*|}
    local bytes=${rest%%|*} args=${rest#*|}
    local on_bmp on_jpg vips_r im_r
    on_bmp=$(measure "$batch" $args "$bmp")
    on_jpg=$(measure "$batch" $args "$jpg")
    vips_r="n/a -"; im_r="n/a -"
    if have vips; then
      case "$op" in
        resample*) vips_r=$(measure vips resize "$jpg" "$work/out/v.bmp" 0.5 --kernel linear) ;;
        fragment*) vips_r=$(measure vips crop "$jpg" "$work/out/v.bmp" 1000 1000 2000 2000) ;;
        grey*) vips_r=$(measure vips colourspace "$jpg" "$work/out/v.bmp" b-w) ;;
      esac
    fi
    if have convert; then
      case "$op" in
        resample*) im_r=$(measure convert "$jpg" -filter Triangle -resize "3000x2000!" "BMP3:$work/out/i.bmp") ;;
        fragment*) im_r=$(measure convert "$jpg" -crop 2000x2000+1000+1000 +repage "BMP3:$work/out/i.bmp") ;;
        grey*) im_r=$(measure convert "$jpg" -colorspace Gray "BMP3:$work/out/i.bmp") ;;
      esac
    fi
    local verdict
    verdict=$(awk -v j="${on_jpg% *}" -v d="${djpeg_result% *}" -v b="${on_bmp% *}" -v r="${bmp_read% *}" \
      -v mem="${on_jpg#* }" -v idle="$idle_mib" -v s="$srcbytes" -v bytes="$bytes" \
      -v v="${vips_r% *}" -v im="${im_r% *}" 'BEGIN{
      if (j == "n/a") { print "n/a"; exit }
      goal = 1.15 * (d + b - r)
      t = (j <= goal) ? sprintf("<= %.3f s met", goal) : sprintf("<= %.3f s MISSED by %.0f%%", goal, (j / goal - 1) * 100)
      om = mem - idle; lim = (s + bytes) * 1.1 / 1048576
      m = (om <= lim) ? sprintf("mem <= %.0f met", lim) : sprintf("mem <= %.0f MISSED by %.0f%%", lim, (om / lim - 1) * 100)
      p = ""
      if (v != "n/a") p = p sprintf("; vips %s", (j < v) ? "behind us" : "AHEAD")
      if (im != "n/a") p = p sprintf("; ImageMagick %s", (j < im) ? "behind us" : "AHEAD")
      printf "%s; %s%s|%.3f|%.0f", t, m, p, goal, om }')
    local text=${verdict%%|*} rest2=${verdict#*|}
    [[ "$text" == *MISSED* || "$text" == *AHEAD* ]] && missed=$((missed + 1))
    printf '%-28s %-15s %8s %8s %7s %8s  %s\n' "$op" "skarvel" "${on_jpg% *}" "${rest2%%|*}" "${on_jpg#* }" \
      "${rest2#*|}" "$text"
    printf '%-28s %-15s %8s %8s %7s\n' "$op" "skarvel on bmp" "${on_bmp% *}" "" "${on_bmp#* }"
    [ "${vips_r% *}" != "n/a" ] && printf '%-28s %-15s %8s %8s %7s\n' "$op" "vips" "${vips_r% *}" "" "${vips_r#* }"
    [ "${im_r% *}" != "n/a" ] && printf '%-28s %-15s %8s %8s %7s\n' "$op" "imagemagick" "${im_r% *}" "" "${im_r#* }"
  done
}

notrun=()
missed=0
srcbytes=0
# The program's own footprint: a run on a 1 x 1 picture.
"$tools/make_picture" 1 1 24 "$work/out/tiny.bmp" || exit 1
idle_mib=$("$tools/timeit" 3 "$batch" grey "$work/out/tiny.bmp" 2>/dev/null | awk '{printf "%.0f", $2/1024}')
[ -n "$idle_mib" ] || idle_mib=0

echo "skarvel-batch against the floor and peers; medians of $runs runs after one warm-up; $(nproc) cores"
echo "skarvel-batch footprint doing nothing: ${idle_mib} MiB (subtracted in 'op MiB')"
[ "${#missing[@]}" -gt 0 ] && echo "peers not run: ${missing[*]}"
[ "$jpeg_only" = 1 ] || bench_picture 6000 4000 24
bench_jpeg
if [ "$quick" = 0 ] && [ "$jpeg_only" = 0 ]; then
  bench_picture 6000 4000 8
  bench_picture 8192 8192 24
fi

echo
if [ "$jpeg_only" = 1 ]; then
  :
elif [ -x build/bench/bitmap_bench ]; then
  echo "Grey composition of 24 Mpix in memory (goal <= 33 ms for any settings), median of 5:"
  build/bench/bitmap_bench --benchmark_filter='BM_ComposeGrey' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true 2>/dev/null | awk '/_median/ {
      ms = $2; if ($3 == "us") ms /= 1000; if ($3 == "s") ms *= 1000
      printf "  %-44s %7.1f ms  %s\n", $1, ms, (ms <= 33 ? "met" : sprintf("MISSED by %.0f%%", (ms / 33 - 1) * 100)) }'
else
  echo "build/bench/bitmap_bench not built: the in-memory grey goal was not measured"
fi
echo
if [ "${#notrun[@]}" -gt 0 ]; then echo "could not run: ${notrun[*]}"; fi
echo "Skarvel rows missing a goal: $missed"
