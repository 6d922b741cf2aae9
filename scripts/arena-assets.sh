#!/usr/bin/env bash
# Makes the arena example's music, examples/arena/assets/music.ogg, with sox and oggenc: an
# eight-second plucked arpeggio that loops seamlessly, reproducible (sox -R, a fixed Ogg serial).
# The file is small and committed; this script remakes it when missing, or with --force.
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=examples/arena/assets/music.ogg
[[ -f "$OUT" && "${1:-}" != "--force" ]] && exit 0
mkdir -p "$(dirname "$OUT")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Four bars of eight quarter-second notes: A minor, F, C, G.
NOTES=(A3 C4 E4 A4 E4 C4 A3 E4  F3 A3 C4 F4 C4 A3 F3 C4  C3 E3 G3 C4 G3 E3 C3 G3  G3 B3 D4 G4 D4 B3 G3 D4)
parts=()
for i in "${!NOTES[@]}"; do
  f="$tmp/n$i.wav"
  sox -R -n -r 22050 -c 1 -b 16 "$f" synth 0.25 pluck "${NOTES[$i]}" fade 0 0.25 0.08 gain -10
  parts+=("$f")
done
sox -R "${parts[@]}" "$tmp/music.wav"
oggenc -Q -q 1 -s 201 -o "$OUT" "$tmp/music.wav"
echo "arena-assets: made $OUT"
