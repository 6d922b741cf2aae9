#!/usr/bin/env bash
# Draws the window icon, app/icons/icon.png (64 x 64 RGBA), from plain shapes with ImageMagick.
# The committed PNG is the output of this script; run it again only to change the icon.
set -euo pipefail
cd "$(dirname "$0")/../.."
convert -size 64x64 xc:none \
  -fill '#1d2b53' -draw 'roundrectangle 2,2 61,61 12,12' \
  -fill '#29adff' -draw 'polygon 32,8 56,32 32,56 8,32' \
  -fill '#ffec27' -draw 'circle 32,32 32,22' \
  -fill '#ff004d' -draw 'rectangle 29,29 35,35' \
  -strip -depth 8 -define png:color-type=6 app/icons/icon.png
