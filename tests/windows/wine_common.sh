# Sourced by the Wine tests: how they fail and skip, and what every one of them needs.
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# A missing facility skips, under CI=true it fails, and after a failure it is one more.
skip() {
  [ "$failures" -eq 0 ] || { echo "$failures failure(s), then: $1" >&2; exit 1; }
  if [ "${CI:-}" = "true" ]; then echo "FAIL: CI=true and a facility is missing: $1" >&2; exit 1; fi
  echo "SKIP: $1"; exit 77
}
need_wine() {  # WINDOWS_CLI_EXE
  command -v wine >/dev/null || skip "wine is not installed (make test-deps installs it)"
  command -v mkfs.fat >/dev/null && command -v mcopy >/dev/null || skip "mkfs.fat or mcopy missing"
  [ -f "$1" ] || skip "no Windows build at $1 (make windows builds it)"
}
# Wine's own fonts (Debian's fonts-wine: MS Sans Serif, Tahoma, Marlett for the caption
# buttons) in the prefix's Fonts folder: Debian's Wine does not find them where the package
# puts them, and the dialogs would be drawn with a wider stand-in font.
wine_own_fonts() {
  local fonts=/usr/share/wine/fonts
  [ -d "$fonts" ] || skip "Wine's fonts are missing (make test-deps installs fonts-wine)"
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" &&
    ln -sf "$fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/"
}
