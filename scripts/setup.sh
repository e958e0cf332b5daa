#!/usr/bin/env bash
# One-time (and idempotent) machine set-up: Debian packages, pugixml's source, the MinGW
# build of GoogleTest, and the Wine prefix the Windows tests run in.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/.deps"
MINGW_PREFIX="$DEPS/mingw"
export WINEPREFIX="${WINEPREFIX:-$DEPS/wineprefix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

PACKAGES=(
  build-essential cmake ninja-build pkg-config python3 dpkg-dev
  g++-mingw-w64-x86-64-posix
  wine64 wine xvfb xauth libgl1-mesa-dri
  openbabel
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
)

log() { printf 'setup: %s\n' "$*"; }

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # Debian leaves the "wine" alternative unset on some images.
  if ! command -v wine >/dev/null && [ -x /usr/bin/wine-stable ]; then
    ln -sf /usr/bin/wine-stable /usr/local/bin/wine
  fi
}

enable_source_packages() {
  local list=/etc/apt/sources.list.d/pelorin-src.sources
  [ -f "$list" ] && return
  log "enabling Debian source packages"
  cat >"$list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get update -qq
}

# Both builds compile pugixml in header-only mode straight from Debian's source package (so its
# accessors inline into the SVG reader): the unpacked source under .deps/src is all they need.
fetch_pugixml_source() {
  local work="$DEPS/src"
  compgen -G "$work/pugixml-*/src/pugixml.cpp" >/dev/null && return
  enable_source_packages
  log "fetching pugixml's Debian source package"
  rm -rf "$work/pugixml"* && mkdir -p "$work" && (cd "$work" && apt-get source -qq pugixml >/dev/null 2>&1)
  compgen -G "$work/pugixml-*/src/pugixml.cpp" >/dev/null || { log "apt-get source pugixml gave no source"; exit 1; }
}

build_mingw_googletest() {
  [ -f "$MINGW_PREFIX/lib/libgtest.a" ] && return
  log "building GoogleTest for MinGW from /usr/src/googletest"
  local build="$DEPS/src/googletest-build"
  rm -rf "$build"
  cmake -S /usr/src/googletest -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$MINGW_PREFIX" \
    -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$build" >/dev/null
  cmake --install "$build" >/dev/null
}

create_wine_prefix() {
  [ -f "$WINEPREFIX/.pelorin-ready" ] && return
  log "creating the Wine prefix in $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  DISPLAY= wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  local reg="$DEPS/pelorin-wine.reg"
  cat >"$reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="Liberation Sans"
"Segoe UI"="DejaVu Sans"
"Courier New"="Liberation Mono"
"Times New Roman"="Liberation Serif"
EOF
  DISPLAY= wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.pelorin-ready"
}

mkdir -p "$DEPS"
install_packages
fetch_pugixml_source
build_mingw_googletest
create_wine_prefix
log "ready (MinGW libraries in $MINGW_PREFIX, pugixml source in $DEPS/src, Wine prefix $WINEPREFIX)"
