#!/usr/bin/env bash
# The command batch runs after each diskette, through cmd.exe under Wine, and the description of
# an image file standing in for a drive: tests/windows/each_probe.cpp prints what the Windows
# build's own code gives. An identifier and a label text that try to run commands of their own
# run nothing and reach the command as they are, through Wine's cmd.exe and through the probe
# standing in for Windows' (which reads %NAME% before & | < >, where Wine's reads it after).
# Usage: wine_each_test.sh EACH_PROBE_EXE
set -uo pipefail
exe=$(realpath -m -- "$1")
. "$(dirname "$0")/wine_common.sh"
need_wine "$exe"
dir=$(mktemp -d /tmp/tavrel-wine.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1; rm -rf "${dir:?}"' EXIT
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wine cmd /c exit >/dev/null 2>&1 || skip "wine cannot run programs here"
head -c 1474560 /dev/zero >"$dir/drive.img"
# The hostile diskette's folder: its image's path is as awkward as a folder's may be.
box="$dir/work/box & 50% ^ (1)"
mkdir -p "$box" && printf 'image bytes' >"$box/disk-001.tvl"
# A TAVREL_ variable the probe was started with is replaced by the diskette's, not repeated.
out=$(cd "$dir/work" &&
  TAVREL_NAME=stale wine "$exe" 'C:\box\' "Z:$dir/drive.img" "Z:${box//\//\\}" 2>&1 | tr -d '\r')
echo "$out"
line() { grep "^$1: " <<<"$out" | sed "s/^$1: //"; }

told=$(line told)
for want in 'TAVREL_NAME=disk-001' 'TAVREL_IDENTIFIER=ACC 7' 'TAVREL_RESULT=done' \
            'TAVREL_DRIVE=A:' 'TAVREL_FOLDER=C:\box' 'TAVREL_IMAGE=C:\box\disk-001.tvl' \
            'TAVREL_INFO=C:\box\disk-001.info'; do
  grep -qF "|$want|" <<<"|$told|" || fail "not told $want: $told"
done
[ "$(grep -o 'TAVREL_NAME=' <<<"$told" | wc -l)" = 1 ] || fail "TAVREL_NAME twice: $told"
[ -z "$(line 'told failure')" ] || fail "set failed: $(line 'told failure')"
[ "$(line 'failed output')" = "printing|no paper |" ] || fail "output: $(line 'failed output')"
[ "$(line 'failed failure')" = "exited with status 3: no paper" ] ||
  fail "failure: $(line 'failed failure')"
line 'missing failure' | grep -q '^exited with status [1-9]' ||
  fail "a missing command: $(line 'missing failure')"
[ "$(line kind)" = "image file" ] || fail "kind: $(line kind)"

for where in wine windows; do
  for case in percent quoted delayed stray copy set; do
    [ "$(line "$where $case")" = intact ] || fail "$where $case: $(line "$where $case")"
  done
  [ "$(line "$where zero byte")" = cut ] || fail "$where zero byte: $(line "$where zero byte")"
done
ran=$(find "$dir/work" -iname '*pwned*' -o -iname 'label.txt')
[ -z "$ran" ] || fail "a value was run as a command: $ran"
[ "$failures" -eq 0 ] || exit 1
echo "OK"
