#!/usr/bin/env bash
# Makes fuzzing seeds from the real converter's output: <corpus>/<target>/ per fuzz target.
set -euo pipefail
CORPUS="$1"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SRC="$CORPUS/.converter"
mkdir -p "$SRC"
if [ ! -f "$SRC/.done" ]; then
  obabel -:"Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine" -O "$SRC/caffeine.svg" --gen2d -xC >/dev/null 2>&1
  printf 'CCO ethanol\nc1ccccc1 benzene\nC[NH3+] methylammonium\n' >"$SRC/three.smi"
  obabel "$SRC/three.smi" -O "$SRC/grid.svg" --gen2d -xC >/dev/null 2>&1
  obabel "$SRC/three.smi" -O "$SRC/three.sdf" --gen2d >/dev/null 2>&1
  obabel -:"O water" -O "$SRC/water.stl" --gen3d >/dev/null 2>&1
  touch "$SRC/.done"
fi
seed() {  # <target> <files...>
  local target="$1"; shift
  mkdir -p "$CORPUS/$target"
  for f in "$@"; do cp -n "$f" "$CORPUS/$target/" 2>/dev/null || true; done
}
seed fuzz_svg "$SRC"/*.svg
seed fuzz_sdf "$SRC"/*.sdf
seed fuzz_stl "$SRC"/*.stl
# Path data and value seeds: the attribute texts the converter writes.
mkdir -p "$CORPUS/fuzz_path" "$CORPUS/fuzz_values"
grep -oh ' d="[^"]*"' "$SRC"/*.svg | head -50 | nl -ba | while read -r n d; do
  printf '%s' "${d:4:-1}" >"$CORPUS/fuzz_path/conv$n"; done || true
grep -oh '\(points\|fill\|stroke\|transform\)="[^"]*"' "$SRC"/*.svg | sort -u | head -100 | nl -ba |
  while read -r n v; do printf '%s' "$v" >"$CORPUS/fuzz_values/conv$n"; done || true
exit 0
