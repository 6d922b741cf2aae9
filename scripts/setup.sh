#!/usr/bin/env bash
# Sets everything up on a Debian 12 machine, idempotently: the system packages the addon, its tests
# and the demo need, the Node packages, and the build. A second run is quick and changes nothing.
# Builds only the addon (all the demo needs); with --tests also the unit tests, the sanitized
# tests, the test harnesses and the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${TESSIMARKE_BUILD_DIR:-build}
targets=(--target tessimarke)
case "${1:-}" in
  --tests) targets=() ;;
  "") ;;
  *) echo "setup: unknown option $1 (options: --tests)" >&2; exit 2 ;;
esac

source scripts/packages.sh
mapfile -t missing < <(missing_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}")

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
# The build's own failure counts (pipefail), not the filter's finding nothing to print.
if ! cmake --build "$BUILD_DIR" -j"$(nproc)" "${targets[@]}" \
    | { grep -vE '^\[ *[0-9]+%\]|^Consolidate|^Scanning|^Built target' || true; }; then
  echo "setup: build failed" >&2
  exit 1
fi
test -f "$BUILD_DIR/tessimarke.node" || { echo "setup: build failed" >&2; exit 1; }
