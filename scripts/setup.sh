#!/usr/bin/env bash
# Sets everything up on a Debian 12 machine, idempotently: the system packages the addon, its tests
# and the demo need, the Node packages, and the build. A second run is quick and changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${TESSIMARKE_BUILD_DIR:-build}

PACKAGES=(
  # toolchain (Node.js and npm are checked below: they may come from outside Debian)
  build-essential cmake pkg-config
  # libraries the addon links
  libsdl2-dev libsdl2-image-dev libglew-dev libfreetype-dev libopenal-dev libvorbis-dev libogg-dev
  libusb-1.0-0-dev libstb-dev
  # unit tests and benchmarks
  libgtest-dev libbenchmark-dev
  # integration tests and the demo: X server, window manager, input, clipboard, screenshots,
  # software GL, sound fixtures, an emulated USB adapter, fonts
  xvfb xauth openbox xdotool xclip x11-utils x11-xserver-utils imagemagick libgl1-mesa-dri libglx-mesa0
  sox vorbis-tools umockdev libumockdev-dev fonts-noto-core fonts-unifont
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)

if ((${#missing[@]})); then
  echo "setup: installing missing packages: ${missing[*]}"
  if [[ $(id -u) -eq 0 ]]; then
    SUDO=()
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO=(sudo)
  else
    echo "setup: cannot install packages without root. Run this, then run setup again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Node packages: only when the lock file changed since the last install.
if [[ ! -f node_modules/.package-lock.json || package-lock.json -nt node_modules/.package-lock.json ]]; then
  echo "setup: installing Node packages"
  npm ci --no-audit --no-fund --loglevel=error
fi

# Assets fetched at setup (fonts), when their script exists.
if [[ -x scripts/assets.sh ]]; then scripts/assets.sh; fi

if [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
  echo "setup: configuring $BUILD_DIR"
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD_DIR" -j"$(nproc)" | grep -vE '^\[ *[0-9]+%\]|^Consolidate|^Scanning|^Built target' || true
test -f "$BUILD_DIR/tessimarke.node" || { echo "setup: build failed" >&2; exit 1; }
