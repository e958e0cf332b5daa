#!/usr/bin/env bash
# The main job: sets up the machine, builds the plugin, and drives it in the lister host
# (a stand-in for the file manager) under Xvfb with the real Open Babel reached through
# the bridge: caffeine in 2D and 3D, the three-record SDF stepped to record 2, PNG and SVG
# exports through the plugin's own G and S commands (save dialog answered), the
# display-parameters command, a 200 MB SDF library made here opened at once and gone through
# to its last record, then stepped through record by record from its first (a pause on each, in
# which the plugin makes the next record ready), back, T and back, and with the host's N to
# caffeine and back in the same window (ListLoadNextW), a catalogue of 500 records with data
# fields (the fields panel, a record found by its catalogue number through the host's search,
# the host's percent position), caffeine in dark mode, the frames of an XYZ trajectory stepped,
# caffeine as atoms (the 3D model chosen in the options dialog), a generated 20,000-atom
# protein-sized PDB in 3D, a generated 1,000,000-atom XYZ (a simulation box) in 3D, and 256x256
# thumbnails of every sample and of those two files (atom pictures). Results go to out/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$PELORIN_ROOT/scripts/setup.sh"
echo "== building"
build_windows >/dev/null
OUT="$PELORIN_ROOT/out"
rm -rf "$OUT" && mkdir -p "$OUT/plugin" "$OUT/thumbnails"
winpath() { echo "Z:${1//\//\\}"; }

# A library of 200 MB: the sample records over and over, then one record of its own at the end.
LIBRARY="$PELORIN_ROOT/build/demo/library_200mb.sdf"
BOX="$PELORIN_ROOT/build/demo/box-1000000.xyz"
mkdir -p "$(dirname "$LIBRARY")"
trap 'rm -f "$LIBRARY" "$LIBRARY.block" "$BOX"' EXIT
for _ in $(seq 2800); do cat "$PELORIN_ROOT/samples/three.sdf"; done >"$LIBRARY.block"
{
  for _ in $(seq 24); do cat "$LIBRARY.block"; done
  awk 'NR == 1 { print "the last record of the library"; next } { print } /^\$\$\$\$/ { exit }' \
    "$PELORIN_ROOT/samples/three.sdf"
} >"$LIBRARY"
rm -f "$LIBRARY.block"
echo "== made $(basename "$LIBRARY"): $(($(stat -c %s "$LIBRARY") >> 20)) MB"

# A catalogue with data fields: the sample records, each with a catalogue number, a name, a
# supplier and a long note.
CATALOGUE="$OUT/catalogue.sdf"
python3 - "$PELORIN_ROOT/samples/three.sdf" "$CATALOGUE" <<'PY'
import sys
text = open(sys.argv[1]).read().replace("\r\n", "\n")
records = [r.strip("\n") for r in text.split("$$$$") if r.strip()]
suppliers = ["Acme Fine Chemicals", "Northwind Reagents", "Blue Lake Labs"]
with open(sys.argv[2], "w") as f:
    for i in range(500):
        record = records[i % len(records)].split("\n")
        name = record[0].strip() or "compound"
        record[0] = "%s %d" % (name, i + 1)
        body = "\n".join(record)
        if "M  END" not in body:
            body += "\nM  END"
        f.write(body + "\n")
        f.write("> <CATALOG_NO>\nCAT-%05d\n\n" % (10000 + i))
        f.write("> <NAME>\n%s, lot %d\n\n" % (name, 100 + i % 37))
        f.write("> <SUPPLIER>\n%s\n\n" % suppliers[i % 3])
        f.write("> <PURITY>\n%d %%\n\n" % (95 + i % 5))
        f.write("> <NOTE>\nStored at 4 C, protected from light; reorder when fewer than %d units remain in the main store\n\n" % (5 + i % 20))
        f.write("$$$$\n")
PY
# An XYZ trajectory of three frames (benzene, moved along x).
python3 - "$PELORIN_ROOT/samples/benzene.xyz" "$OUT/trajectory.xyz" <<'PY'
import sys
lines = open(sys.argv[1]).read().splitlines()
count = int(lines[0].split()[0])
with open(sys.argv[2], "w") as f:
    for step in range(3):
        f.write("%d\nframe %d\n" % (count, step + 1))
        for line in lines[2:2 + count]:
            e, x, y, z = line.split()[:4]
            f.write("%s %.4f %s %s\n" % (e, float(x) + 0.3 * step, y, z))
PY

W_OUT="$(winpath "$OUT")"
W_SAMPLES="$(winpath "$PELORIN_ROOT/samples")"

