#!/usr/bin/env bash
# tavrel-practice-drive as the tutorial's reader uses it: its usage, the faults its options
# name read back sector by sector, and fusermount3 -u stopping it.
# Usage: practice_drive_test.sh TAVREL_PRACTICE_DRIVE
set -uo pipefail
drive=$(realpath -- "$1")

skip() {
  if [ "${CI:-}" = "true" ]; then echo "FAIL: CI=true and $1" >&2; exit 1; fi
  echo "SKIP: $1"; exit 77
}
fail() { echo "FAIL: $*"; exit 1; }

# Usage errors: exit code 64 with the usage line; --help: 0.
"$drive" --help | grep -q "^Usage: tavrel-practice-drive" || fail "--help shows no usage line"
for args in "" "one.img" "a.img b --bad x" "a.img b --bad 5-3" "a.img b --weak 300" \
            "a.img b --weak 300:0" "a.img b plan --plan plan"; do
  # shellcheck disable=SC2086
  out=$("$drive" $args 2>&1)
  code=$?
  [ "$code" = 64 ] || fail "'$args' ended with $code, not 64: $out"
  grep -q "tavrel-practice-drive" <<<"$out" || fail "'$args' does not say who speaks: $out"
done

[ -e /dev/fuse ] || skip "/dev/fuse is missing"
command -v fusermount3 >/dev/null || skip "fusermount3 is not installed (package fuse3)"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-practice-XXXXXX")
cleanup() {
  mountpoint -q "$work/drive" && fusermount3 -u -z "$work/drive"
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || fail "no scratch folder"

"$drive" missing.img drive 2>err.txt
[ $? = 1 ] || fail "a missing image does not end with 1"
grep -q "missing.img: No such file or directory" err.txt || fail "no reason: $(cat err.txt)"

# Every sector holds its own number, so a read shows which sector it got.
for n in $(seq 0 2879); do printf '%-512s' "$n"; done >diskette.img
timeout 30 "$drive" diskette.img drive --bad 100-103 --weak 300:2 ||
  fail "the drive did not start, or did not go into the background once mounted"
# It returned once mounted: the disk is there at once, with the image's size.
[ "$(stat -c %s drive/disk.img)" = 1474560 ] || fail "drive/disk.img is not the image's size"
sector() { dd if=drive/disk.img bs=512 skip="$1" count=1 status=none 2>/dev/null | tr -d ' '; }
[ "$(sector 99)" = 99 ] || fail "sector 99 does not read"
for n in 100 103; do
  sector "$n" >/dev/null && fail "sector $n reads, though --bad 100-103"
done
[ "$(sector 104)" = 104 ] || fail "sector 104 does not read"
sector 300 >/dev/null && fail "weak sector 300 reads at the first try"
sector 300 >/dev/null && fail "weak sector 300 reads at the second try"
[ "$(sector 300)" = 300 ] || fail "weak sector 300 does not read at the third try"
grep -q "^failed 4$" drive/stats || fail "stats: $(cat drive/stats)"
# Writes reach the image.
printf '%-512s' written | dd of=drive/disk.img bs=512 seek=5 conv=notrunc status=none ||
  fail "a write failed"
[ "$(dd if=diskette.img bs=512 skip=5 count=1 status=none | tr -d ' ')" = written ] ||
  fail "the write did not reach the image"
fusermount3 -u drive || fail "fusermount3 -u did not stop the drive"
mountpoint -q drive && fail "still mounted after fusermount3 -u"
echo "PASS: the practice drive fails exactly the sectors named, and stops"
