#!/usr/bin/env bash
# The main job: sets up the machine, builds the plugin, and shows every bundled sample in
# the lister host (a stand-in for the file manager) under Xvfb, with the real Open Babel
# reached through the bridge. What each view shows is saved as PNG in out/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$PELORIN_ROOT/scripts/setup.sh"
echo "== building"
build_windows >/dev/null
OUT="$PELORIN_ROOT/out"
rm -rf "$OUT" && mkdir -p "$OUT/plugin"
winpath() { echo "Z:${1//\//\\}"; }

# The plugin as a user installs it: the DLL with its pelorin.ini beside it.
cp "$BUILD_WIN/src/plugin/PELORINPLUGIN.dll" "$OUT/plugin/"
printf '[Pelorin]\r\nOBabelPath=%s\r\nStartMode=2D\r\nLogging=1\r\n' \
  "$(winpath "$BUILD_WIN/tools/bridge/obabel.exe")" >"$OUT/plugin/pelorin.ini"

samples=()
for f in "$PELORIN_ROOT"/samples/*; do
  case "${f,,}" in *.md) ;; *) samples+=("$(winpath "$f")") ;; esac
done

echo "== showing ${#samples[@]} samples in the lister host (2D, then 3D, then record 2 of SDF files)"
SECONDS=0
with_wine_display wine "$BUILD_WIN/tools/lister-host/lister-host.exe" \
  --plugin "$(winpath "$OUT/plugin/PELORINPLUGIN.dll")" --snapshot "$(winpath "$OUT")" "${samples[@]}"

echo "== results in $OUT"
ls -1 "$OUT"/*.png | sed "s|$OUT/|  |"
echo "took ${SECONDS} s; plugin log: $OUT/plugin/pelorindebug.log"
