#!/usr/bin/env bash
# An unattended preset run on a bare X server with no window manager, as on a build server:
# the job runs and the dialog closes by itself; a message box it shows has the keyboard, so a
# real Return key press (xdotool) answers it, and the exit code is the job's.
# Usage: xvfb_preset_test.sh PATH_TO_TAVREL
set -uo pipefail
tavrel=$1

skip() {
  if [ "${CI:-}" = "true" ]; then echo "FAIL: $1" >&2; exit 1; fi
  echo "SKIP: $1"; exit 77
}
for tool in Xvfb xdotool mkfs.fat mcopy; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-xvfb-XXXXXX")
xvfb_pid=
tavrel_pid=
cleanup() {
  [ -n "$tavrel_pid" ] && kill "$tavrel_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own; Xvfb names it once it is ready.
exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
  display=$(head -n1 "$work/displayfd" 2>/dev/null)
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || skip "Xvfb did not start: $(cat "$work/xvfb.log")"
  sleep 0.05
done
[ -n "${display:-}" ] || skip "Xvfb gave no display"
# Its socket too: once (of many runs) a dialog started at once found no server on the display.
for _ in $(seq 1 200); do
  [ -S "/tmp/.X11-unix/X$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || skip "Xvfb ended: $(cat "$work/xvfb.log")"
  sleep 0.05
done
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config"
# Under the leak checker: what the system's D-Bus library keeps is not ours.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
mkdir -p "$XDG_CONFIG_HOME"

disk="$work/disk.raw"
mkfs.fat -C -M 0xF0 "$disk" 1440 >/dev/null 2>&1 || skip "mkfs.fat failed"
seq 1 5000 > "$work/NUMBERS.TXT"
MTOOLS_SKIP_CHECK=1 mcopy -i "$disk" "$work/NUMBERS.TXT" ::/ || skip "mcopy failed"
printf '[Drives]\nA=%s\n' "$disk" > "$XDG_CONFIG_HOME/tavrel.INI"
image="$work/Unattended.tvl"

# Starts tavrel in the background; finish waits for it (60 s at most) and sets code.
run() {
  "$tavrel" "$@" >"$work/tavrel.log" 2>&1 &
  tavrel_pid=$!
}
finish() {
  code=timeout
  for _ in $(seq 1 600); do
    if ! kill -0 "$tavrel_pid" 2>/dev/null; then
      wait "$tavrel_pid"
      code=$?
      tavrel_pid=
      return
    fi
    sleep 0.1
  done
}

# 1. No box at all: compress and close, exit 0.
run /O:COMPRESS /D:A "/F:$image" /A /N
finish
[ "$code" = 0 ] || { echo "FAIL: compress ended with $code"; cat "$work/tavrel.log"; exit 1; }
[ -s "$image" ] || { echo "FAIL: no image was written"; exit 1; }

# 2. Verify against a changed diskette: the difference box appears, Return answers it. Qt
# takes none of the arguments: -name is the no-save option, and /O:VERIFY after it counts.
printf 'X' | dd of="$disk" bs=1 seek=$((512 * 300)) conv=notrunc status=none
run -name /O:VERIFY /D:A "/F:$image" /A
focused=
box=
for _ in $(seq 1 600); do
  # The box is the second window called "Tavrel" (the newer, so the higher id). The key is
  # pressed once the box holds the keyboard focus: on a busy machine that comes a moment
  # after the box is seen.
  windows=$(xdotool search --onlyvisible --name '^Tavrel$' 2>/dev/null | sort -n)
  if [ "$(echo "$windows" | grep -c .)" -ge 2 ]; then
    box=$(echo "$windows" | tail -n1)
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$box" ] && break
  fi
  kill -0 "$tavrel_pid" 2>/dev/null || break
  sleep 0.05
done
[ -n "$box" ] || { echo "FAIL: no message box came up"; cat "$work/tavrel.log"; exit 1; }
focused=$(xdotool getwindowfocus getwindowname 2>/dev/null)
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$box" ] ||
  { echo "FAIL: the message box never took the keyboard focus (it is on '$focused')"; exit 1; }
xdotool key Return
finish
[ "$code" = 3 ] || { echo "FAIL: verify ended with $code (focus was on '$focused')"; exit 1; }
[ "$(cat "$XDG_CONFIG_HOME/tavrel.INI")" = "$(printf '[Drives]\nA=%s' "$disk")" ] ||
  { echo "FAIL: -name (no save) changed the profile file"; exit 1; }
echo "PASS: preset runs closed by themselves; the box took Return (focus on '$focused')"
