#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the portable sources in src/, compiled as the native
# build compiles them (its compile_commands.json). Prints every finding once, a count per
# check and a total; fails when there is any finding. The full output stays in <build>/tidy.log.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
CLANG_TIDY="${CLANG_TIDY:-clang-tidy}"
command -v "$CLANG_TIDY" >/dev/null || { echo "tidy: $CLANG_TIDY not found (scripts/setup.sh installs it)" >&2; exit 2; }

# Configuring is enough: compile_commands.json is written at configure time.
(cd "$PELORIN_ROOT" && cmake --preset "$PRESET_NATIVE" >/dev/null) || exit 2
LOG="$BUILD_NATIVE/tidy.log"
mapfile -t files < <(python3 - "$BUILD_NATIVE/compile_commands.json" "$PELORIN_ROOT/src/" <<'PY'
import json, sys
entries, src = json.load(open(sys.argv[1])), sys.argv[2]
print("\n".join(sorted({e["file"] for e in entries if e["file"].startswith(src)})))
PY
)
((${#files[@]})) || { echo "tidy: no src/ files in $BUILD_NATIVE/compile_commands.json" >&2; exit 2; }

SECONDS=0
printf '%s\0' "${files[@]}" |
  xargs -0 -n 1 -P "$(nproc)" "$CLANG_TIDY" -p "$BUILD_NATIVE" --quiet \
    --header-filter="^$PELORIN_ROOT/src/" >"$LOG" 2>/dev/null
# A header included by several files reports the same finding for each: count it once.
python3 - "$LOG" "$PELORIN_ROOT/" "${#files[@]}" "$SECONDS" <<'PY'
import collections, re, sys
log, root, nfiles, seconds = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
finding = re.compile(r"^(\S+?):(\d+):(\d+): (?:warning|error): (.*) \[([\w.,-]+)\]$")
seen = {}
for line in open(log, errors="replace"):
    m = finding.match(line.rstrip("\n"))
    if m:
        path, row, col, text, check = m.groups()
        seen.setdefault((path, int(row), int(col), check), text)
per_check = collections.Counter(check for (_, _, _, check) in seen)
for (path, row, col, check), text in sorted(seen.items()):
    print(f"{path.replace(root, '')}:{row}:{col}: {text} [{check}]")
for check, n in per_check.most_common():
    print(f"tidy: {n:4d} {check}")
print(f"tidy: {len(seen)} findings in {nfiles} files ({seconds} s); full output in {log}")
sys.exit(1 if seen else 0)
PY
