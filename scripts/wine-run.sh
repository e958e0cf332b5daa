#!/usr/bin/env bash
# Runs one Windows test program under Wine for ctest: wine-run.sh <wine> <program> [args...].
# The program's output goes through a file, not straight into ctest's pipe: a console host
# Wine starts can outlive its process, and it inherits the Unix standard streams, so it would
# keep ctest's pipe open and ctest would wait for it until the time-out.
# A program that fails without printing anything never reached its first test (Wine could not
# start it); that is said, with the exit code, and it is started once more. A program that
# printed anything keeps its result.
wine=$1
shift
log=$(mktemp "${TMPDIR:-/tmp}/pelorin-wine-XXXXXX.log") || exit 1
trap 'rm -f "$log"' EXIT
for attempt in 1 2; do
  "$wine" "$@" >"$log" 2>&1 </dev/null
  rc=$?
  cat "$log"
  if [ "$rc" -eq 0 ] || [ -s "$log" ]; then break; fi
  echo "wine-run: $(basename "$1") ended with exit code $rc before printing anything (attempt $attempt)"
done
[ "$rc" -ne 0 ] && echo "wine-run: $(basename "$1") exit code $rc"
exit $rc
