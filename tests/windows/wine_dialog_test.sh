#!/usr/bin/env bash
# The Windows dialog (tavrel.exe) under Wine on a bare X server, worked from outside by the
# probe (tavrel-dialog-probe.exe) as a user would: preset jobs on diskette images behind A:
# (the prefix's dosdevices link) against the Linux tool's images, its message boxes read and
# answered with a key, the profile it writes, its texts and places against the templates, and
# screenshots for the docs into $TAVREL_SCREENSHOT_DIR when that is set.
# Usage: wine_dialog_test.sh LINUX_CLI WINDOWS_BUILD_DIR [FAULTY_FS]
set -uo pipefail
linux=$(realpath -m -- "$1")  # absolute: the test works in a folder of its own
wbuild=$(realpath -m -- "$2")
faultyfs=$(realpath -m -- "${3:-$(dirname "$linux")/../drive/emulation/tavrel-practice-drive}")
exe=$wbuild/app/windows/tavrel.exe
probe_exe=$wbuild/tests/windows/tavrel-dialog-probe.exe
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

. "$here/wine_common.sh"
need_wine "$exe"
[ -f "$probe_exe" ] || skip "no probe at $probe_exe (make windows builds it)"
[ -x "$linux" ] || skip "user $(id -un) cannot run $linux"
command -v python3 >/dev/null || skip "python3 is missing (to read the templates)"
# A display of our own, for this script and everything it starts.
if [ -z "${TAVREL_DIALOG_TEST_DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null && command -v Xvfb >/dev/null ||
    skip "xvfb-run or Xvfb is not installed (package xvfb)"
  exec env TAVREL_DIALOG_TEST_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

dir=$(mktemp -d /tmp/tavrel-winedlg.XXXXXX) || exit 1
mnt=$dir/mnt
tavrel_pid=
fuse_pid=
cleanup() {
  [ -n "$tavrel_pid" ] && kill "$tavrel_pid" 2>/dev/null
  [ -n "$fuse_pid" ] && { fusermount3 -u "$mnt" 2>/dev/null || umount "$mnt"; wait "$fuse_pid"; }
  wineserver -k >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wine cmd /c exit >/dev/null 2>&1 || skip "wine cannot run programs here"
wine_own_fonts
# With no window manager Wine draws the captions itself, so that the screenshots show them.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
work=$dir/work
mkdir -p "$work" "$dir/a-root"
cd "$work" || exit 1
# A: is a drive the system has (a:), the diskette image behind it the device (a::); the mount
# manager reads the letters when the server starts, and the server then stays to the end.
ln -sfn "$dir/a-root" "$WINEPREFIX/dosdevices/a:"
wineserver -k; wineserver -p
insert() { ln -sfn "$1" "$WINEPREFIX/dosdevices/a::"; }
probe() { wine "$probe_exe" "$@" 2>>probe.err | tr -d '\r'; return "${PIPESTATUS[0]}"; }
shots=${TAVREL_SCREENSHOT_DIR:-}
[ -z "$shots" ] || mkdir -p "$shots" || fail "cannot make $shots"
shot() {  # NAME PROBE-SELECTOR...: a screenshot for the docs, where they are wanted
  [ -n "$shots" ] || return 0
  local name=$1; shift
  probe shot "$@" "$(winepath -w "$shots/$name.png")" >/dev/null || fail "screenshot $name"
}
# The main dialog, and a box of the dialog's own (caption Tavrel, no Start button).
main=(--caption Tavrel --class '#32770' --has 1017)
box=(--caption Tavrel --class '#32770' --lacks 1017)

# Starts tavrel.exe in the background; finish waits for it (60 s at most) and sets code.
run() { wine "$exe" "$@" >tavrel.log 2>&1 & tavrel_pid=$!; }
finish() {
  code=timeout
  for _ in $(seq 600); do
    if ! kill -0 "$tavrel_pid" 2>/dev/null; then
      wait "$tavrel_pid"; code=$?; tavrel_pid=
      return
    fi
    sleep 0.1
  done
  fail "tavrel.exe $* did not end in 60 s: $(probe list)"
  kill "$tavrel_pid"; wait "$tavrel_pid"; tavrel_pid=
}
expect() { [ "$code" = "$1" ] || fail "$2: exit code $code, expected $1: $(cat tavrel.log)"; }
same() { cmp -s "$1" "$2" || fail "$3: $1 and $2 differ"; }
win() { winepath -w "$work/$1"; }

make_floppy() {  # PATH
  mkfs.fat -C -M 0xF0 "$1" 1440 >/dev/null &&
    seq 1 20000 >"$work/numbers.txt" &&
    MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$work/numbers.txt" ::NUMBERS.TXT
}
make_floppy disk.img || { fail "mkfs.fat"; exit 1; }
"$linux" -q compress disk.img lin.tvl && "$linux" -q compress --no-compression disk.img lin-u.tvl ||
  fail "the Linux compress"
appdata=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
ini=$(winepath -u "$appdata\\tavrel.INI")
[ -n "$appdata" ] || fail "no %APPDATA% in the prefix"

# --- Compress: the image is the Linux tool's; the options and recent lists are saved ---
insert "$work/disk.img"
run /O:COMPRESS /D:A "/F:$(win x.tvl)" /A
finish compress; expect 0 "compress"
same x.tvl lin.tvl "compress against the Linux tool's image"
printf '[Options]\nCompression=1\nAutoClose=1\nOperation=0\n[Drive Letters]\nEntry0=A\n[File Names]\nEntry0=%s\n' \
  "$(win x.tvl)" >ini.expected
tr -d '\r' <"$ini" 2>/dev/null | grep -v '^$' >ini.actual
same ini.actual ini.expected "the saved settings (diff: $(diff ini.expected ini.actual | tr '\n' ' '))"
# /U without compression, /N with the profile left byte for byte
cp "$ini" ini.before
run /O:COMPRESS /U /D:A "/F:$(win u.tvl)" /A /N
finish; expect 0 "compress /U"
same u.tvl lin-u.tvl "compress /U against the Linux tool's --no-compression"
same "$ini" ini.before "/N: the profile"

# --- Verify: the same diskette, and one with a file changed, whose box a key answers ---
run /O:VERIFY /D:A "/F:$(win x.tvl)" /A /N
finish; expect 0 "verify of the same diskette"
cp disk.img changed.img
seq 1 20000 | sed 's/7/8/' >numbers.txt
MTOOLS_SKIP_CHECK=1 mcopy -o -i changed.img numbers.txt ::NUMBERS.TXT || fail "mcopy"
insert "$work/changed.img"
run /O:VERIFY /D:A "/F:$(win x.tvl)" /A /N
if probe msgbox "${box[@]}" >box.txt; then
  grep -qx $'icon\tinformation' box.txt || fail "the difference box: not the information icon: $(cat box.txt)"
  grep -qx $'text\t  x.tvl and A: are NOT the same! ' box.txt ||
    fail "the difference box's text: $(cat box.txt)"
  shot difference-box "${box[@]}"
  probe key "${box[@]}" return >/dev/null || fail "no key press reached the difference box"
else
  fail "verify of a changed diskette: no box came up: $(probe list)"
fi
finish; expect 3 "verify of a changed diskette"

# --- A missing file to expand: the error box, and the dialog stays ---
insert "$work/disk.img"
missing=$(win missing.tvl)
run /O:EXPAND /D:A "/F:$missing" /N
if probe msgbox "${box[@]}" >box.txt; then
  # The probe writes a backslash as two.
  grep -qxF "$(printf 'text\t  Could not locate file: %s ' "${missing//\\/\\\\}")" box.txt ||
    fail "the missing file's box: $(cat box.txt)"
  grep -qx $'icon\terror' box.txt || fail "the missing file's box: not the error icon: $(cat box.txt)"
  grep -qx $'button\t1\tOK' box.txt || fail "the missing file's box: not one OK button: $(cat box.txt)"
  probe key "${box[@]}" return >/dev/null || fail "no key press reached the missing file's box"
  probe gone "${box[@]}" --timeout 10 || fail "the missing file's box stayed after Return"
  probe wait "${main[@]}" --timeout 1 >/dev/null || fail "the dialog closed after the missing file"
else
  fail "expand of a missing file: no box came up: $(probe list)"
fi

# --- The texts and places against the templates, the About box, the system menu ---
version=$("$linux" --version | sed -n 's/^tavrel-cli //p')
size() { python3 -c 'import json,sys; print(*json.load(open(sys.argv[1]))["size"])' "$1"; }
probe dump "${main[@]}" --dlu $(size "$source_dir/resources/dialogs/IDD_MAIN.json") >main.tsv ||
  fail "no dump of the main dialog"
python3 "$here/dialog_dump_check.py" "$source_dir/resources/dialogs/IDD_MAIN.json" main.tsv >check.txt ||
  fail "the main dialog against IDD_MAIN.json: $(cat check.txt)"
shot main-idle "${main[@]}"
about=(--caption "About Tavrel" --class '#32770')
probe syscommand "${main[@]}" 16 || fail "WM_SYSCOMMAND 16 not posted"
if probe dump "${about[@]}" --timeout 10 \
     --dlu $(size "$source_dir/resources/dialogs/IDD_ABOUTBOX.json") >about.tsv; then
  python3 "$here/dialog_dump_check.py" "$source_dir/resources/dialogs/IDD_ABOUTBOX.json" \
    about.tsv "$version" >check.txt || fail "the About box against IDD_ABOUTBOX.json: $(cat check.txt)"
  shot about "${about[@]}"
  probe key "${about[@]}" return >/dev/null; probe gone "${about[@]}" --timeout 10 ||
    fail "Return did not close the About box"
else
  fail "WM_SYSCOMMAND 16 opened no About box: $(probe list)"
fi
about_item=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["101"])' \
  "$source_dir/resources/strings.json")
if probe sysmenu "${main[@]}" >menu.txt; then
  [ "$(tail -n 1 menu.txt)" = "$(printf '16\t%s' "$about_item")" ] ||
    fail "the system menu's last item: $(tail -n 1 menu.txt)"
else
  # Wine lets no process read another's menus: the last item is chosen from the keyboard (Up
  # from the top wraps to it), and the About box must come up; the item's text is in the
  # screenshot only.
  echo "NOTE: the system menu's text cannot be read here; its last item is chosen by key"
  probe key "${main[@]}" alt+space >/dev/null && probe wait --class '#32768' --timeout 10 >/dev/null ||
    fail "Alt+Space opened no system menu"
  shot system-menu --class '#32768'
  probe key "${main[@]}" up >/dev/null && probe key "${main[@]}" return >/dev/null
  probe wait "${about[@]}" --timeout 10 >/dev/null || fail "the system menu's last item is not About"
  probe key "${about[@]}" escape >/dev/null; probe gone "${about[@]}" --timeout 10
fi
probe click "${main[@]}" 2 || fail "no Close button"
finish; [ "$code" != timeout ] || fail "Close did not close the dialog"

# --- Expand onto a blank diskette: the original comes back ---
mkfs.fat -C -M 0xF0 blank.img 1440 >/dev/null
insert "$work/blank.img"
run /O:EXPAND /D:A "/F:$(win x.tvl)" /A /N
finish; expect 0 "expand"
same blank.img disk.img "expand against the original diskette"

# --- A slow drive (every read waits 30 ms): the dialog in the middle of a job ---
if [ -x "$faultyfs" ] && [ -e /dev/fuse ]; then
  echo "delay 30" >plan
  mkdir -p "$mnt"
  "$faultyfs" "$work/disk.img" "$mnt" "$work/plan" 2>fuse.txt &
  fuse_pid=$!
  for _ in $(seq 100); do
    [ -f "$mnt/disk.img" ] && break
    kill -0 "$fuse_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -f "$mnt/disk.img" ]; then
    insert "$mnt/disk.img"
    reads() { sed -n 's/^reads //p' "$mnt/stats"; }
    before=$(reads)
    run /O:COMPRESS /D:A "/F:$(win slow.tvl)" /A /N
    for _ in $(seq 600); do
      [ "$(reads)" -gt $((before + 40)) ] && break
      kill -0 "$tavrel_pid" 2>/dev/null || break
      sleep 0.1
    done
    shot main-job "${main[@]}"
    finish; expect 0 "compress from a slow drive"
    same slow.tvl lin.tvl "compress from a slow drive"
  else
    fail "FUSE is not usable here: $(cat fuse.txt)"
  fi
else
  echo "NOTE: no mid-job screenshot: $faultyfs or /dev/fuse missing"
fi

[ -s probe.err ] && [ $failures -gt 0 ] && echo "probe: $(cat probe.err)" >&2
[ $failures -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "PASS: the Windows dialog's preset jobs, boxes, settings and texts under Wine"
