#!/usr/bin/env bash
# Run by npm when this package is installed into another project (`npm install tessimarke-*.tgz`):
# checks the Debian packages the addon is built against, puts the fonts in place (assets.sh) and
# builds the addon, and only it, into the package's own build/. It installs no system package
# itself: when some are missing it names them and the apt-get line that installs them, and fails.
# In a development checkout (one with tests/) it does nothing: scripts/setup.sh sets that up.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -d tests/unit ]] && exit 0

source scripts/packages.sh
mapfile -t missing < <(missing_packages "${BUILD_PACKAGES[@]}")
if ((${#missing[@]})); then
  echo "tessimarke: building the addon needs these Debian packages, which are not installed: ${missing[*]}" >&2
  echo "Install them, then install tessimarke again:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi

bash scripts/assets.sh
echo "tessimarke: building the addon into $PWD/build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIMARKE_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tessimarke >/dev/null
test -f build/tessimarke.node || { echo "tessimarke: the addon was not built" >&2; exit 1; }
