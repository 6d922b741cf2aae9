#!/usr/bin/env bash
# Makes the demo's sounds under app/assets/sounds/ with sox and oggenc: short synthesised tones,
# reproducible (sox -R, a fixed Ogg serial per file), mono at 22050 Hz. The files are small and
# committed; this script remakes any that are missing, or all of them with --force.
set -euo pipefail
cd "$(dirname "$0")/.."

DEST=app/assets/sounds
mkdir -p "$DEST"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# name|serial|sox synth arguments and effects
SOUNDS=(
  "chime|101|synth 0.9 pluck E5 tremolo 6 30 fade 0 0.9 0.7 gain -6"
  "click|102|synth 0.04 square 1400 fade 0 0.04 0.03 gain -12"
  "blip|103|synth 0.12 sine 660:990 fade 0 0.12 0.06 gain -8"
  "whoosh|104|synth 0.5 pinknoise band 900 600 fade q 0.15 0.5 0.3 gain -4"
)

for entry in "${SOUNDS[@]}"; do
  IFS='|' read -r name serial effects <<<"$entry"
  out="$DEST/$name.ogg"
  [[ -f "$out" && "${1:-}" != "--force" ]] && continue
  # shellcheck disable=SC2086
  sox -R -n -r 22050 -c 1 -b 16 "$tmp/$name.wav" $effects
  oggenc -Q -q 2 -s "$serial" -o "$out" "$tmp/$name.wav"
  echo "demo-assets: made $out"
done
