#!/usr/bin/env bash
# Packs the Windows console tool: tavrel-VERSION-windows-x86_64.zip, left in this folder, with
# the program (no DLLs beside it), the README and the licence as text, and the man page rendered
# as text, and beside it NAME.zip.sha256, its SHA-256. Usage: windows-zip.sh BUILD_DIR (the cross
# build).
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
# What the file's Properties show: the version resource with the project's version and name,
# and the icon Explorer shows (wrestool, from icoutils).
wrestool -l "$stage/tavrel-cli.exe" | grep -q 'type=version' &&
  wrestool -l "$stage/tavrel-cli.exe" | grep -q 'type=group_icon' ||
  { echo "tavrel-cli.exe has no version resource or no icon" >&2; exit 1; }
info=$(wrestool -x --raw --type=version "$stage/tavrel-cli.exe" | iconv -f UTF-16LE -t UTF-8 2>/dev/null | tr -d '\0' || true)
for want in "ProductName" "Tavrel" "FileVersion" "$version" "CompanyName" "FileDescription"; do
  grep -qF "$want" <<<"$info" || { echo "tavrel-cli.exe's version resource lacks $want" >&2; exit 1; }
done

# Notepad wants CRLF line ends.
crlf() { sed 's/$/\r/' "$1" >"$2"; }
crlf "$root/README.md" "$stage/README.txt"
crlf "$root/LICENSE" "$stage/LICENSE.txt"
scdoc <"$root/resources/man/tavrel-cli.1.scd" >"$build/zip/tavrel-cli.1"
MANWIDTH=80 man --nh -l -Tutf8 "$build/zip/tavrel-cli.1" 2>/dev/null | col -bx >"$build/zip/tavrel-cli.txt"
[ -s "$build/zip/tavrel-cli.txt" ] || { echo "the man page did not render" >&2; exit 1; }
crlf "$build/zip/tavrel-cli.txt" "$stage/tavrel-cli.txt"

rm -f "$root/$name.zip" "$root/$name.zip.sha256"
(cd "$build/zip" && zip -q -r -X "$root/$name.zip" "$name")
# The hash to publish beside the zip; certutil -hashfile NAME.zip SHA256 prints it on Windows.
(cd "$root" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "$name.zip"
cat "$root/$name.zip.sha256"
