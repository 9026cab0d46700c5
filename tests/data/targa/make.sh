#!/usr/bin/env bash
# Makes the Targa test files of this folder with ImageMagick and netpbm's pamtotga. The tests
# read the committed files; this script only documents how they were made. Names tell the
# image type, the pixel depth (and colour-map entry size), run-length or not, and the row order.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -seed 7 -size 23x17 plasma: "$work/source.png"
convert "$work/source.png" +dither -colors 200 "$work/palette.png"
convert "$work/palette.png" "$work/palette.ppm"
convert "$work/source.png" -alpha set -channel A -fx 'i/w' "$work/alpha.png"
for order in bottom-up top-down; do
  orient=()
  [ "$order" = top-down ] && orient=(-orient TopLeft)
  convert "$work/palette.png" -type Palette "${orient[@]}" "type1-8-map24-$order.tga"
  convert "$work/palette.png" -type Palette -compress RLE "${orient[@]}" "type9-8-map24-$order.tga"
  convert "$work/source.png" -type TrueColor "${orient[@]}" "type2-24-$order.tga"
  convert "$work/source.png" -type TrueColor -compress RLE "${orient[@]}" "type10-24-$order.tga"
  convert "$work/alpha.png" -type TrueColorAlpha "${orient[@]}" "type2-32-$order.tga"
  convert "$work/alpha.png" -type TrueColorAlpha -compress RLE "${orient[@]}" "type10-32-$order.tga"
  convert "$work/source.png" -type Grayscale "${orient[@]}" "type3-8-$order.tga"
  convert "$work/source.png" -type Grayscale -compress RLE "${orient[@]}" "type11-8-$order.tga"
done
# Colour maps of 16-bit entries, with an identification text.
pamtotga -cmap16 -norle "$work/palette.ppm" > type1-8-map16-bottom-up.tga
pamtotga -cmap16 "$work/palette.ppm" > type9-8-map16-bottom-up.tga
