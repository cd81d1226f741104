#!/usr/bin/env bash
# Packs the Windows console tool: tavrel-VERSION-windows-x86_64.zip, left in this folder, with
# the program (no DLLs beside it), the README and the licence as text, and the man page rendered
# as text. Usage: windows-zip.sh BUILD_DIR (the cross build).
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Tavrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=tavrel-$version-windows-x86_64
stage=$build/zip/$name
rm -rf "$build/zip" && mkdir -p "$stage"

x86_64-w64-mingw32-strip -o "$stage/tavrel-cli.exe" "$build/cli/tavrel-cli.exe"
# Only the system's own DLLs: the C and C++ runtimes and winpthread are linked in.
extra=$(x86_64-w64-mingw32-objdump -p "$stage/tavrel-cli.exe" | sed -n 's/^\s*DLL Name: //p' |
  grep -viE '^(kernel32|msvcrt|user32|advapi32|shell32|ws2_32|bcrypt)\.dll$' || true)
[ -z "$extra" ] || { echo "tavrel-cli.exe needs DLLs that Windows lacks: $extra" >&2; exit 1; }

# Notepad wants CRLF line ends.
crlf() { sed 's/$/\r/' "$1" >"$2"; }
crlf "$root/README.md" "$stage/README.txt"
crlf "$root/LICENSE" "$stage/LICENSE.txt"
scdoc <"$root/resources/man/tavrel-cli.1.scd" >"$build/zip/tavrel-cli.1"
MANWIDTH=80 man --nh -l -Tutf8 "$build/zip/tavrel-cli.1" 2>/dev/null | col -bx >"$build/zip/tavrel-cli.txt"
[ -s "$build/zip/tavrel-cli.txt" ] || { echo "the man page did not render" >&2; exit 1; }
crlf "$build/zip/tavrel-cli.txt" "$stage/tavrel-cli.txt"

rm -f "$root/$name.zip"
(cd "$build/zip" && zip -q -r -X "$root/$name.zip" "$name")
echo "$name.zip"
