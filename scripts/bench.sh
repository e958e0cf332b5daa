#!/usr/bin/env bash
# Builds the benchmarks (native Release, and the Windows ones in the Windows build, run under
# Wine) and runs them, and where Debian's jmol is installed the peer's figures beside ours
# (scripts/bench_jmol.sh); ends with one line per figure:
#   name: value unit (ratio x baseline)
#   jmol name: value unit (what)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
BUILD_BENCH="$PELORIN_ROOT/build/bench"
export PELORIN_BENCH_DATA="${PELORIN_BENCH_DATA:-$BUILD_BENCH/data}"
mkdir -p "$PELORIN_BENCH_DATA"

configure_and_build_quietly bench "$BUILD_BENCH" || exit 1

figures=()
status=0
for program in "$BUILD_BENCH"/bench/bench_*; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  out="$("$program" --benchmark_color=false "$@" 2>&1 | sed 's/\x1b\[[0-9;]*m//g')" || status=1
  echo "$out" | grep -v '^FIGURE '
  while IFS= read -r line; do figures+=("${line#FIGURE }"); done < <(echo "$out" | grep '^FIGURE ')
done
# Windows benchmarks: they load the DLL as the file manager does.
if build_windows >/dev/null; then
  for program in "$BUILD_WIN"/bench/bench_*.exe; do
    [ -f "$program" ] || continue
    echo "== $(basename "$program") (Wine)"
    out="$(with_wine_display wine "$program" 2>&1 | tr -d '\r')" || status=1
    echo "$out" | grep -v '^FIGURE '
    while IFS= read -r line; do figures+=("${line#FIGURE }"); done < <(echo "$out" | grep '^FIGURE ')
  done
else
  echo "Windows build failed: no Windows benchmarks"
  status=1
fi

# The peer's figures beside ours, where Debian's jmol is installed.
echo "== Jmol"
while IFS= read -r line; do
  echo "$line"
  case "$line" in jmol\ atoms_*) figures+=("$line") ;; esac
done < <(bash "$PELORIN_ROOT/scripts/bench_jmol.sh" "$PELORIN_BENCH_DATA/jmol")

echo "== figures"
printf '%s\n' "${figures[@]}"
exit $status
