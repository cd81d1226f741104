#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer, seeds a corpus with real images of all five
# diskette layouts, replays the saved regressions, and fuzzes each target for SECONDS.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?build folder}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_FUZZ=ON \
  -DTAVREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

corpus="$build/corpus"
mkdir -p "$corpus/seed"
cli="$build/cli/tavrel-cli"
if [ -x "$cli" ] && [ -z "$(ls -A "$corpus/seed")" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  i=0
  for layout in "360 0xFD" "720 0xF9" "1200 0xF9" "1440 0xF9" "1440 0xF0"; do
    set -- $layout
    i=$((i + 1))
    mkfs.fat -C -M "$2" "$work/d$i.img" "$1" >/dev/null
    head -c 20000 /dev/urandom >"$work/rand.bin"
    seq 1 3000 >"$work/text.txt"
    MTOOLS_SKIP_CHECK=1 mcopy -i "$work/d$i.img" "$work/rand.bin" "$work/text.txt" ::/ >/dev/null 2>&1 || true
    "$cli" convert --quiet "$work/d$i.img" "$corpus/seed/rle$i.tvl" >/dev/null 2>&1 || true
    [ "$1" = 360 ] && "$cli" convert --quiet --no-compression "$work/d$i.img" "$corpus/seed/raw$i.tvl" >/dev/null 2>&1 || true
  done
fi

ctest --test-dir "$build" --output-on-failure

status=0
for target in "$build"/tests/fuzz/*_fuzz; do
  name=$(basename "$target")
  mkdir -p "$corpus/$name" "$build/crashes/$name"
  echo "== $name: ${seconds}s"
  if ! "$target" "$corpus/$name" "$corpus/seed" -max_total_time="$seconds" -max_len=1500000 \
      -artifact_prefix="$build/crashes/$name/" -print_final_stats=1 2>"$build/$name.log"; then
    status=1
    tail -40 "$build/$name.log"
    echo "crash inputs in $build/crashes/$name: copy them to tests/fuzz/regressions/ with the fix" >&2
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$build/$name.log" | tail -2 || true
done
exit $status
