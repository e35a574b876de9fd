#!/usr/bin/env bash
# Draws the pictures of the simulated bench's boards into Configuration/ (152 x 152
# pixels, the size of a board window's picture box). Run again after changing them;
# the JPEG files are kept in the repository.
set -euo pipefail
out="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/Configuration"

# board FILE PCB_COLOUR LABEL, then the parts to draw on it
board() {
  local file="$1" pcb="$2" label="$3"
  shift 3
  convert -size 152x152 xc:'#2b2b2b' \
    -fill "$pcb" -stroke '#111111' -strokewidth 2 -draw 'roundrectangle 8,14 143,137 8,8' \
    -fill '#d8c27a' -stroke none -draw 'circle 18,24 21,24' -draw 'circle 133,24 136,24' \
    -draw 'circle 18,127 21,127' -draw 'circle 133,127 136,127' \
    "$@" \
    -fill white -stroke none -font DejaVu-Sans-Bold -pointsize 11 -gravity south -annotate +0+18 "$label" \
    -quality 88 "$out/$file"
}

# Pump controller: a large power connector, a controller chip and two big capacitors.
board 1201-0003.jpg '#1f7a3a' 'PUMP CTRL 1201' \
  -fill '#222222' -draw 'rectangle 50,50 100,90' \
  -fill '#b0b0b0' -draw 'rectangle 20,30 44,70' -fill '#303030' -draw 'rectangle 24,34 40,66' \
  -fill '#3c5a9a' -draw 'circle 118,52 118,40' -draw 'circle 118,88 118,78' \
  -fill '#e0e0e0' -draw 'rectangle 56,96 96,104'

# Valve driver: a row of relays and a terminal strip.
board 1305-0012.jpg '#1d4f8c' 'VALVE DRV 1305' \
  -fill '#f0f0f0' -draw 'rectangle 20,30 48,58' -draw 'rectangle 56,30 84,58' -draw 'rectangle 92,30 120,58' \
  -fill '#2a9d4a' -draw 'rectangle 20,70 132,86' \
  -fill '#222222' -draw 'rectangle 60,94 92,112'

# Display and I/O board: a display window and two connectors.
board 0412-0101.jpg '#7a1f2a' 'DISPLAY IO 0412' \
  -fill '#101820' -draw 'rectangle 24,28 128,72' -fill '#5fd3a0' -draw 'rectangle 30,34 122,66' \
  -fill '#303030' -draw 'rectangle 24,82 64,104' -draw 'rectangle 88,82 128,104'
