#!/usr/bin/env bash
# The dialog program's generated Windows resources (cmake/WindowsResources.cmake), as built into
# the Windows build's dialog program: what it holds (wrestool) and its compiled templates against
# their JSON. How the system lays them out, pictures and all, Windows.WineDialog checks on the
# running program. Builds nothing. Usage: resources_test.sh SOURCE_DIR DIALOG_EXE...
set -uo pipefail
src=$(realpath -m -- "$1")
shift
here=$(dirname "$(realpath "$0")")
. "$here/wine_common.sh"
command -v wrestool >/dev/null && command -v icotool >/dev/null || skip "icoutils is missing"
command -v python3 >/dev/null || skip "python3 is missing"
for exe in "$@"; do [ -f "$exe" ] || skip "no Windows build at $exe (make windows builds it)"; done
dir=$(mktemp -d /tmp/tavrel-wine.XXXXXX)
trap 'rm -rf "${dir:?}"' EXIT

# What every program with the resources holds: the two templates, the string table, the icons
# with the application's first (Explorer shows the first), the bitmaps, version and manifest.
for exe in "$@"; do
  n=$(basename "$exe")
  list=$(wrestool -l "$exe")
  has() { grep -q -- "--type=$1 --name=$2 " <<<"$list" || fail "$n: no resource type $1 name $2"; }
  has 5 100; has 5 102; has 6 7; has 16 1; has 24 1; has 2 130; has 2 131
  for id in 128 146 147 148 149 150 151 159 160 161 162 163 164 165 166 167 168; do
    has 14 $id
  done
  first=$(grep -m1 -- '--type=14 ' <<<"$list" | sed 's/.*--name=\([^ ]*\) .*/\1/')
  [ "$first" = 128 ] || fail "$n: the first icon group is $first, not the application's 128"
  sizes() { wrestool -x --type=14 --name="$1" "$exe" | icotool -l - | sed 's/.*--width=\([0-9]*\) --height=\([0-9]*\).*/\1x\2/' | sort -n | tr '\n' ' '; }
  [ "$(sizes 128)" = "16x16 32x32 48x48 " ] || fail "$n: application icon sizes $(sizes 128)"
  [ "$(sizes 151)" = "32x32 64x16 96x24 128x32 " ] || fail "$n: animation icon sizes $(sizes 151)"
  manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
  for want in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' 'PerMonitorV2, PerMonitor' \
    '>true/pm<' '>UTF-8<' '<longPathAware[^>]*>true<' 'level="asInvoker"'; do
    grep -q "$want" <<<"$manifest" || fail "$n: the manifest lacks $want"
  done
  version=$(wrestool -x --raw --type=16 --name=1 "$exe" | strings -el -n 3)
  for want in 'Tavrel diskette imaging' 'tavrel.exe' 'Tavrel'; do
    grep -qx "$want" <<<"$version" || fail "$n: the version resource lacks $want"
  done
  wrestool -x --raw --type=6 --name=7 "$exe" | strings -el -n 3 |
    grep -q '&About Tavrel...' || fail "$n: the string table lacks IDS_ABOUTBOX"
  for d in IDD_ABOUTBOX:100 IDD_MAIN:102; do
    wrestool -x --raw --type=5 --name=${d#*:} "$exe" >"$dir/${d%:*}.bin"
    python3 "$here/resources_check.py" template "$src/resources/dialogs/${d%:*}.json" \
      "$dir/${d%:*}.bin" >&2 || fail "$n: template ${d%:*} differs from its JSON"
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "OK"
