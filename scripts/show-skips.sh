#!/usr/bin/env bash
# Prints every test that the last ctest run in BUILD skipped, with the reason the test gave:
# ctest itself only counts them.
set -euo pipefail
log="${1:?usage: show-skips.sh BUILD}/Testing/Temporary/LastTest.log"
[ -f "$log" ] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { test = $3 }
  /: Skipped$/ { getline reason; skips[test] = reason }
  /^SKIP: / { skips[test] = substr($0, 7) }
  END {
    n = 0; for (t in skips) n++
    if (n == 0) exit
    printf "Skipped tests (%d), with their reasons:\n", n
    for (t in skips) printf "  %s: %s\n", t, skips[t]
  }' "$log"
