#!/usr/bin/env bash
# Makes a TIFF LZW strip and its plain twin with ImageMagick and libtiff's tiffcp: a 96 x 64
# RGB picture in one strip, long enough to widen codes to 12 bits and fill the table. The tests
# read the committed files; this script only documents how they were made.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -seed 3 -size 96x64 plasma: -depth 8 -compress None -define tiff:rows-per-strip=64 "$work/plain.tif"
tiffcp -c lzw -r 64 "$work/plain.tif" "$work/lzw.tif"
# Each file holds its one strip right after the 8-byte header.
strip() { tiffinfo -s "$1" | awk '/^ *0: \[/ {gsub(/[\[\],]/, " "); print $2, $3}'; }
read -r offset count < <(strip "$work/lzw.tif")
dd if="$work/lzw.tif" of=plasma.lzw bs=1 skip="$offset" count="$count" status=none
read -r offset count < <(strip "$work/plain.tif")
dd if="$work/plain.tif" of=plasma.rgb bs=1 skip="$offset" count="$count" status=none
