#!/usr/bin/env bash
# Builds the release package dist/pelorin-wlx64.zip: the DLL under the 64-bit plugin name
# PELORINPLUGIN.wlx64, a sample ini with the defaults (never pelorin.ini itself: installing an
# update must not overwrite the user's settings), the install descriptor and a readme.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# PELORIN_PACKAGE_DLL packs an already built DLL (the package test uses it);
# PELORIN_DIST_DIR puts the zip elsewhere.
DLL="${PELORIN_PACKAGE_DLL:-}"
if [ -z "$DLL" ]; then
  bash "$PELORIN_ROOT/scripts/setup.sh" >/dev/null
  build_windows >/dev/null
  DLL="$BUILD_WIN/src/plugin/PELORINPLUGIN.dll"
fi
DIST="${PELORIN_DIST_DIR:-$PELORIN_ROOT/dist}"
STAGE="$DIST/stage"
rm -rf "$STAGE" && mkdir -p "$STAGE"
cp "$DLL" "$STAGE/PELORINPLUGIN.wlx64"
for f in pluginst.inf pelorin.ini.sample readme.txt; do
  sed 's/\r*$/\r/' "$PELORIN_ROOT/scripts/package/$f" >"$STAGE/$f"  # Windows line ends
done
rm -f "$DIST/pelorin-wlx64.zip"
python3 - "$STAGE" "$DIST/pelorin-wlx64.zip" <<'PY'
import os, sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("pluginst.inf", "PELORINPLUGIN.wlx64", "pelorin.ini.sample", "readme.txt"):
        z.write(os.path.join(stage, name), name)
PY
rm -rf "$STAGE"
echo "$DIST/pelorin-wlx64.zip: $(python3 -c "import zipfile,sys; print(', '.join(zipfile.ZipFile(sys.argv[1]).namelist()))" "$DIST/pelorin-wlx64.zip")"
