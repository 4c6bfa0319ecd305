#!/usr/bin/env bash
# Redraws the OSD artwork: 8-bit RGBA PNGs at the exact sizes the painter expects.
# Stored without row filters and deflated at level 9: the OSD decodes every image on every
# paint, and so these flat images decode faster than filtered and stored ones (131 against
# 194 us a paint in paint_bench) and take 6 KB instead of 185 KB of every running daemon.
# Needs ImageMagick's convert. Run from anywhere; writes beside this script.
set -euo pipefail
cd "$(dirname "$0")"

bar() {  # name width top-colour bottom-colour
  local tile
  tile=$(mktemp --suffix=.png)
  convert -size "$2x26" "gradient:$3-$4" "$tile"
  convert -size "$2x26" xc:none -tile "$tile" -stroke '#00000060' -strokewidth 1 \
    -draw "roundrectangle 0.5,0.5 $(($2 - 1)).5,25.5 6,6" -define png:color-type=6 -define png:compression-level=9 -define png:compression-filter=0 -define png:compression-strategy=0 "PNG32:$1.png"
  rm -f "$tile"
}
# Background: a dark, slightly lit groove; foreground: bright blue-white; muted: grey.
convert -size 573x26 xc:none -fill '#202226' -stroke '#4a4e55' -strokewidth 1 \
  -draw "roundrectangle 0.5,0.5 572.5,25.5 7,7" -fill none -stroke '#00000080' \
  -draw "line 7,2 565,2" -define png:color-type=6 -define png:compression-level=9 -define png:compression-filter=0 -define png:compression-strategy=0 PNG32:IDR_BARBG.png
bar IDR_BARFG 406 '#f4faff' '#5fa8ff'
bar IDR_BARMT 406 '#b4b4b4' '#6c6c6c'

speaker() {  # name waves [struck]
  local draw=(-fill white -stroke none -draw "rectangle 3,10 9,18"
              -draw "polygon 9,10 17,3 17,25 9,18")
  local waves=()
  [ "$2" -ge 1 ] && waves+=(-draw "arc 13,9 23,19 -50,50")
  [ "$2" -ge 2 ] && waves+=(-draw "arc 13,5 27,23 -50,50")
  [ "$2" -ge 3 ] && waves+=(-draw "arc 13,1 31,27 -50,50")
  local strike=()
  [ "${3:-}" = struck ] && strike+=(-stroke '#ff4d4d' -strokewidth 3 -draw "line 4,25 30,3")
  convert -size 34x28 xc:none "${draw[@]}" -fill none -stroke white -strokewidth 2 \
    "${waves[@]}" "${strike[@]}" -define png:color-type=6 -define png:compression-level=9 -define png:compression-filter=0 -define png:compression-strategy=0 "PNG32:$1.png"
}
speaker IDR_VOLUME_1 0
speaker IDR_VOLUME_2 1
speaker IDR_VOLUME_3 2
speaker IDR_VOLUME_4 3
speaker IDR_VOLUME_M 3 struck

rays=()
for a in 0 45 90 135 180 225 270 315; do
  x1=$(awk -v a=$a 'BEGIN{printf "%.1f", 14+8*cos(a*3.14159/180)}')
  y1=$(awk -v a=$a 'BEGIN{printf "%.1f", 14+8*sin(a*3.14159/180)}')
  x2=$(awk -v a=$a 'BEGIN{printf "%.1f", 14+12*cos(a*3.14159/180)}')
  y2=$(awk -v a=$a 'BEGIN{printf "%.1f", 14+12*sin(a*3.14159/180)}')
  rays+=(-draw "line $x1,$y1 $x2,$y2")
done
convert -size 28x28 xc:none -fill '#ffd23f' -stroke none -draw "circle 14,14 14,20" \
  -fill none -stroke '#ffd23f' -strokewidth 2 "${rays[@]}" -define png:color-type=6 -define png:compression-level=9 -define png:compression-filter=0 -define png:compression-strategy=0 \
  PNG32:IDR_BRIGHTNESS.png

# Application icon: the speaker on a dark rounded tile.
convert -size 64x64 xc:none -fill '#202226' -draw "roundrectangle 0,0 63,63 12,12" \
  \( IDR_VOLUME_4.png -filter point -resize 150% \) -gravity center -compose Over -composite \
  -define png:color-type=6 -define png:compression-level=9 -define png:compression-filter=0 -define png:compression-strategy=0 PNG32:IDR_MAINFRAME.png
