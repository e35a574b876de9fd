#!/usr/bin/env bash
# Draws the program's icon (the shapes of src/app/AppIcon.cpp and
# packaging/icons/tellvane.svg, on a 16-unit grid) at 1024 pixels with
# ImageMagick and scales it to the hicolor theme's sizes in
# packaging/icons/hicolor/. Run again after changing the icon; the PNGs are
# committed, so a build needs no ImageMagick.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/../packaging/icons/hicolor"
big="$(mktemp --suffix=.png)"
trap 'rm -f "$big"' EXIT
u=64  # pixels a unit at 1024
# ImageMagick's rectangles include their last pixel.
box() { echo "$(($1 * u / 4)),$(($2 * u / 4)) $((($1 + $3) * u / 4 - 1)),$((($2 + $4) * u / 4 - 1))"; }
convert -size 1024x1024 xc:none \
  -fill '#126e3c' -draw "roundrectangle $(box 8 4 48 36) $((6 * u / 4)),$((6 * u / 4))" \
  -fill '#1e1e1e' -draw "rectangle $(box 20 14 24 16)" \
  -fill '#f0c83c' -draw "rectangle $(box 0 52 64 6)" \
  -fill '#f0c83c' -draw "rectangle $(box 29 40 6 12)" \
  "PNG32:$big"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$out/${size}x${size}/apps"
  convert "$big" -filter Box -resize "${size}x${size}" -strip "PNG32:$out/${size}x${size}/apps/tellvane.png"
done
