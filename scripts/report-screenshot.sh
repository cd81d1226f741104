#!/usr/bin/env bash
# Shoots the box report as a browser shows it into docs/report.png, and one diskette's surface
# picture into docs/surface.png: a batch of four made-up diskettes, one of them rescued from a
# drive with worn sectors (the practice drive) and one that is no
# diskette. Usage: scripts/report-screenshot.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target tavrel-cli tavrel-practice-drive -j2 >/dev/null
cli=$build/cli/tavrel-cli
browser=$(command -v chromium || command -v chromium-browser) ||
  { echo "chromium is not installed (make test-deps installs it)" >&2; exit 1; }

work=$(mktemp -d)
faulty_pid=
cleanup() {
  if [ -n "$faulty_pid" ]; then
    fusermount3 -u "$work/mnt" 2>/dev/null || umount "$work/mnt" 2>/dev/null || true
    kill "$faulty_pid" 2>/dev/null || true
    wait "$faulty_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A FAT diskette of KB kilobytes with a label and a few files.
diskette() {
  local path=$1 kb=$2 label=$3
  mkfs.fat -C -n "$label" "$path" "$kb" >/dev/null
  printf 'Minutes of the meeting, %s\r\n' "$label" >"$work/NOTES.TXT"
  head -c 40000 /dev/urandom >"$work/DATA.BIN"
  MTOOLS_SKIP_CHECK=1 mcopy -i "$path" "$work/NOTES.TXT" "$work/DATA.BIN" ::
}

box=$work/box-17
diskette "$work/one.img" 1440 LETTERS
diskette "$work/two.img" 720 ACCOUNTS
diskette "$work/three.img" 1440 THESIS
head -c 1474560 /dev/zero >"$work/four.img"
ids=(--name "MS-2024-{n:03}" --operator "A. Archivist" --note "Box 17, donor's study")
# Two drives at once.
"$cli" -q batch "$work/one.img" "$work/two.img" "$box" "${ids[@]}" </dev/null >/dev/null
# Worn: a run of sectors that never read, one that reads alone at its third try, a side that
# reads whole only at the second.
mkdir "$work/mnt"
printf 'bad 600 4\nweak 604 6\nbad 2000\nweak 1500 1\n' >"$work/plan"
"$build/drive/emulation/tavrel-practice-drive" "$work/three.img" "$work/mnt" "$work/plan" &
faulty_pid=$!
for _ in $(seq 100); do [ -e "$work/mnt/disk.img" ] && break; sleep 0.1; done
"$cli" -q batch "$work/mnt/disk.img" "$box" "${ids[@]}" --count 1 --rescue --json >/dev/null || true
"$cli" -q batch "$work/four.img" "$box" "${ids[@]}" --count 1 --json >/dev/null 2>&1 || true

shoot() {
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --screenshot="$1" \
    --window-size="$2" "file://$3" >/dev/null 2>&1
}
shoot "$work/report.png" 1200,900 "$box/report.html"
shoot "$work/surface.png" 370,186 "$box/MS-2024-003.svg"
"$root/scripts/png_pack.py" "$work/report.png" "$root/docs/report.png"
"$root/scripts/png_pack.py" "$work/surface.png" "$root/docs/surface.png"
echo "docs/report.png and docs/surface.png from $("$cli" report "$box")"