# A protein-sized file: 20,000 atoms on a lattice 3.5 Angstrom apart (as tools/common/lattice_pdb.h).
python3 - "$OUT/lattice-20000.pdb" <<'PY'
import sys
elements = ["C", "C", "N", "O", "H", "H", "S", "C"]
with open(sys.argv[1], "w") as f:
    for i in range(20000):
        e = elements[i % 8]
        x, y, z = 3.5 * (i % 28), 3.5 * (i // 28 % 28), 3.5 * (i // 784)
        f.write("ATOM  %5d %-4s LAT A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n" % ((i + 1) % 100000, e, x, y, z, e))
    f.write("END\n")
PY

# A simulation box of a million atoms on the same lattice, a cube of 100 atoms a side (as
# tools/common/lattice_pdb.h's WriteLatticeXYZ).
python3 - "$BOX" <<'PY'
import sys
elements = ["C", "C", "N", "O", "H", "H", "S", "C"]
n, side = 1000000, 100
with open(sys.argv[1], "w") as f:
    f.write("%d\na box of %d atoms\n" % (n, n))
    f.writelines("%s %.3f %.3f %.3f\n" % (elements[i % 8], 3.5 * (i % side), 3.5 * (i // side % side), 3.5 * (i // side // side))
                 for i in range(n))
PY
echo "== made $(basename "$BOX"): $(($(stat -c %s "$BOX") >> 20)) MB"

# The plugin as a user installs it: the DLL with its pelorin.ini beside it.
cp "$BUILD_WIN/src/plugin/PELORINPLUGIN.dll" "$OUT/plugin/"
printf '[Pelorin]\r\nOBabelPath=%s\r\nStartMode=2D\r\nLogging=1\r\n' \
  "$(winpath "$BUILD_WIN/tools/bridge/obabel.exe")" >"$OUT/plugin/pelorin.ini"

script="$OUT/demo-steps.txt"
{
  echo "open \"$W_SAMPLES\\caffeine.mol\""
  echo "snapshot \"$W_OUT\\caffeine-view-2d.png\""
  echo "export-png \"$W_OUT\\caffeine-2d.png\""
  echo "export-svg \"$W_OUT\\caffeine.svg\""
  echo "key T"
  echo "snapshot \"$W_OUT\\caffeine-view-3d.png\""
  echo "export-png \"$W_OUT\\caffeine-3d.png\""
  echo "open \"$W_SAMPLES\\three.sdf\""
  echo "snapshot \"$W_OUT\\three-view-record1.png\""
  echo "key Right"
  echo "snapshot \"$W_OUT\\three-view-record2.png\""
  echo "export-png \"$W_OUT\\three_2.png\""
  echo "export-svg \"$W_OUT\\three_2.svg\""
  echo "open \"$(winpath "$LIBRARY")\""
  echo "record last"
  echo "snapshot \"$W_OUT\\library-last-record.png\""
  echo "options"
  # Browsing: record by record with a pause on each, back, T and back, N to caffeine and back.
  echo "record 1"
  for _ in $(seq 8); do
    echo "pause 600"
    echo "key Right"
  done
  echo "key Left"
  echo "key Left"
  echo "pause 600"
  echo "key T"
  echo "key T"
  echo "next \"$W_SAMPLES\\caffeine.mol\""
  echo "next \"$(winpath "$LIBRARY")\""
  echo "snapshot \"$W_OUT\\library-browsed.png\""
  echo "close"
  # The library browser: data fields, a catalogue number found, the percent position.
  echo "open \"$W_OUT\\catalogue.sdf\""
  echo "snapshot \"$W_OUT\\catalogue-fields.png\""
  echo "find CAT-10377 1"
  echo "snapshot \"$W_OUT\\catalogue-found-CAT-10377.png\""
  echo "key T"
  echo "snapshot \"$W_OUT\\catalogue-found-3d.png\""
  echo "key T"
  echo "percent 100"
  echo "snapshot \"$W_OUT\\catalogue-last.png\""
  echo "open \"$W_SAMPLES\\caffeine.mol\""
  echo "dark on"
  echo "snapshot \"$W_OUT\\caffeine-dark.png\""
  echo "dark off"
  echo "open \"$W_OUT\\trajectory.xyz\""
  echo "key Right"
  echo "snapshot \"$W_OUT\\trajectory-frame-2.png\""
  echo "open \"$W_SAMPLES\\caffeine.mol\""
  echo "key T"
  echo "snapshot \"$W_OUT\\caffeine-view-surface.png\""
  echo "model3d Atoms"
  echo "snapshot \"$W_OUT\\caffeine-view-atoms.png\""
  echo "export-png \"$W_OUT\\caffeine-atoms.png\""
  echo "model3d Auto"
  echo "open \"$W_OUT\\lattice-20000.pdb\""
  echo "snapshot \"$W_OUT\\lattice-20000-view-3d.png\""
  echo "open \"$(winpath "$BOX")\""
  echo "snapshot \"$W_OUT\\box-1000000-view-3d.png\""
  echo "close"
  echo "thumbnail 256x256 \"$W_OUT\\thumbnails\\lattice-20000.pdb.png\" \"$W_OUT\\lattice-20000.pdb\""
  echo "thumbnail 256x256 \"$W_OUT\\thumbnails\\box-1000000.xyz.png\" \"$(winpath "$BOX")\""
  for f in "$PELORIN_ROOT"/samples/*; do
    name="$(basename "$f")"
    case "${name,,}" in *.md) continue ;; esac
    echo "thumbnail 256x256 \"$W_OUT\\thumbnails\\${name}.png\" \"$W_SAMPLES\\$name\""
  done
} >"$script"

echo "== driving the plugin in the lister host (step, time, result)"
SECONDS=0
status=0
# Wine's file dialog complains that it cannot read the Z: volume label: harmless, hidden.
with_wine_display wine "$BUILD_WIN/tools/lister-host/lister-host.exe" \
  --plugin "$(winpath "$OUT/plugin/PELORINPLUGIN.dll")" --script "$(winpath "$script")" \
  2> >(grep -v 'FS volume label and serial are not available' >&2) || status=$?

echo "== results in $OUT (${SECONDS} s)"
(cd "$OUT" && find . -name '*.png' -o -name '*.svg' | sort | sed 's|^\./|  |')
echo "plugin log: $OUT/plugin/pelorindebug.log"
exit $status
