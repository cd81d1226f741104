#!/usr/bin/env bash
# Makes a real FAT12 1.44 MB diskette image with mkfs.fat and mtools and takes it through the
# console tool: compress to a .tvl image, info --map, verify, convert back to a raw image
# compared with the original, and compress straight to a raw .img that mtools reads. Everything
# it writes goes under BUILD_DIR/demo.
#
# Usage: scripts/run-demo.sh BUILD_DIR   (make run calls it after building)
set -euo pipefail

build="${1:?usage: $0 BUILD_DIR}"
tool="$build/cli/tavrel-cli"
demo="$build/demo"

step() { printf '\n== %s\n' "$*"; }
run() { printf '$ %s\n' "$*"; "$@"; }

if [ ! -x "$tool" ]; then
  echo "$tool is missing; build first (make build)" >&2
  exit 1
fi
for program in mkfs.fat mcopy mdir cmp; do
  command -v "$program" >/dev/null || { echo "$program is missing; run scripts/install-deps.sh" >&2; exit 1; }
done

rm -rf "$demo"
mkdir -p "$demo/files"
export MTOOLS_SKIP_CHECK=1

step "A blank 1.44 MB diskette, formatted FAT12 by mkfs.fat"
echo "\$ mkfs.fat -C -n TAVREL $demo/diskette.raw 1440"
mkfs.fat -C -n TAVREL "$demo/diskette.raw" 1440 >/dev/null
ls -l "$demo/diskette.raw"

step "A few files copied onto it with mtools"
for i in $(seq 1 300); do echo "Line $i of a text file on a diskette."; done > "$demo/files/README.TXT"
head -c 20000 /dev/urandom > "$demo/files/RANDOM.BIN"
cp "$tool" "$demo/files/TOOL.BIN" && truncate -s 300000 "$demo/files/TOOL.BIN"
run mcopy -i "$demo/diskette.raw" "$demo/files/README.TXT" "$demo/files/RANDOM.BIN" "$demo/files/TOOL.BIN" ::/
run mdir -i "$demo/diskette.raw" ::/

step "Compress the diskette to a .tvl image"
run "$tool" compress "$demo/diskette.raw" "$demo/diskette.tvl" --force

step "What the image holds"
run "$tool" info "$demo/diskette.tvl" --map

step "Verify the image against the diskette"
run "$tool" verify "$demo/diskette.tvl" "$demo/diskette.raw"

step "Convert the image back to a raw image and compare it with the original"
run "$tool" convert "$demo/diskette.tvl" "$demo/roundtrip.raw" --force
run cmp "$demo/diskette.raw" "$demo/roundtrip.raw"
echo "identical: $(stat -c %s "$demo/roundtrip.raw") bytes"

step "Compress straight to a raw .img: the diskette's bytes, which mtools reads"
run "$tool" compress "$demo/diskette.raw" "$demo/diskette.img" --force
run cmp "$demo/diskette.raw" "$demo/diskette.img"
run mdir -i "$demo/diskette.img" ::/

step "Done. Files are in $demo"
