#!/usr/bin/env bash
# Packs the Windows programs, the console tool and the dialog: tavrel-VERSION-windows-x86_64.zip,
# left in this folder, with the programs (no DLLs beside them), the README, the Windows page and
# its real-machine checklist and the licence as text, and the man page rendered as text, and
# beside it NAME.zip.sha256, its SHA-256. Usage: windows-zip.sh BUILD_DIR (the cross build).
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Tavrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=tavrel-$version-windows-x86_64
stage=$build/zip/$name
rm -rf "$build/zip" && mkdir -p "$stage"

# Strips a program into the stage and checks what Windows will make of it. PROGRAM SOURCE
# EXTRA_DLLS (a regex alternation of the system DLLs it may need beyond the console tool's).
pack_program() {
  local exe=$1 src=$2 allowed="kernel32|msvcrt|user32|advapi32|shell32|ws2_32|bcrypt${3:+|$3}"
  x86_64-w64-mingw32-strip -o "$stage/$exe" "$src"
  # Only the system's own DLLs: the C and C++ runtimes and winpthread are linked in.
  local extra
  extra=$(x86_64-w64-mingw32-objdump -p "$stage/$exe" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE "^($allowed)\.dll$" || true)
  [ -z "$extra" ] || { echo "$exe needs DLLs that Windows lacks: $extra" >&2; exit 1; }
  # What the file's Properties show: the version resource with the project's version and name,
  # and the icon Explorer shows (wrestool, from icoutils).
  wrestool -l "$stage/$exe" | grep -q 'type=version' &&
    wrestool -l "$stage/$exe" | grep -q 'type=group_icon' ||
    { echo "$exe has no version resource or no icon" >&2; exit 1; }
  local info
  info=$(wrestool -x --raw --type=version "$stage/$exe" | iconv -f UTF-16LE -t UTF-8 2>/dev/null | tr -d '\0' || true)
  for want in "ProductName" "Tavrel" "FileVersion" "$version" "CompanyName" "FileDescription"; do
    grep -qF "$want" <<<"$info" || { echo "$exe's version resource lacks $want" >&2; exit 1; }
  done
}
pack_program tavrel-cli.exe "$build/cli/tavrel-cli.exe"
# The dialog: the common controls and dialogs, and drawing its icons.
pack_program tavrel.exe "$build/app/windows/tavrel.exe" "comctl32|comdlg32|gdi32|ole32"

# Notepad wants CRLF line ends.
crlf() { sed 's/$/\r/' "$1" >"$2"; }
crlf "$root/README.md" "$stage/README.txt"
crlf "$root/docs/windows.md" "$stage/windows.txt"
crlf "$root/docs/windows-checklist.md" "$stage/windows-checklist.txt"
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
