#!/usr/bin/env bash
# Renders the dialog idle, in the middle of a real compress and the About box into docs/,
# on a bare X server (Xvfb). Usage: scripts/screenshots.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target tavrel-screenshots -j"$(nproc)" >/dev/null
mkdir -p "$root/docs"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/tavrel-screenshots" "$root/docs"
