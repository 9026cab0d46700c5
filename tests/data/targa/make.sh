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
# Rows stored right to left: the picture is mirrored first, so that these show as the files above.
convert "$work/source.png" -flop -type TrueColor -orient BottomRight type2-24-bottom-up-right-to-left.tga
convert "$work/alpha.png" -flop -type TrueColorAlpha -compress RLE -orient TopRight \
  type10-32-top-down-right-to-left.tga
# 16-bit grey with alpha, as Pillow (Debian: python3-pil) writes it; ImageMagick 6 writes such
# pictures as 32-bit colour.
convert "$work/alpha.png" -colorspace Gray "$work/grey-alpha.png"
/usr/bin/python3 - "$work/grey-alpha.png" <<'PYTHON'
import sys
from PIL import Image
picture = Image.open(sys.argv[1]).convert("LA")
picture.save("type3-16-bottom-up.tga")
picture.save("type11-16-bottom-up.tga", compression="tga_rle")
PYTHON
# Run-length packets that run across row ends, as writers of the format's first version made
# them (no Debian tool does): the pixels of a picture with flat areas that cross row ends,
# packed as one stream.
convert "$work/source.png" -fill '#336699' -draw 'rectangle 15,3 22,8' -draw 'rectangle 0,4 6,9' \
  -fill '#993366' -draw 'rectangle 0,12 22,14' -depth 8 "$work/runs.ppm"
/usr/bin/python3 - "$work/runs.ppm" <<'PYTHON'
import sys
data = open(sys.argv[1], "rb").read()
fields = data.split(maxsplit=4)
width, height, pixels = int(fields[1]), int(fields[2]), fields[4]
rows = [pixels[y * width * 3:(y + 1) * width * 3] for y in range(height)]
stream = [bytes(row[x * 3:x * 3 + 3][::-1]) for row in reversed(rows) for x in range(width)]
packed = bytearray()
i = 0
while i < len(stream):
    run = 1
    while i + run < len(stream) and run < 128 and stream[i + run] == stream[i]:
        run += 1
    if run > 1:
        packed += bytes([0x80 | (run - 1)]) + stream[i]
        i += run
        continue
    end = i + 1
    while end < len(stream) and end - i < 128 and stream[end] != stream[end - 1]:
        end += 1
    if end < len(stream) and end - i > 1 and stream[end] == stream[end - 1]:
        end -= 1
    packed += bytes([end - i - 1]) + b"".join(stream[i:end])
    i = end
header = bytes([0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0]) + width.to_bytes(2, "little") + \
    height.to_bytes(2, "little") + bytes([24, 0])
open("type10-24-bottom-up-packets-across-rows.tga", "wb").write(header + packed)
PYTHON
