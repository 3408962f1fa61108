#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the setup wizards' banner picture (631 x 64): a light-blue frame around a white field with two
# barcode labels at its right end. Run once; the JPEG is kept in the repository.
#   scripts/make-banner.sh [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-src/wizards/banner.jpg}"
bars() {  # bars X0 Y0: the bars of one label, widths from a fixed pattern
  local x=$1 y=$2 draw="" widths=(2 1 3 1 1 2 1 3 2 1 1 2 3 1 2 1 1 3 1 2)
  for w in "${widths[@]}"; do
    draw+="rectangle $x,$y $((x + w - 1)),$((y + 26)) "
    x=$((x + w + 2))
  done
  echo "$draw"
}
label() {  # label X0: a white label with a grey edge, bars and a text line under them
  local x=$1
  echo "fill white stroke #7f8c99 rectangle $x,10 $((x + 84)),53 stroke none fill black $(bars $((x + 8)) 15) fill #555555 rectangle $((x + 8)),45 $((x + 60)),47"
}
convert -size 631x64 xc:'#9cc8ea' \
  -fill white -draw "rectangle 6,6 624,57" \
  -draw "$(label 430) $(label 530)" \
  -quality 90 "$out"
identify "$out"
