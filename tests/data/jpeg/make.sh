#!/usr/bin/env bash
# Makes the JPEG test files of this folder, and ImageMagick's conversion of each to RGB without
# colour management (the reference pixels), at full size and at half size (libjpeg's own
# scaling, as the reader does). The tests read the committed files; this script only documents
# how they were made. Needs imagemagick and Pillow (python3-pil).
#   ycck.jpg  ImageMagick writes CMYK pictures as Adobe YCCK (APP14 transform 2), inverted
#             samples; luminance subsampled 2 x 2
#   cmyk.jpg  Pillow writes them as Adobe CMYK (APP14 transform 0), inverted samples
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -seed 7 -size 48x32 plasma: -depth 8 "$work/source.png"
convert "$work/source.png" -colorspace CMYK -quality 92 -sampling-factor 2x2,1x1,1x1,1x1 ycck.jpg
/usr/bin/python3 - "$work/source.png" <<'PYTHON'
import sys
from PIL import Image
Image.open(sys.argv[1]).convert("RGB").convert("CMYK").save("cmyk.jpg", quality=92)
PYTHON
for name in cmyk ycck; do
  convert "$name.jpg" -colorspace sRGB -depth 8 "$name.ppm"
  convert -define jpeg:size=24x16 "$name.jpg" -colorspace sRGB -depth 8 "$name-half.ppm"
done
