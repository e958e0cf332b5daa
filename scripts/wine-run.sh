#!/usr/bin/env bash
# Runs one Windows test program under Wine for ctest: wine-run.sh <wine> <program> [args...].
# The program's output goes through a file, not straight into ctest's pipe: the console host
# Wine starts for a windowless child can outlive that child, and it inherits the Unix standard
# streams, so it would keep ctest's pipe open and ctest would wait for it until the time-out.
wine=$1
shift
log=$(mktemp "${TMPDIR:-/tmp}/pelorin-wine-XXXXXX.log") || exit 1
"$wine" "$@" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
rm -f "$log"
exit $rc
