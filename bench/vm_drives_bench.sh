#!/usr/bin/env bash
# How batch keeps several drives busy at once: in the test machine of tests/vm/vm_test.sh, every
# drive is slowed by QEMU's block throttling to a real 1.44 MB drive's pace, then
#   one:   the floppy driver's drive, three diskettes swapped through QMP, one batch;
#   three: that drive and both USB floppies, three diskettes each, one batch.
# Three drives should take hardly longer than one (the goal: at most 1.3 times), and the tool's
# CPU time per diskette says how many drives one core keeps busy.
#
#   vm_drives_bench.sh SOURCE_DIR BUILD_DIR [BYTES-PER-SECOND]
# The pace defaults to 46080 bytes a second: a 1.44 MB drive turns at 300 rpm, and a track side
# of 18 sectors of 512 bytes passes under its head once a turn, so no real drive reads faster
# (1.44 MB in 32 s; a real one steps between tracks too and takes 40-50 s). A quicker pace
# scales the runs down for a trial; the figures then say less about real drives.
set -uo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
pace=${3:-46080}
log=$build/vm-work/guest.log

TAVREL_VM_SCRIPT=$src/bench/vm_drives_guest.sh TAVREL_VM_ARGS=$pace \
  TAVREL_VM_TIMEOUT=${TAVREL_VM_TIMEOUT:-1800} "$src/tests/vm/vm_test.sh" "$src" "$build"
status=$?
[ $status = 0 ] || exit $status

field() { sed -n "s/^BENCH $1 .*[ ]$2=\([^ ]*\).*/\1/p" "$log"; }
for run in one three; do
  [ -n "$(field $run wall)" ] || { echo "FAIL: no figures for the run $run in $log"; exit 1; }
done
awk -v pace=$pace -v w1="$(field one wall)" -v w3="$(field three wall)" \
  -v c1="$(field one user) $(field one sys)" -v c3="$(field three user) $(field three sys)" \
  -v b1="$(field one cpu-busy)" -v b3="$(field three cpu-busy)" 'BEGIN {
  split(c1, a); split(c3, b)
  cpu1 = (a[1] + a[2]) / 3; cpu3 = (b[1] + b[2]) / 9
  printf "Pace: %d bytes a second a drive (a 1.44 MB diskette read in %.0f s)\n", pace, 1474560 / pace
  printf "One drive, 3 diskettes:    %6.1f s (%.1f s a diskette), CPU %.2f s a diskette, machine busy %.0f%%\n",
    w1, w1 / 3, cpu1, b1 * 100
  printf "Three drives, 9 diskettes: %6.1f s, CPU %.2f s a diskette, machine busy %.0f%%\n",
    w3, cpu3, b3 * 100
  printf "Three drives take %.2f times as long as one (goal: at most 1.3)\n", w3 / w1
  printf "One core keeps %.0f drives busy (wall time a diskette / CPU time a diskette)\n", (w1 / 3) / cpu1
  exit (w3 / w1 > 1.3) ? 1 : 0
}'
