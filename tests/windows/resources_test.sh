#!/usr/bin/env bash
# The dialog program's generated Windows resources (cmake/WindowsResources.cmake), as built into
# the Windows build's programs: what each program holds (wrestool), the compiled templates
# against their JSON, and the templates shown under Wine by template_view.exe, pictures and all.
# Builds nothing. Usage: resources_test.sh SOURCE_DIR TEMPLATE_VIEW_EXE [DIALOG_EXE...]
set -uo pipefail
src=$(realpath -m -- "$1")
view=$(realpath -m -- "$2")
shift 2
here=$(dirname "$(realpath "$0")")
. "$here/wine_common.sh"
need_wine "$view"
command -v wrestool >/dev/null && command -v icotool >/dev/null || skip "icoutils is missing"
command -v xvfb-run >/dev/null || skip "xvfb-run is missing (xvfb)"
command -v python3 >/dev/null || skip "python3 is missing"
for exe in "$@"; do [ -f "$exe" ] || skip "no Windows build at $exe (make windows builds it)"; done
dir=$(mktemp -d /tmp/tavrel-wine.XXXXXX)
trap 'WINEPREFIX=$dir/prefix wineserver -k >/dev/null 2>&1; rm -rf "${dir:?}"' EXIT

# What every program with the resources holds: the two templates, the string table, the icons
# with the application's first (Explorer shows the first), the bitmaps, version and manifest.
for exe in "$view" "$@"; do
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

# Under Wine: each template as the system lays it out, the pictures a load of each size picks
# (64x16 frames with 96x24 and 128x32 for high DPI, 32x32 at the default size) and a screenshot
# that must show the pictures' colours: the diskette's navy (animation, application icon), the
# file bitmap's teal and the drive bitmap's lime.
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wine_own_fonts
xvfb-run -a bash -c '
  wine cmd /c exit >/dev/null 2>&1 || exit 77
  for d in 100 102; do wine "$1" $d "Z:$2/$d.bmp" >"$2/$d.txt" 2>&1 || echo "exit $?" >>"$2/$d.txt"; done
  wineserver -w' _ "$view" "$dir"
[ $? = 77 ] && skip "wine cannot run programs here"
for d in IDD_ABOUTBOX:100 IDD_MAIN:102; do
  out=$dir/${d#*:}.txt
  ! grep -q '^exit' "$out" || fail "${d%:*} under Wine: $(cat "$out")"
  python3 "$here/resources_check.py" window "$src/resources/dialogs/${d%:*}.json" "$out" >&2 ||
    fail "${d%:*} under Wine differs from its JSON"
done
report=$(tr -d '\r' <"$dir/102.txt")
for want in '146 64x16 -> 64x16' '146 96x24 -> 96x24' '146 128x32 -> 128x32' '146 0x0 -> 32x32' \
  '168 0x0 -> 32x32' '128 0x0 -> 32x32' '128 16x16 -> 16x16' '128 48x48 -> 48x48'; do
  grep -qx "icon $want" <<<"$report" || fail "icon load: no 'icon $want'"
done
colours() {  # BMP RGB...: fails for each colour not in the 24-bit picture
  python3 - "$@" <<'EOF'
import struct, sys
d = open(sys.argv[1], "rb").read()
off, = struct.unpack("<I", d[10:14]); w, h = struct.unpack("<ii", d[18:26])
st = (w * 3 + 3) & ~3
seen = {d[off + y * st + x * 3:off + y * st + x * 3 + 3][::-1].hex() for y in range(h) for x in range(w)}
missing = [c for c in sys.argv[2:] if c not in seen]
print(" ".join(missing)); sys.exit(1 if missing else 0)
EOF
}
m=$(colours "$dir/102.bmp" 000080 008080 00ff00) || fail "IDD_MAIN's screenshot lacks colours $m"
m=$(colours "$dir/100.bmp" 000080) || fail "IDD_ABOUTBOX's screenshot lacks the icon's navy"
[ -n "${TAVREL_KEEP_SCREENSHOTS:-}" ] && cp "$dir"/10[02].bmp "$TAVREL_KEEP_SCREENSHOTS"/
[ "$failures" -eq 0 ] || exit 1
echo "OK"
