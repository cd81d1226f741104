#!/bin/bash
# The drives benchmark inside the test machine (run by bench/vm_drives_bench.sh through
# tests/vm/vm_test.sh): every drive slowed to the pace in the work folder's args (bytes a
# second), one batch on the floppy driver's drive with three 1.44 MB diskettes swapped through
# QMP, then one batch on it and the two USB floppies with three each. Prints a BENCH line for
# each run: wall time, the tool's CPU time, and how busy the machine's one CPU was.
. "${BASH_SOURCE%/*}/../tests/vm/guest_lib.sh"

pace=$(cat "$work/args")
[[ $pace =~ ^[0-9]+$ ]] || { echo "FAIL no pace in $work/args"; exit 1; }

cpu_idle() { awk '/^cpu / { print $5 + $6 }' /proc/stat; }  # idle and iowait, in ticks
cpu_all() { awk '/^cpu / { n = 0; for (i = 2; i <= NF; i++) n += $i; print n }' /proc/stat; }

# run NAME FOLDER "qdev:raw raw raw"...: the drives get their first diskettes, one batch images
# them all, the others go in as each one before is filed.
bench_run() {
  local name=$1 folder=$2 plan q first drives=() rest=() total=0
  shift 2
  rm -rf "$folder"
  for plan; do
    q=${plan%%:*} first=(${plan#*:})
    load "$q" "${first[0]}" "$pace"
    drives+=("${dev_of[$q]}")
    rest+=("$q:${first[*]:1}")
    total=$((total + ${#first[@]}))
  done
  local idle0 all0 t0 t1 pid
  idle0=$(cpu_idle) all0=$(cpu_all) t0=$(date +%s.%N)
  (
    TIMEFORMAT='%U %S'
    time "$cli" batch "${drives[@]}" "$folder" --count $total </dev/null >$tmp/bout 2>&1
  ) 2>$tmp/cpu &
  pid=$!
  feed "$folder" "$pace" "$pid" "${rest[@]}"
  wait $pid
  t1=$(date +%s.%N)
  cat $tmp/bout
  check "$name: the batch filed $total diskettes" [ "$(grep -lx 'verify: same' "$folder"/*.info | wc -l)" = $total ]
  run check "$folder"
  check "$name: tavrel-cli check" [ $rc = 0 ]
  read -r user sys <$tmp/cpu
  awk -v name=$name -v n=$total -v d=$# -v t0=$t0 -v t1=$t1 -v u=$user -v s=$sys \
    -v i=$(($(cpu_idle) - idle0)) -v a=$(($(cpu_all) - all0)) 'BEGIN {
      printf "BENCH %s diskettes=%d drives=%d wall=%.1f user=%.2f sys=%.2f cpu-busy=%.2f\n",
        name, n, d, t1 - t0, u, s, 1 - i / a }'
  unload "${!loaded[@]}"
}

# The same three 1.44 MB diskettes in each drive (three differ: their content and their media
# code), so that every drive has the same to read.
box=$tmp/bench
bench_run one $box "fdd0:1440F0-a 1440F9-a 1440F0-b"
bench_run three $box "fdd0:1440F0-a 1440F9-a 1440F0-b" "u0:1440F9-a 1440F0-b 1440F0-a" \
  "u1:1440F0-b 1440F0-a 1440F9-a"
echo "ALL CASES RAN"
