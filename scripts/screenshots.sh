#!/usr/bin/env bash
# Renders the dialog idle, in the middle of a real compress and the About box into docs/,
# on a bare X server (Xvfb): the Qt dialog, then the box report in Chromium, then the Windows
# dialog under Wine. Usage:
# scripts/screenshots.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target tavrel-screenshots -j"$(nproc)" >/dev/null
mkdir -p "$root/docs"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/tavrel-screenshots" "$root/docs"

# The box report and a surface picture as Chromium shows them.
"$root/scripts/report-screenshot.sh" "$build"

# The Windows dialog as Wine draws it, from the Wine dialog test's own run (which builds
# nothing: make windows first), its pictures deflated into docs/windows-*.png.
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
TAVREL_SCREENSHOT_DIR=$shots "$root/tests/windows/wine_dialog_test.sh" "$build/cli/tavrel-cli" \
  "$build-windows" "$build/drive/emulation/tavrel-practice-drive"
for pair in main-idle:windows-dialog-idle main-job:windows-dialog-running about:windows-about \
  system-menu:windows-system-menu difference-box:windows-difference; do
  "$root/scripts/png_pack.py" "$shots/${pair%%:*}.png" "$root/docs/${pair##*:}.png"
done
