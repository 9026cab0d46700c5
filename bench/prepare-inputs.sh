#!/usr/bin/env bash
# Makes the benchmark's input folders from the wallpapers of Debian's gnome-backgrounds package:
#   bench/prepare-inputs.sh OUT      ->  OUT/jpg/*.jpg  OUT/bmp/*.bmp  OUT/gif/*.gif  OUT/tga/*.tga
# The package's .jpg files are taken as they are; its WebP wallpapers (the only raster format
# of recent versions) are re-encoded as JPEG at full size, quality 90, 4:2:0. The BMP inputs are
# 1920 x 1080 crops: six 24-bit and three 8-bit (palette, uncompressed) files. The GIF inputs are
# 256-colour (dithered) crops at 1920 x 1080 and 3840 x 2160, plain and interlaced; the Targa
# inputs are crops at the same sizes: 24- and 32-bit, uncompressed and run-length, and
# colour-mapped (uncompressed and run-length).
# Then: picture-bench --jpeg OUT/jpg --bmp OUT/bmp --gif OUT/gif --tga OUT/tga
set -euo pipefail
out=${1:?usage: prepare-inputs.sh OUT}
mkdir -p "$out/jpg" "$out/bmp" "$out/gif" "$out/tga"
shopt -s nullglob
for f in /usr/share/backgrounds/gnome/*.jpg /usr/share/backgrounds/gnome/*.jpeg; do cp "$f" "$out/jpg/"; done
for f in /usr/share/backgrounds/gnome/*.webp; do
  convert "$f" -quality 90 -sampling-factor 2x2 "$out/jpg/$(basename "${f%.*}").jpg"
done
# TIFF inputs. OUT/tif: crops at 1920 x 1080 and 3840 x 2160 of three wallpapers, 8-bit RGB,
# written uncompressed by ImageMagick, then recompressed by libtiff's tiffcp as LZW and Deflate,
# each with and without horizontal differencing, and PackBits, in strips and in tiles of
# 256 x 256 pixels. OUT/tif-photos: the photographs of the desktop wallpapers installed here
# (the largest size of each) at their own size, as LZW with and without differencing and as
# Deflate with differencing. Then: tiff-bench OUT/tif; tiff-bench OUT/tif-photos
mkdir -p "$out/tif" "$out/tif-photos"
to_tiffs() {
  local base=$1
  tiffcp -c lzw "$base-none.tif" "$base-lzw.tif"
  tiffcp -c lzw:2 "$base-none.tif" "$base-lzw-predictor.tif"
  tiffcp -c zip:2 "$base-none.tif" "$base-zip-predictor.tif"
}
for name in adwaita-d pixels-l wood-l; do
  [ -f "$out/jpg/$name.jpg" ] || continue
  for geometry in 1920x1080 3840x2160; do
    base=$out/tif/$name-${geometry#*x}
    convert "$out/jpg/$name.jpg" -resize "$geometry^" -gravity center -extent "$geometry" -type TrueColor \
      -compress none "$base-none.tif"
    to_tiffs "$base"
    tiffcp -c packbits "$base-none.tif" "$base-packbits.tif"
    tiffcp -c zip "$base-none.tif" "$base-zip.tif"
    for compression in none lzw lzw:2 packbits zip zip:2; do
      tiffcp -t -w 256 -l 256 -c "$compression" "$base-none.tif" "$base-tiled-${compression/:2/-predictor}.tif"
    done
  done
done
for folder in /usr/share/wallpapers/*/contents/images; do
  photos=("$folder"/*.jpg)
  [ ${#photos[@]} -gt 0 ] || continue
  largest=$(ls -S "${photos[@]}" | head -n 1)
  base=$out/tif-photos/$(basename "$(dirname "$(dirname "$folder")")")
  convert "$largest" -type TrueColor -compress none "$base-none.tif"
  to_tiffs "$base"
  rm "$base-none.tif"
done
crop=(-resize '1920x1080^' -gravity center -extent 1920x1080)
for name in adwaita-d grid-l licorice-d pixels-l truchet-d wood-l; do
  if [ -f "$out/jpg/$name.jpg" ]; then convert "$out/jpg/$name.jpg" "${crop[@]}" "BMP3:$out/bmp/$name-24.bmp"; fi
done
for name in adwaita-l symbolic-d wood-d; do
  if [ -f "$out/jpg/$name.jpg" ]; then
    convert "$out/jpg/$name.jpg" "${crop[@]}" -colors 256 -type Palette -compress None "BMP3:$out/bmp/$name-8.bmp"
  fi
done
for name in adwaita-d pixels-l wood-l; do
  [ -f "$out/jpg/$name.jpg" ] || continue
  for geometry in 1920x1080 3840x2160; do
    fit=(-resize "$geometry^" -gravity center -extent "$geometry")
    base=$name-${geometry#*x}
    convert "$out/jpg/$name.jpg" "${fit[@]}" -colors 256 "$out/gif/$base.gif"
    convert "$out/gif/$base.gif" -interlace GIF "$out/gif/$base-interlaced.gif"
    convert "$out/jpg/$name.jpg" "${fit[@]}" -type TrueColor "$out/tga/$base-24.tga"
    convert "$out/jpg/$name.jpg" "${fit[@]}" -type TrueColor -compress RLE "$out/tga/$base-24-rle.tga"
    convert "$out/jpg/$name.jpg" "${fit[@]}" -alpha set -type TrueColorAlpha "$out/tga/$base-32.tga"
    convert "$out/jpg/$name.jpg" "${fit[@]}" -alpha set -type TrueColorAlpha -compress RLE "$out/tga/$base-32-rle.tga"
    convert "$out/gif/$base.gif" -type Palette "$out/tga/$base-8.tga"
    convert "$out/gif/$base.gif" -type Palette -compress RLE "$out/tga/$base-8-rle.tga"
  done
done
