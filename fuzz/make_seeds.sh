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
printf 'solid t\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n   vertex 0 1 0\n  endloop\n endfacet\nendsolid t\n' >"$CORPUS/.ascii.stl"
seed fuzz_stl "$SRC"/*.stl "$CORPUS/.ascii.stl"
# Atom lists: the converter's XYZ of three records and a PDB; the first byte picks the record.
[ -f "$SRC/three.xyz" ] || obabel "$SRC/three.smi" -O "$SRC/three.xyz" --gen3d >/dev/null 2>&1 || true
[ -f "$SRC/ethanol.pdb" ] || obabel -:"CCO ethanol" -O "$SRC/ethanol.pdb" --gen3d >/dev/null 2>&1 || true
mkdir -p "$CORPUS/fuzz_xyz"
for f in "$SRC/three.xyz" "$SRC/ethanol.pdb"; do
  if [ -f "$f" ]; then { printf '\001'; cat "$f"; } >"$CORPUS/fuzz_xyz/$(basename "$f")"; fi
done
# Survey seeds: four parameter bytes (format, record, piece size, line limit), then a sample of
# that format or the converter's SDF.
mkdir -p "$CORPUS/fuzz_survey"
survey_seed() {  # <format byte> <record byte> <file>
  [ -f "$3" ] || return 0
  { printf "\\x$1\\x$2\\x07\\x00"; cat "$3"; } >"$CORPUS/fuzz_survey/$(basename "$3").$1$2"
}
survey_seed 00 00 "$ROOT/samples/caffeine.mol"
survey_seed 01 01 "$ROOT/samples/three.sdf"
survey_seed 01 02 "$SRC/three.sdf"
survey_seed 02 00 "$ROOT/samples/aspirin.mol2"
survey_seed 03 03 "$ROOT/samples/molecules.smi"
survey_seed 04 00 "$ROOT/samples/ethanol.pdb"
survey_seed 05 00 "$ROOT/samples/benzene.xyz"
survey_seed 06 00 "$ROOT/samples/water.cml"
# Search seeds: two parameter bytes (flags, query length - 1), the query, then the converter's
# SDF with data items or a SMILES file.
[ -f "$SRC/items.sdf" ] || obabel "$SRC/three.smi" -O "$SRC/items.sdf" --gen2d --add "MW logP formula" >/dev/null 2>&1 || true
mkdir -p "$CORPUS/fuzz_search"
if [ -f "$SRC/items.sdf" ]; then
  { printf '\x00\x03form'; cat "$SRC/items.sdf"; } >"$CORPUS/fuzz_search/items_name"
  { printf '\x03\x02C2H'; cat "$SRC/items.sdf"; } >"$CORPUS/fuzz_search/items_value_words"
fi
{ printf '\x04\x03CCO '; cat "$SRC/three.smi"; } >"$CORPUS/fuzz_search/smiles"
# Path data and value seeds: the attribute texts the converter writes.
mkdir -p "$CORPUS/fuzz_path" "$CORPUS/fuzz_values"
grep -oh ' d="[^"]*"' "$SRC"/*.svg | head -50 | nl -ba | while read -r n d; do
  printf '%s' "${d:4:-1}" >"$CORPUS/fuzz_path/conv$n"; done || true
grep -oh '\(points\|fill\|stroke\|transform\)="[^"]*"' "$SRC"/*.svg | sort -u | head -100 | nl -ba |
  while read -r n v; do printf '%s' "$v" >"$CORPUS/fuzz_values/conv$n"; done || true
# The converter writes no paths: a few hand-made ones cover every command.
printf 'M10 20 C30 40 50 60 70 80 S90 100 110 120 Q5 5 10 10 T20 20 A5 5 0 0 1 30 30 h5 v5 z' \
  >"$CORPUS/fuzz_path/commands"
printf 'm1,2l3-4H5V6c1 2 3 4 5 6s1 2 3 4q1 2 3 4t5 6a1 1 0 1 0 2 2Z' >"$CORPUS/fuzz_path/relative"
exit 0
