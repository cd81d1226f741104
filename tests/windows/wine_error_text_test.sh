#!/usr/bin/env bash
# The texts the Windows build gives for system codes, under Wine: tests/windows/error_text.cpp
# prints them through the program's own paths. Usage: wine_error_text_test.sh ERROR_TEXT_EXE
set -uo pipefail
exe=$(realpath -m -- "$1")
. "$(dirname "$0")/wine_common.sh"
need_wine "$exe"
dir=$(mktemp -d /tmp/tavrel-wine.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1; rm -rf "${dir:?}"' EXIT
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wine cmd /c exit >/dev/null 2>&1 || skip "wine cannot run programs here"
out=$(wine "$exe" 2>&1 | tr -d '\r')
echo "$out"
line() { grep "^$1: " <<<"$out"; }

# Wine's texts are shorter than Windows' ("Wrong disk." for "The wrong diskette is in the
# drive. Insert %2 ..."): what is checked is whose text it is. A text with inserts is still the
# system's, inserts and all, never "Unknown error N".
line 'wrong disk' | grep -qi 'disk' && ! line 'wrong disk' | grep -q 'Unknown error' ||
  fail "ERROR_WRONG_DISK: $(line 'wrong disk')"
line 'disk change' | grep -q 'disk.*%1' || fail "ERROR_DISK_CHANGE: $(line 'disk change')"
# A name the system refuses is no missing file, and says so in the system's words.
line 'invalid name' | grep -q '^invalid name: -1 not-ENOENT .*name' &&
  ! line 'invalid name' | grep -qi 'no such file\|invalid argument' ||
  fail "ERROR_INVALID_NAME: $(line 'invalid name')"
# strerror of the C library's own errno values: the system's texts, not the C library's English
# ("No such file or directory", "Not a directory").
line ENOENT | grep -qi 'not find\|not found' && ! line ENOENT | grep -qi 'no such file' ||
  fail "strerror(ENOENT): $(line ENOENT)"
line ENOTDIR | grep -qi 'directory name' || fail "strerror(ENOTDIR): $(line ENOTDIR)"
[ "$failures" -eq 0 ] || exit 1
echo "OK"
