#!/usr/bin/env bash
# Installs, builds and runs every test, then the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure --parallel "$(nproc)")
# The Debian package, made and checked without installing it.
bash scripts/check-package.sh
# The fuzz targets, a bounded time each (SKARVEL_FUZZ_SECONDS, default 60),
# where clang is installed (scripts/install-deps.sh installs it).
if command -v clang++ >/dev/null 2>&1; then
  bash scripts/fuzz.sh
else
  echo "note: clang++ is not installed; the fuzz targets are not run"
fi
