#!/usr/bin/env bash
# Runs the viewer window's and the process runner's Windows test programs (test_viewer_window and
# test_converter, two at a time as ctest runs them) 20 times in a row beside two busy processes
# that keep the processors loaded, and ends with one line: "stress: N of 20 runs passed".
#   scripts/stress-tests.sh [runs]
# The log of each failed run stays in build/stress/.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
RUNS="${1:-20}"
LOGS="$PELORIN_ROOT/build/stress"
mkdir -p "$LOGS"

build_windows >/dev/null || { echo "stress: the Windows build failed"; exit 1; }

busy() { while :; do :; done; }
busy &
busy1=$!
busy &
busy2=$!
trap 'kill "$busy1" "$busy2" 2>/dev/null' EXIT

passed=0
for ((run = 1; run <= RUNS; run++)); do
  log="$LOGS/run-$run.log"
  start=$SECONDS
  if with_wine_display bash -c "cd '$PELORIN_ROOT' && ctest --preset '$PRESET_WIN' --output-on-failure \
       -R '^(test_viewer_window|test_converter)\$'" >"$log" 2>&1; then
    passed=$((passed + 1))
    echo "run $run: passed ($((SECONDS - start)) s)"
    rm -f "$log"
  else
    echo "run $run: FAILED ($((SECONDS - start)) s), log in $log"
    grep -E "Failure|FAILED|left behind" "$log" | head -20
  fi
done
echo "stress: $passed of $RUNS runs passed"
[ "$passed" -eq "$RUNS" ]
