#!/usr/bin/env bash
# Makes the GIF test files of this folder with ImageMagick and giflib's gifbuild. The tests read
# the committed files; this script only documents how they were made.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -seed 7 -size 23x17 plasma: "$work/source.png"
convert -seed 11 -size 9x6 plasma: "$work/second.png"
for bits in 1 2 3 4 5 6 7 8; do
  convert "$work/source.png" +dither -colors $((1 << bits)) "bits-$bits.gif"
done
convert "$work/source.png" +dither -colors 256 -interlace GIF interlaced.gif
# The signature in lower case.
cp bits-8.gif lower-case.gif
printf 'gif89a' | dd of=lower-case.gif bs=1 conv=notrunc status=none
# Two frames on a larger screen: the first is smaller than the screen.
convert -dispose none -delay 20 -page 30x20+0+0 "$work/source.png" -page +4+3 "$work/second.png" -loop 0 animation.gif
# A global and a local colour table; the graphic control block holds the byte 0x2C.
gifbuild local-table.txt > local-table.gif
