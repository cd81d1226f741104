#!/usr/bin/env bash
# batch and Ctrl+C of the Windows console tool under Wine. The test swaps the diskette behind
# A: (the prefix's dosdevices link) the way a user swaps diskettes, and Ctrl+C is the SIGINT
# that Wine turns into the console's CTRL_C_EVENT.
# Usage: wine_batch_test.sh LINUX_CLI WINDOWS_CLI_EXE FAULTY_FS
set -uo pipefail
# Made absolute: the test works in a folder of its own.
linux=$(realpath -m -- "$1")
exe=$(realpath -m -- "$2")
faultyfs=$(realpath -m -- "$3")

. "$(dirname "$0")/wine_common.sh"
need_wine "$exe"
[ -x "$linux" ] && [ -x "$faultyfs" ] || skip "user $(id -un) cannot run $linux or $faultyfs"

dir=$(mktemp -d /tmp/tavrel-winebatch.XXXXXX) || exit 1
mnt=$dir/mnt
cleanup() {
  [ -n "${fuse_pid:-}" ] && { fusermount3 -u "$mnt" 2>/dev/null || umount "$mnt"; wait "$fuse_pid"; }
  wineserver -k >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wine cmd /c exit >/dev/null 2>&1 || skip "wine cannot run programs here"
wine "$exe" --version >/dev/null 2>&1 || skip "wine cannot run $exe"
work=$dir/work
mkdir -p "$work" "$dir/a-root" "$dir/b-root"
cd "$work" || exit 1
# A: is a drive the system has, as a diskette drive's letter is with or without a diskette
# (a:), and the device behind it is the diskette image (a::) or nothing.
ln -sfn "$dir/a-root" "$WINEPREFIX/dosdevices/a:"
ln -sfn "$dir/b-root" "$WINEPREFIX/dosdevices/b:"
# Wine's mount manager reads the letters when it starts.
wineserver -k
insert() { ln -sfn "$1" "$WINEPREFIX/dosdevices/a::"; }
eject() { ln -sfn "$work/no-diskette" "$WINEPREFIX/dosdevices/a::"; }

make_floppy() {  # PATH KB LABEL
  mkfs.fat -C -n "$3" "$1" "$2" >/dev/null &&
    seq 1 "$2" >"$work/numbers.txt" &&
    MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$work/numbers.txt" ::NUMBERS.TXT
}
# Waits for a line of the tool's output, 60 s at most; the tool's end is a failure.
wait_for() {  # FILE PATTERN PID
  for _ in $(seq 600); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || break
    sleep 0.1
  done
  fail "no \"$2\" from the tool: $(cat "$1")"
  kill "$3" 2>/dev/null
  return 1
}

make_floppy one.img 1440 ONE && make_floppy two.img 720 TWO && make_floppy three.img 360 THREE ||
  { fail "mkfs.fat"; exit 1; }
for n in one two three; do "$linux" -q compress "$n.img" "$n.tvl" || fail "Linux compress of $n"; done

# Two diskettes: the second is put in only after the tool asked for it, the first taken out.
insert "$work/one.img"
wine "$exe" batch A: box --count 2 --hash md5,sha256 </dev/null >out.txt 2>err.txt &
pid=$!
wait_for err.txt "Remove the diskette, insert the next one (Ctrl+Z, Enter ends the batch)" $pid &&
  { eject; insert "$work/two.img"; }
wait_for err.txt "Batch ended" $pid
wait $pid; code=$?
[ $code = 0 ] || fail "batch of two: exit code $code: $(cat err.txt)"
grep -q "^Batch ended: 2 done, 0 failed" err.txt || fail "batch of two: $(cat err.txt)"
cmp -s box/disk-001.tvl one.tvl || fail "disk-001.tvl is not what the Linux build compresses"
cmp -s box/disk-002.tvl two.tvl || fail "disk-002.tvl is not what the Linux build compresses"
"$linux" check box >check.txt 2>&1 || fail "check of the batch folder: $(cat check.txt)"
(cd box && sha256sum --quiet -c manifest-sha256.txt && md5sum --quiet -c manifest-md5.txt) ||
  fail "the manifests do not match the folder"
grep -qx 'volume-label: TWO' box/disk-002.info || fail "disk-002.info: $(cat box/disk-002.info)"

# Two drives at once, each with its own diskette: each is filed once, and only the filed lines
# are written off a console.
insert "$work/one.img"
ln -sfn "$work/two.img" "$WINEPREFIX/dosdevices/b::"
wine "$exe" batch A: B: both </dev/null >out.txt 2>err.txt
code=$?
[ $code = 0 ] && grep -q "^Batch ended: 2 done, 0 failed" err.txt || fail "A: and B: at once: $code $(cat err.txt)"
[ "$(grep -c ': done, ' out.txt)" = 2 ] && grep -q '^A:  disk-00[12]: done' out.txt &&
  grep -q '^B:  disk-00[12]: done' out.txt || fail "A: and B: at once: $(cat out.txt)"
sums=$(cat both/*.info | grep '^content-sha256' | sort | tr -d '\r')
want=$(for n in one two; do echo "content-sha256: $(sha256sum <"$n.img" | cut -c1-64)"; done | sort)
[ "$sums" = "$want" ] || fail "A: and B: at once filed $sums"
"$linux" check both >check.txt 2>&1 || fail "check of the two drives' folder: $(cat check.txt)"

# The end of standard input (a pipe closed; at the console Ctrl+Z, Enter) ends the batch
# between diskettes, and a new run goes on with the next number.
mkfifo input
insert "$work/three.img"
wine "$exe" batch A: box --hash sha256 <input >out.txt 2>err.txt &
pid=$!
exec 3>input
wait_for err.txt "Remove the diskette" $pid && exec 3>&-
wait_for err.txt "Batch ended" $pid
wait $pid; code=$?
[ $code = 0 ] && grep -q "^Batch ended: 1 done" err.txt || fail "end of input: $code $(cat err.txt)"
cmp -s box/disk-003.tvl three.tvl || fail "disk-003.tvl is not what the Linux build compresses"
"$linux" check box >check.txt 2>&1 || fail "check after a second run: $(cat check.txt)"

# Ctrl+C in the middle of a compress from a slow drive (every read waits 50 ms): the job is
# cancelled, with Linux's exit code, and leaves nothing in the folder.
echo "delay 50" >plan
mkdir -p "$mnt"
"$faultyfs" "$work/one.img" "$mnt" "$work/plan" 2>fuse.txt &
fuse_pid=$!
for _ in $(seq 100); do
  [ -f "$mnt/disk.img" ] && break
  kill -0 $fuse_pid 2>/dev/null || break
  sleep 0.1
done
[ -f "$mnt/disk.img" ] || { unset fuse_pid; skip "FUSE is not usable here: $(cat fuse.txt)"; }
insert "$mnt/disk.img"
reads() { sed -n 's/^reads //p' "$mnt/stats"; }
cancelled() {  # NAME COMMAND...: runs a compress into folder NAME, SIGINT once it reads tracks
  local name=$1 before; shift
  mkdir "$name"
  before=$(reads)
  "$@" >"$name.err" 2>&1 &
  local tool=$!
  for _ in $(seq 600); do
    [ "$(reads)" -gt $((before + 4)) ] && break
    kill -0 $tool 2>/dev/null || break
    sleep 0.1
  done
  kill -INT $tool
  wait $tool
}
cancelled win wine "$exe" compress A: win/new.tvl; w=$?
cancelled lin "$linux" compress "$mnt/disk.img" lin/new.tvl; l=$?
[ $w = $l ] && [ $l = 1 ] || fail "Ctrl+C: exit code $w under Wine, $l on Linux: $(cat win.err)"
[ "$(tr -d '\r' <win.err)" = "$(cat lin.err)" ] || fail "Ctrl+C: $(cat win.err) against $(cat lin.err)"
[ -z "$(ls -A win)" ] || fail "Ctrl+C left files behind: $(ls -A win)"

[ $failures -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "PASS: batch of two diskettes swapped under Wine, two drives at once, end of input and Ctrl+C as on Linux"
