#!/usr/bin/env bash
# The main job: sets up the machine, builds the plugin, and converts every bundled sample
# through the plugin's converter front end with the real Open Babel (under Wine).
# Drawings and the converter log go to out/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$PELORIN_ROOT/scripts/setup.sh"
build_windows >/dev/null
OUT="$PELORIN_ROOT/out"
mkdir -p "$OUT"
winpath() { echo "Z:${1//\//\\}"; }
samples=()
for f in "$PELORIN_ROOT"/samples/*; do
  case "${f,,}" in *.mol|*.sdf|*.mol2|*.smi|*.smiles|*.pdb|*.xyz|*.cml) samples+=("$(winpath "$f")");; esac
done
wine "$BUILD_WIN/tools/demo/convert_samples.exe" "$(winpath "$BUILD_WIN/tools/bridge/obabel.exe")" \
  "$(winpath "$OUT")" "${samples[@]}"
wineserver -k 2>/dev/null || true
echo "plugin: $BUILD_WIN/src/plugin/PELORINPLUGIN.dll"
