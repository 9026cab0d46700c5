#!/usr/bin/env bash
# Makes the TIFF test files of this folder with ImageMagick and libtiff's own tools (tiffcp,
# tiffcrop, tiffset, raw2tiff), from a 41 x 27 crop of ImageMagick's built-in "rose:" picture.
# Run once by hand; the files are committed, the tests never run the tools.
#   tests/data/tiff/make.sh        (needs imagemagick and libtiff-tools)
set -euo pipefail
cd "$(dirname "$0")"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rm -f ./*.tif

rose=(rose: -crop 41x27+12+9 +repage)
convert "${rose[@]}" -depth 8 -compress none rgb8.tif
convert "${rose[@]}" -depth 16 -compress none rgb16.tif
convert "${rose[@]}" -alpha set -channel A -evaluate set 60% +channel -depth 8 rgba8.tif
convert "${rose[@]}" -alpha set -channel A -evaluate set 60% +channel -depth 8 -define tiff:alpha=associated \
  "$scratch/rgba8-assoc.tif"
convert "${rose[@]}" -alpha set -channel A -evaluate set 30% +channel -depth 16 "$scratch/rgba16.tif"
grey=("${rose[@]}" -colorspace gray)
convert "${grey[@]}" -threshold 50% -depth 1 -define quantum:polarity=min-is-black gray1-minisblack.tif
convert "${grey[@]}" -threshold 50% -depth 1 -define quantum:polarity=min-is-white "$scratch/gray1-miniswhite.tif"
convert "${grey[@]}" -depth 4 -define quantum:polarity=min-is-black gray4-minisblack.tif
convert "${grey[@]}" -depth 4 -define quantum:polarity=min-is-white "$scratch/gray4-miniswhite.tif"
convert "${grey[@]}" -depth 8 -define quantum:polarity=min-is-black "$scratch/gray8-minisblack.tif"
convert "${grey[@]}" -depth 8 -define quantum:polarity=min-is-white "$scratch/gray8-miniswhite.tif"
convert "${grey[@]}" -depth 16 gray16.tif
convert "${rose[@]}" -colors 2 -type Palette -depth 1 palette1.tif
convert "${rose[@]}" -colors 16 -type Palette -depth 4 "$scratch/palette4.tif"
convert "${rose[@]}" -colors 200 -type Palette -depth 8 "$scratch/palette8.tif"
convert "${rose[@]}" -colorspace CMYK -depth 8 cmyk8.tif
convert "${rose[@]}" -colorspace Lab -depth 8 lab8.tif

# Byte orders, compressions, predictors and strips.
tiffcp -B rgb8.tif rgb8-be.tif
tiffcp -c lzw rgb8.tif rgb8-lzw.tif
tiffcp -B -c lzw:2 rgb8.tif rgb8-lzw-predictor-be.tif
tiffcp -c packbits rgb8.tif rgb8-packbits.tif
tiffcp -r 4 rgb8.tif rgb8-strips.tif
tiffcp -c lzw:2 -r 4 rgb8.tif rgb8-lzw-predictor-strips.tif
tiffcp -B -c lzw:2 rgb16.tif rgb16-lzw-predictor-be.tif
tiffcp -B -c packbits "$scratch/rgba8-assoc.tif" rgba8-assoc-packbits-be.tif
tiffcp -B "$scratch/rgba16.tif" rgba16-be.tif
tiffcp -B "$scratch/gray1-miniswhite.tif" gray1-miniswhite-be.tif
tiffcp -c lzw "$scratch/gray4-miniswhite.tif" gray4-miniswhite-lzw.tif
tiffcp -c lzw:2 "$scratch/gray8-minisblack.tif" gray8-minisblack-lzw-predictor.tif
tiffcp -B "$scratch/gray8-miniswhite.tif" gray8-miniswhite-be.tif
tiffcp -B -c packbits -r 5 gray16.tif gray16-packbits-strips-be.tif
tiffcp -B "$scratch/palette4.tif" palette4-be.tif
tiffcp -c lzw "$scratch/palette8.tif" palette8-lzw.tif
tiffcp -B -c lzw lab8.tif lab8-lzw-be.tif

# 16-bit CMYK from raw samples, PackBits in strips of 24 rows, big-endian.
convert "${rose[@]}" -colorspace CMYK -depth 16 -endian LSB "cmyk:$scratch/cmyk16.raw"
raw2tiff -M -w 41 -l 27 -b 4 -d short -p cmyk -c packbits "$scratch/cmyk16.raw" "$scratch/cmyk16.tif"
tiffcp -B "$scratch/cmyk16.tif" cmyk16-packbits-be.tif

# A region cut out by tiffcrop, PackBits-compressed.
tiffcrop -U px -X 30 -Y 20 -c packbits rgb8.tif crop-packbits.tif

# One strip whose RowsPerStrip says 5: the strip still holds the whole picture.
cp rgb8.tif rgb8-one-strip-rows5.tif
tiffset -s 278 5 rgb8-one-strip-rows5.tif

# Two pages: only the first (the palette picture) is read.
tiffcp palette8-lzw.tif rgb8.tif multipage.tif

# Deflate (8, and 32946 of older writers) in strips, with and without differencing.
tiffcp -c zip rgb8.tif rgb8-zip.tif
tiffcp -B -c zip:2 -r 4 rgb8.tif rgb8-zip-predictor-strips-be.tif
tiffcp -c zip:2 gray16.tif gray16-zip-predictor.tif
tiffcp -B -c zip "$scratch/palette4.tif" palette4-zip-be.tif
tiffcp -c zip cmyk8.tif "$scratch/cmyk8-zip.tif"
cp "$scratch/cmyk8-zip.tif" cmyk8-old-deflate.tif
tiffset -s 259 32946 cmyk8-old-deflate.tif

# Tiles of 16 x 16 pixels: the last column and row of tiles run past the 41 x 27 picture.
tiles=(-t -w 16 -l 16)
tiffcp "${tiles[@]}" rgb8.tif rgb8-tiled.tif
tiffcp "${tiles[@]}" -B -c lzw rgb8.tif rgb8-tiled-lzw-be.tif
tiffcp "${tiles[@]}" -c lzw:2 rgb8.tif rgb8-tiled-lzw-predictor.tif
tiffcp "${tiles[@]}" -B -c packbits rgb8.tif rgb8-tiled-packbits-be.tif
tiffcp "${tiles[@]}" -c zip rgb8.tif rgb8-tiled-zip.tif
tiffcp "${tiles[@]}" -B -c zip:2 rgb8.tif rgb8-tiled-zip-predictor-be.tif
tiffcp "${tiles[@]}" -c zip:2 "$scratch/rgba16.tif" rgba16-tiled-zip-predictor.tif
tiffcp "${tiles[@]}" -B -c lzw:2 gray16.tif gray16-tiled-lzw-predictor-be.tif
tiffcp "${tiles[@]}" -c packbits gray1-minisblack.tif gray1-tiled-packbits.tif
tiffcp "${tiles[@]}" -B gray4-minisblack.tif gray4-tiled-be.tif
tiffcp "${tiles[@]}" -c lzw "$scratch/palette8.tif" palette8-tiled-lzw.tif
tiffcp "${tiles[@]}" -B -c zip lab8.tif lab8-tiled-zip-be.tif
tiffcp "${tiles[@]}" -c packbits cmyk8.tif cmyk8-tiled-packbits.tif
# One tile larger than the picture both ways, Deflate with differencing, written by ImageMagick.
convert "${rose[@]}" -depth 8 -compress zip -define tiff:tile-geometry=48x32 rgb8-one-tile-zip.tif
