#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the program's icon for the desktop menu (the label printer of the about picture on a
# transparent field) at 256 x 256 and scales it to the usual hicolor sizes. Run once; the PNGs are
# kept in the repository (packaging/icons/<size>/tagwright.png).
set -euo pipefail
cd "$(dirname "$0")/.."
out=packaging/icons
bars() {  # bars X0 Y0 HEIGHT: the bars of the label, widths from a fixed pattern
  local x=$1 y=$2 h=$3 draw="" widths=(5 2 2 7 2 5 2 2 7 5 2 2 5 2 7)
  for w in "${widths[@]}"; do
    draw+="rectangle $x,$y $((x + w - 1)),$((y + h)) "
    x=$((x + w + 3))
  done
  echo "$draw"
}
mkdir -p "$out/256"
convert -size 256x256 xc:none \
  -fill '#3d4a57' -draw "roundrectangle 16,28 239,156 18,18" \
  -fill '#5d6d7c' -draw "roundrectangle 16,28 239,72 18,18" \
  -fill '#9cc8ea' -draw "rectangle 176,42 212,54" \
  -fill '#1f262d' -draw "rectangle 44,128 211,140" \
  -fill white -stroke '#7f8c99' -strokewidth 3 -draw "rectangle 56,134 199,244" \
  -stroke none -fill black -draw "$(bars 72 152 48)" \
  -fill '#555555' -draw "rectangle 72,212 160,218" \
  -depth 8 -define png:exclude-chunks=date,time "$out/256/tagwright.png"
for size in 16 24 32 48 64 128; do
  mkdir -p "$out/$size"
  convert "$out/256/tagwright.png" -resize "${size}x${size}" -depth 8 -define png:exclude-chunks=date,time \
    "$out/$size/tagwright.png"
done
identify "$out"/*/tagwright.png
