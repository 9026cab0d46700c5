#!/usr/bin/env bash
# A photo library of N pictures for the thumbnail benchmark: the JPEGs of a folder (for
# example OUT/jpg of prepare-inputs.sh) reduced to photo size (1600 pixels wide, quality 85),
# then linked again and again under new names, 100 to a folder, two levels deep (the reduced
# originals sit beside OUT, in OUT-originals):
#   bench/make-library.sh JPEG_FOLDER N OUT
set -euo pipefail
source=${1:?usage: make-library.sh JPEG_FOLDER N OUT}
count=${2:?usage: make-library.sh JPEG_FOLDER N OUT}
out=${3:?usage: make-library.sh JPEG_FOLDER N OUT}
originals_dir="${out%/}-originals"
mkdir -p "$originals_dir"
originals=()
for f in "$source"/*.jpg; do
  small="$originals_dir/$(basename "$f")"
  [ -f "$small" ] || convert "$f" -resize '1600x1600>' -quality 85 "$small"
  originals+=("$small")
done
[ ${#originals[@]} -gt 0 ] || { echo "no JPEG in $source" >&2; exit 1; }
for ((i = 0; i < count; i++)); do
  folder="$out/a$((i / 10000))/b$(((i / 100) % 100))"
  [ $((i % 100)) -eq 0 ] && mkdir -p "$folder"
  ln -sf "${originals[$((i % ${#originals[@]}))]}" "$folder/p$i.jpg"
done
echo "$count pictures in $out (from ${#originals[@]} originals)"
