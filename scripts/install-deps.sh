#!/usr/bin/env bash
# Installs everything Skarvel needs to build, test and run on Debian 12.
# Idempotent: packages already present are left as they are. Run as root
# (or through sudo when it is available).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev
  libgeos-dev
  libgdal-dev gdal-bin
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  valgrind
  fonts-dejavu-core fonts-liberation2
  xvfb xauth xdg-utils openbox x11-utils
  python3-xlwt
  qt6-translations-l10n
  dpkg-dev desktop-file-utils lintian man-db
  time python3
  locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
else
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The Russian locale, whose decimal separator is ",": the users' own setting,
# which the tests of number conversion run under.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  $SUDO sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
