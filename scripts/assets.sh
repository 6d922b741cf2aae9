#!/usr/bin/env bash
# Puts the three fonts the addon opens at run time under app/assets/fonts/ (git-ignored), from the
# pinned packages that setup (or, in an installed package, npm) installs: IBM Plex Mono Regular
# from the npm package in package.json, Noto Sans Regular from Debian's fonts-noto-core, GNU
# Unifont from Debian's fonts-unifont (an OpenType file that FreeType opens under the name
# unifont.ttf). Glyph metrics depend on the exact font files, so the versions are pinned and
# checked. Idempotent: a second run copies nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

DEST=app/assets/fonts
NOTO_VERSION=20201225-1
UNIFONT_VERSION=1:15.0.01-2

# The npm font package is found as Node finds it: in this package's node_modules, or, once this
# package is installed into another project, in a node_modules further up.
PLEX=@expo-google-fonts/ibm-plex-mono/400Regular/IBMPlexMono_400Regular.ttf
plex=$(node -p "require.resolve('$PLEX')" 2>/dev/null || echo "node_modules/$PLEX")

# Source file, destination name, and the Debian package (with its pinned version) that ships it.
FONTS=(
  "$plex|IBMPlexMono-Regular.ttf|"
  "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf|NotoSans-Regular.ttf|fonts-noto-core=$NOTO_VERSION"
  "/usr/share/fonts/opentype/unifont/unifont.otf|unifont.ttf|fonts-unifont=$UNIFONT_VERSION"
)

mkdir -p "$DEST"
for entry in "${FONTS[@]}"; do
  IFS='|' read -r source name pin <<<"$entry"
  if [[ -n "$pin" ]]; then
    package=${pin%%=*}
    want=${pin#*=}
    have=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || true)
    if [[ "$have" != "$want" ]]; then
      echo "assets: $package $want is needed for $name (found: ${have:-none}):" >&2
      echo "  apt-get install -y --no-install-recommends $package=$want" >&2
      exit 1
    fi
  fi
  if [[ ! -f "$source" ]]; then
    echo "assets: $source is missing (run npm ci, or install the font package)" >&2
    exit 1
  fi
  if ! cmp -s "$source" "$DEST/$name"; then
    cp "$source" "$DEST/$name"
    echo "assets: $DEST/$name"
  fi
done
