#!/usr/bin/env bash
# Takes the manual's pictures of the real windows: builds the program, copies
# the samples into a scratch workspace and has skarvel-screenshots save every
# window, with the samples loaded, into doc/SkarvelHelp/images.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
work=$(mktemp -d /tmp/skarvel-samples.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r samples/. "$work/"
QT_QPA_PLATFORM=offscreen build/src/app/skarvel-screenshots doc/SkarvelHelp/images "$work"
