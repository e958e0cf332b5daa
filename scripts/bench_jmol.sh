#!/usr/bin/env bash
# A peer's figures beside ours, when Debian's jmol is installed (it is not part of the set-up):
# Jmol's headless JmolData.jar draws the generated 20,000-atom lattice PDB and 1,000,000-atom XYZ
# box that bench_atoms_viewer draws, as 800 x 600 PNG pictures of spheres at their van der Waals
# radii, with its JVM's start (an empty script) subtracted. Prints one line per figure:
#   jmol <our figure's name>: value unit (what)
# and leaves Jmol's pictures beside the data. Usage: bench_jmol.sh <data folder>
set -uo pipefail
DATA="${1:?usage: bench_jmol.sh <data folder>}"
JAR="$(dpkg -L jmol 2>/dev/null | grep '/JmolData.jar$' | head -1)"
if [ -z "$JAR" ] || ! command -v java >/dev/null; then
  echo "jmol: not installed (apt-get install jmol), no peer figures"
  exit 0
fi
mkdir -p "$DATA"
python3 - "$DATA" <<'PY'
import os, sys
elements = ["C", "C", "N", "O", "H", "H", "S", "C"]
data = sys.argv[1]
# As tools/common/lattice_pdb.h: LatticePDBText(20000) and WriteLatticeXYZ(1000000).
with open(os.path.join(data, "lattice-20000.pdb"), "w") as f:
    for i in range(20000):
        e = elements[i % 8]
        x, y, z = 3.5 * (i % 28), 3.5 * (i // 28 % 28), 3.5 * (i // 784)
        f.write("ATOM  %5d %-4s LAT A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n" % ((i + 1) % 100000, e, x, y, z, e))
    f.write("END\n")
n, side = 1000000, 100
with open(os.path.join(data, "box-1000000.xyz"), "w") as f:
    f.write("%d\na box of %d atoms\n" % (n, n))
    f.writelines("%s %.3f %.3f %.3f\n" % (elements[i % 8], 3.5 * (i % side), 3.5 * (i // side % side), 3.5 * (i // side // side))
                 for i in range(n))
PY

# Seconds and peak kilobytes of one headless Jmol run of a script.
# GNU time writes to a file of its own: its standard error is Jmol's, which goes unread.
run_jmol() {  # <script text>
  local script="$DATA/jmol.spt" stats="$DATA/jmol-time.txt"
  printf '%s\n' "$1" >"$script"
  /usr/bin/time -o "$stats" -f '%e %M' java -Xmx4g -jar "$JAR" -n -i -s "$script" -x >/dev/null 2>&1
  tail -1 "$stats"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Median seconds of the empty and the drawing runs over <runs> runs, taken in turns, and the peak
# kilobytes of the last of each.
picture() {  # <name> <file> <runs>
  local name="$1" file="$2" runs="$3" empty=() drawn=() emptyKb=0 drawnKb=0
  for _ in $(seq "$runs"); do
    read -r s emptyKb <<<"$(run_jmol 'exit')"
    empty+=("$s")
    read -r s drawnKb <<<"$(run_jmol "load \"$file\"; spacefill only; write image 800 600 PNG \"$DATA/jmol-$name.png\"; exit")"
    drawn+=("$s")
  done
  echo "$(printf '%s\n' "${empty[@]}" | median) $(printf '%s\n' "${drawn[@]}" | median) $emptyKb $drawnKb"
}

read -r e d _ _ <<<"$(picture lattice-20000 "$DATA/lattice-20000.pdb" 3)"
awk -v e="$e" -v d="$d" 'BEGIN { printf "jmol atoms_first_picture: %.0f ms (20,000-atom PDB to an 800x600 picture, JVM start %.0f ms subtracted, median of 3)\n", (d - e) * 1000, e * 1000 }'
read -r e d ekb dkb <<<"$(picture box-1000000 "$DATA/box-1000000.xyz" 1)"
awk -v e="$e" -v d="$d" 'BEGIN { printf "jmol atoms_1m_first_picture: %.0f ms (1,000,000-atom XYZ to an 800x600 picture, JVM start %.0f ms subtracted)\n", (d - e) * 1000, e * 1000 }'
awk -v ekb="$ekb" -v dkb="$dkb" 'BEGIN { printf "jmol atoms_1m_memory: %.0f B an atom (peak resident size above an empty run\x27s, %.0f MB)\n", (dkb - ekb) * 1024 / 1e6, (dkb - ekb) / 1024 }'
echo "jmol pictures: $DATA/jmol-lattice-20000.png $DATA/jmol-box-1000000.png"
rm -f "$DATA/box-1000000.xyz" "$DATA/jmol.spt" "$DATA/jmol-time.txt"
