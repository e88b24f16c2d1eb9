#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, address and undefined-behaviour
# sanitizers) into ./build-fuzz and runs each for a bounded time; fails on any
# finding. Usage: bash scripts/fuzz.sh [TARGET...]   (default: every target)
#
#   SKARVEL_FUZZ_SECONDS   seconds per target (default 60)
#
# Each target starts from its seeds (fuzz/seeds/<target>), the inputs stored
# after earlier findings (tests/fuzz/regressions/<target>) and, for the bitmap
# target, the sample bitmaps and the external BMP suite (../shared/testdata,
# skipped with a note where it is absent); what a run adds to the corpus is
# kept in build-fuzz/corpus/<target> for the next run. A finding leaves its
# input in build-fuzz/findings/<target>/: fix the fault, then keep the input
# as tests/fuzz/regressions/<target>/<name> so the ordinary tests replay it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${SKARVEL_FUZZ_SECONDS:-60}"
all_targets=(bitmap image_geometry camera fov_list numbers short_number colour_texts jpeg png tiff)
if [ "$#" -gt 0 ]; then targets=("$@"); else targets=("${all_targets[@]}"); fi

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

mkdir -p build-fuzz
echo "fuzz: building the targets into build-fuzz (log: build-fuzz/build.log)"
{
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DSKARVEL_FUZZ=ON -DSKARVEL_BUILD_TESTS=OFF -DSKARVEL_BUILD_BENCH=OFF &&
    cmake --build build-fuzz --target fuzz_all --parallel "$(nproc)"
} >build-fuzz/build.log 2>&1 || { tail -50 build-fuzz/build.log >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen
# Reports stop at the first error; leaks are findings too.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

testdata=../shared/testdata/bmpsuite
passed=0
failed=0
report=()
for target in "${targets[@]}"; do
  exe="build-fuzz/fuzz/fuzz_$target"
  if [ ! -x "$exe" ]; then
    echo "fuzz: no target named $target" >&2
    exit 2
  fi
  corpus="build-fuzz/corpus/$target"
  findings="build-fuzz/findings/$target"
  log="build-fuzz/logs/$target.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  inputs=("fuzz/seeds/$target")
  [ -d "tests/fuzz/regressions/$target" ] && inputs+=("tests/fuzz/regressions/$target")
  max_len=8192
  if [ "$target" = jpeg ] || [ "$target" = png ] || [ "$target" = tiff ]; then
    max_len=65536
  fi
  if [ "$target" = bitmap ]; then
    max_len=65536
    inputs+=(samples/bitmaps)
    if [ -d "$testdata" ]; then
      inputs+=("$testdata/g" "$testdata/q" "$testdata/b")
    else
      echo "note: $testdata is absent; the bitmap target starts without the BMP suite"
    fi
  fi
  echo "== fuzz_$target for ${seconds} s"
  status=0
  "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "${inputs[@]}" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  units=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    verdict="no finding"
  else
    failed=$((failed + 1))
    verdict="FINDING (exit $status), see $log"
    grep -E '^(finding in|==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -5 >&2 || true
    ls "$findings" >&2 || true
  fi
  printf '   %s executions, %s per second, corpus %s files: %s\n' "${execs:-?}" "${rate:-?}" "$units" "$verdict"
  report+=("$(printf '%-16s %8s s %12s %10s' "$target" "$seconds" "${execs:-?}" "${rate:-?}")  $verdict")
done

echo
printf '%-16s %10s %12s %10s\n' target seconds executions "exec/s"
printf '%s\n' "${report[@]}"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
