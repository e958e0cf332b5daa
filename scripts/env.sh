# Shared settings for the project's scripts (sourced, not run).
PELORIN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PELORIN_ROOT
export WINEPREFIX="${WINEPREFIX:-$PELORIN_ROOT/.deps/wineprefix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
BUILD_WIN="$PELORIN_ROOT/build/win"
BUILD_NATIVE="$PELORIN_ROOT/build/native"
TOOLCHAIN="$PELORIN_ROOT/cmake/mingw-w64-x86_64.cmake"

configure_and_build() {  # <build dir> <cmake args...>
  local dir="$1"; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$PELORIN_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$dir" -j "$(nproc)"
}

build_windows() {
  configure_and_build "$BUILD_WIN" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release
}

build_native() {
  configure_and_build "$BUILD_NATIVE" -DCMAKE_BUILD_TYPE=Debug -DPELORIN_SANITIZE=ON
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
