#!/usr/bin/env bash
# Builds everything and runs every test: native (AddressSanitizer + UBSan) directly,
# Windows programs through Wine in one Xvfb session. Ends with one summary line.
# With CI=true it uses the ci-* presets (warnings are errors) and adds a short fuzz run.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$PELORIN_ROOT/scripts/setup.sh" || exit 1
build_native || exit 1
build_windows || exit 1

rm -rf "$BUILD_NATIVE/test-reports"/*.xml "$BUILD_WIN/test-reports"/*.xml
status=0
echo "== native tests"
(cd "$PELORIN_ROOT" && ctest --preset "$PRESET_NATIVE" -j "$(nproc)") || status=1
echo "== Windows tests (Wine)"
with_wine_display bash -c "cd '$PELORIN_ROOT' && ctest --preset '$PRESET_WIN'" || status=1
if [ "${CI:-}" = true ] || [ "${PELORIN_FUZZ_SMOKE:-0}" = 1 ]; then
  echo "== fuzz smoke (10 s per target)"
  bash "$PELORIN_ROOT/scripts/fuzz.sh" 10 || status=1
fi

test_names() { (cd "$1" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p' | paste -sd, -); }
python3 "$PELORIN_ROOT/scripts/summarize_tests.py" "$BUILD_NATIVE/test-reports=$(test_names "$BUILD_NATIVE")" \
  "$BUILD_WIN/test-reports=$(test_names "$BUILD_WIN")" || status=1
exit $status
