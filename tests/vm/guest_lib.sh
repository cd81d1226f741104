# What the guest's scripts share (sourced, with the work folder as $1): the folders, the USB
# floppy drives found, the checks, and the requests to the host (see vm_test.sh).
work=$1
build=${work%/vm-work}
cli=$build/cli/tavrel-cli
img=$work/img
disk=$work/disk
tmp=/tmp/t
mkdir -p $tmp
export XDG_CONFIG_HOME=$tmp/config
mkdir -p "$XDG_CONFIG_HOME"

# The USB floppy drives are sd disks on the xhci controller's ports 1 and 2; the second one's
# diskettes are write-protected.
usb= usbro=
# usb-storage finds its disks after the module is loaded: wait for both (at most a minute).
for i in $(seq 600); do [ "$(ls -d /sys/block/sd* 2>/dev/null | wc -l)" -ge 2 ] && break; sleep 0.1; done
for b in /sys/block/sd*; do
  case $(readlink -f "$b") in
    */[0-9]-1/*) usb=/dev/${b##*/} ;;
    */[0-9]-2/*) usbro=/dev/${b##*/} ;;
  esac
done
[ -n "$usb" ] && [ -n "$usbro" ] || { echo "FAIL the USB floppy drives are missing"; ls -l /sys/block/; }

check() {  # name, then a command that must succeed; the last output is shown on failure
  local name=$1
  shift
  if "$@"; then echo "PASS $name"; else echo "FAIL $name: rc=$rc out=[$out]"; fi
}
run() {  # runs tavrel-cli, leaving the exit code in rc and both outputs in out
  out=$("$cli" "$@" 2>&1)
  rc=$?
}
has() { [[ $out == *"$1"* ]]; }
says() { echo "SAYS $1: $out"; }  # what a drive reported, for the README's table
# TAVREL_VM_CASES on the host (for example "2 5") runs only those cases.
want() { [ ! -s "$work/cases" ] || grep -qw "$1" "$work/cases"; }
# Waits without starting a process (sleep is one): the guest's one emulated CPU is slow to
# start them, and a loop that polls often would keep it busy beside the drives it waits for.
mkfifo $tmp/never 2>/dev/null
pause() { read -r -t "$1" <>$tmp/never; true; }
n=0
ask() {  # asks the host to carry out a QMP request and waits for its answer
  n=$((n + 1))
  echo "$*" >"$work/req/$n.tmp" && mv "$work/req/$n.tmp" "$work/req/$n"
  until [ -e "$work/ack/$n" ]; do pause 0.1; done
  answer=$(cat "$work/ack/$n")
  [[ $answer == *'"return"'* ]] || echo "FAIL request '$*' answered $answer"
}
insert() {  # qdev, raw image to copy in, ro|rw: a fresh copy goes into the drive
  cp "$2" "$disk/$1.raw"
  ask insert "$1" "$disk/$1.raw" "$3"
}
reads() { awk '{print $3}' "/sys/block/${1##*/}/stat"; }   # sectors read so far
writes() { awk '{print $7}' "/sys/block/${1##*/}/stat"; }  # sectors written so far
until_over() {  # waits until the stat field reaches a count, or the job in the background ends
  local i=0   # at most a minute
  while [ "$($1 "$2")" -lt "$3" ] && kill -0 "$4" 2>/dev/null && [ $((i += 1)) -le 1200 ]; do
    sleep 0.05
  done
}

# Batches on several drives: each drive's diskettes are put in slowed down, the next one as soon
# as the one before is filed, while the batches run.
declare -A dev_of=([fdd0]=/dev/fd0 [fdd1]=/dev/fd1 [u0]=$usb [u1]=$usbro)
declare -A loaded
load() {  # qdev raw-name bytes-per-second: the diskette goes in, and the drive reads at that pace
  # QEMU's floppy controller hangs when a throttled diskette is ejected: out unslowed first. A
  # USB drive stays slow through a change of medium, so a batch never reads it at full speed.
  [ "$1" = fdd0 ] && [ -n "${loaded[$1]:-}" ] && ask pull fdd0
  local mode=rw
  [ "$1" = u1 ] && mode=ro
  insert "$1" "$img/$2.raw" $mode
  # QEMU slows only a drive with a medium: a drive that was not slowed yet, or was pulled out.
  ask throttle "$1" "$3"
  loaded[$1]=$2
}
unload() {  # qdev...: unslowed and empty, for what comes next
  for q; do ask pull "$q"; unset "loaded[$q]"; done
}
count_filed() {  # folder device: how many diskettes from that drive are filed, in $filed
  local f line
  filed=0
  for f in "$1"/*.info; do
    [ -e "$f" ] || continue
    while IFS= read -r line; do
      [ "$line" = "device: $2" ] && filed=$((filed + 1)) && break
    done <"$f"
  done
}
feed() {  # folder bytes-per-second "pids" "qdev:raw raw..."...: each drive's next diskettes
  local folder=$1 bps=$2 pids=$3 plan q next
  shift 3
  local -A queue put
  for plan; do
    q=${plan%%:*} queue[$q]=${plan#*:} put[$q]=0
  done
  while :; do
    local left=0
    for q in "${!queue[@]}"; do
      next=(${queue[$q]})
      [ ${#next[@]} -gt 0 ] || continue
      left=1
      count_filed "$folder" "${dev_of[$q]}"
      [ $filed -gt ${put[$q]} ] || continue
      load "$q" "${next[0]}" "$bps"
      put[$q]=$((put[$q] + 1)) queue[$q]=${next[*]:1}
    done
    [ $left = 0 ] && return 0
    local alive=0
    for p in $pids; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ $alive = 1 ] || { echo "FAIL the batch ended before taking: ${queue[*]}"; return 1; }
    pause 0.2
  done
}
sha() { sha256sum <"$img/$1.raw" | cut -c1-64; }
filed_once() {  # case folder raw-name...: each source diskette is filed exactly once, verified
  local k=$1 folder=$2 raw
  shift 2
  for raw; do
    local infos
    infos=$(grep -lx "content-sha256: $(sha "$raw")" "$folder"/*.info 2>/dev/null)
    check "$k $raw is filed once" [ "$(echo "$infos" | grep -c .)" = 1 ]
    check "$k $raw was verified" grep -qx 'verify: same' ${infos:-/dev/null}
  done
  check "$k nothing else is filed" [ "$(ls "$folder" | grep -c '\.info$')" = $# ]
}
most_at_once() {  # folder: the most drives reading at one moment, from the info files' times
  local f
  for f in "$1"/*.info; do
    echo "$(sed -n 's/^device: //p' "$f")" \
      "$(date -d "$(sed -n 's/^started: //p' "$f")" +%s)" "$(date -d "$(sed -n 's/^ended: //p' "$f")" +%s)"
  done | awk '{ d[NR] = $1; s[NR] = $2; e[NR] = $3 }
    END {
      for (i in s) {
        n = 0
        split("", busy)
        for (j in s) if (s[j] <= s[i] && s[i] < e[j] && !(d[j] in busy)) { busy[d[j]]; n++ }
        if (n > most) most = n
      }
      print most + 0
    }'
}
report_lists() {  # case folder: report.html names every diskette filed
  local f name
  check "$1 report.html is written" [ -s "$2/report.html" ]
  for f in "$2"/*.info; do
    name=${f##*/} name=${name%.info}
    check "$1 report.html lists $name" grep -qw -- "$name" "$2/report.html"
  done
}
