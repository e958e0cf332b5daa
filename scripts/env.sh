# Shared settings for the project's scripts (sourced, not run).
PELORIN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PELORIN_ROOT
export WINEPREFIX="${WINEPREFIX:-$PELORIN_ROOT/.deps/wineprefix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Build settings live in CMakePresets.json; the scripts name a preset. On CI (CI=true) the
# native and Windows builds use the ci-* presets (warnings are errors) in folders of their own,
# so a local build keeps its objects when a CI run is tried on the same checkout.
if [ "${CI:-}" = true ]; then
  PRESET_WIN=ci-windows PRESET_NATIVE=ci-native PRESET_FUZZ=ci-fuzz
  BUILD_WIN="$PELORIN_ROOT/build/ci-win" BUILD_NATIVE="$PELORIN_ROOT/build/ci-native"
  BUILD_FUZZ="$PELORIN_ROOT/build/ci-fuzz"
else
  PRESET_WIN=windows PRESET_NATIVE=native-debug PRESET_FUZZ=fuzz
  BUILD_WIN="$PELORIN_ROOT/build/win" BUILD_NATIVE="$PELORIN_ROOT/build/native"
  BUILD_FUZZ="$PELORIN_ROOT/build/fuzz"
fi

# Configures every time (with Ninja and an unchanged cache that takes a moment, and a changed
# preset takes effect without deleting the folder), then builds. <dir> is the preset's
# binaryDir as the calling script expects it; a mismatch with CMakePresets.json is an error.
configure_and_build() {  # <preset> <dir>
  local preset="$1" dir="$2" written
  written="$(cd "$PELORIN_ROOT" && cmake --preset "$preset" | sed -n 's/^-- Build files have been written to: //p')"
  [ -n "$written" ] || return 1
  if ! [ "$written" -ef "$dir" ]; then
    echo "preset $preset builds in $written, not $dir: CMakePresets.json and scripts/env.sh disagree" >&2
    return 1
  fi
  (cd "$PELORIN_ROOT" && cmake --build --preset "$preset" -j "$(nproc)")
}

build_windows() { configure_and_build "$PRESET_WIN" "$BUILD_WIN"; }

build_native() { configure_and_build "$PRESET_NATIVE" "$BUILD_NATIVE"; }

# As configure_and_build, but prints the output only when the build fails.
configure_and_build_quietly() {  # <preset> <dir>
  local log
  log="$(configure_and_build "$@" 2>&1)" || { printf '%s\n' "$log" | tail -40 >&2; return 1; }
}

# Runs "$@" inside one Xvfb session with a warm wineserver, so every Windows test
# program shares one server instead of starting its own.
with_wine_display() {
  wineserver -w 2>/dev/null || true
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    wineserver -p 2>/dev/null
    wine cmd /c exit >/dev/null 2>&1
    "$@"; rc=$?
    wineserver -k 2>/dev/null
    exit $rc' _ "$@"
}
