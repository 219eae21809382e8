#!/usr/bin/env bash
# Instructions per call from callgrind, for each measured operation of talvik_frame_cost.
# Usage: bench/callgrind.sh [path/to/talvik_frame_cost]
set -euo pipefail
probe=${1:-build/bench/bench/talvik_frame_cost}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for run in "steady 10000" "check 2000" "beacon 10000" "arm 2000" "load 200"; do
  set -- $run
  valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out/$1" \
    "$probe" "$1" "$2" >/dev/null 2>&1
  total=$(awk '/^summary:/ {print $2}' "$out/$1")
  printf '%-7s %10d instructions per call (%d calls)\n' "$1" $((total / $2)) "$2"
done
"$probe" steady 100000
