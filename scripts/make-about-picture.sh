#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the about box's picture (112 x 112): a label printer on a light-blue field, with a barcode
# label coming out of its front. Run once; the JPEG is kept in the repository.
#   scripts/make-about-picture.sh [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-src/about/about.jpg}"
bars() {  # bars X0 Y0 HEIGHT: the bars of the label, widths from a fixed pattern
  local x=$1 y=$2 h=$3 draw="" widths=(2 1 1 3 1 2 1 1 3 2 1 1 2 1 3)
  for w in "${widths[@]}"; do
    draw+="rectangle $x,$y $((x + w - 1)),$((y + h)) "
    x=$((x + w + 1))
  done
  echo "$draw"
}
convert -size 112x112 xc:'#d6e9f8' \
  -fill '#3d4a57' -draw "roundrectangle 14,18 97,70 8,8" \
  -fill '#5d6d7c' -draw "roundrectangle 14,18 97,34 8,8" \
  -fill '#9cc8ea' -draw "rectangle 72,24 88,28" \
  -fill '#1f262d' -draw "rectangle 24,58 87,62" \
  -fill white -stroke '#7f8c99' -draw "rectangle 28,60 83,98" \
  -stroke none -fill black -draw "$(bars 34 66 18)" \
  -fill '#555555' -draw "rectangle 34,89 70,91" \
  -quality 90 "$out"
identify "$out"
