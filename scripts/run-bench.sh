#!/usr/bin/env bash
# Runs the benchmarks of a build: the codec, whole-job and start-up benchmarks (Google
# Benchmark), then bench/compare against the usual tools, whose markdown table it prints last.
#
# Usage: scripts/run-bench.sh [BUILD_DIR] [extra Google Benchmark options]
# BENCH_RUNS sets bench/compare's timed runs per command (default 30). Timings are only worth
# reading on an otherwise idle machine; the load average is printed with them.
set -euo pipefail

cd "$(dirname "$0")/.."
build="${1:-build}"
shift || true
bench="$build/bench/tavrel_bench"
if [ ! -x "$bench" ]; then
  echo "run-bench: $bench is missing; configure with TAVREL_BUILD_BENCH=ON and build" >&2
  exit 2
fi

echo "== Machine"
lscpu | grep -E '^(Model name|CPU\(s\)|CPU max MHz)' || true
uname -sr
echo "Load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

echo "== Codec: pack, unpack, record encoder and decoder (bytes per second)"
"$bench" --benchmark_filter='^(Pack|Unpack|Encode|Decode)/' --benchmark_min_time=0.2 \
  --benchmark_counters_tabular=true "$@"
echo

echo "== Whole jobs on a 1.44 MB image-file drive (process CPU time per track side)"
"$bench" --benchmark_filter='^Job/' --benchmark_min_time=0.3 --benchmark_counters_tabular=true "$@"
echo

echo "== A batch diskette's listing beside its compress: files walked and hashed, DFXML written (wall time; goal under 1 s), and two hostile diskettes (goal under 2 s)"
"$bench" --benchmark_filter='^(Listing|HostileListing)/' --benchmark_min_time=0.5 --benchmark_counters_tabular=true "$@"
echo

echo "== Start-up: tavrel-cli --version, a compress and a files of a blank diskette (only files loads the listing module), and a static trivial program as the floor (wall time per start; child_cpu: its CPU time)"
"$bench" --benchmark_filter='^Startup/' --benchmark_min_time=1 --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "$@"
echo

if [ -x "$build/bench/tavrel_dialog_bench" ]; then
  echo "== A 1.44 MB compress and verify through the dialog (offscreen) and the console tool"
  "$build/bench/tavrel_dialog_bench" --benchmark_min_time=1 --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true "$@"
  echo
fi

echo "== Against the usual tools"
echo "Load average: $(cut -d' ' -f1-3 /proc/loadavg)"
bench/compare "$build" --runs "${BENCH_RUNS:-30}"
