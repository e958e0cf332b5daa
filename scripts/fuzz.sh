#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset fuzz; ci-fuzz on CI) and runs each for the
# given seconds (default 60), seeded from fuzz/seeds/<target> and from real converter output made here.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
SECONDS_PER_TARGET="${1:-60}"
CORPUS="$PELORIN_ROOT/build/fuzz-corpus"

configure_and_build_quietly "$PRESET_FUZZ" "$BUILD_FUZZ" || exit 1

bash "$PELORIN_ROOT/fuzz/make_seeds.sh" "$CORPUS" || exit 1

status=0
for target in "$BUILD_FUZZ"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  mkdir -p "$CORPUS/$name" "$BUILD_FUZZ/artifacts/$name"
  seeds=()
  [ -d "$PELORIN_ROOT/fuzz/seeds/$name" ] && seeds+=("$PELORIN_ROOT/fuzz/seeds/$name")
  if "$target" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="$BUILD_FUZZ/artifacts/$name/" "$CORPUS/$name" "${seeds[@]}" \
       >"$BUILD_FUZZ/$name.log" 2>&1; then
    echo "fuzz $name: ok ($(grep -c '' "$BUILD_FUZZ/$name.log") log lines)"
  else
    echo "fuzz $name: FINDING, see $BUILD_FUZZ/$name.log"; tail -30 "$BUILD_FUZZ/$name.log"; status=1
  fi
done
exit $status
