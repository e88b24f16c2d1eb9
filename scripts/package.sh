#!/usr/bin/env bash
# Installs, builds and makes the Debian package of Skarvel into build/package
# (skarvel_<version>_<arch>.deb). Install it with: apt install ./build/package/skarvel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && cpack -G DEB -B package >/dev/null)
ls build/package/skarvel_*.deb
