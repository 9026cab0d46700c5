#!/usr/bin/env bash
# Builds the fuzz harnesses with clang and runs each for a short, bounded time over its seeds.
#
#   fuzz/smoke.sh [BUILD_DIR] [SECONDS_PER_HARNESS]
#
# BUILD_DIR defaults to build-fuzz in the repository, SECONDS to 25. Seeds: fuzz/seeds/<harness>/
# and, for the bitmap, JPEG, PNG, GIF and Targa readers, their test files in tests/data; a harness
# with a fuzz/<harness>.dict gets those tokens too.
# New inputs go to a temporary folder, never into the seeds. Exits non-zero on any finding;
# the input that caused it is kept in BUILD_DIR/artifacts/<harness>/.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build-fuzz}
seconds=${2:-25}
corpus=$repo/tests/data

CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >/dev/null

status=0
run() {
  local harness=$1
  shift
  local seeds=()
  for folder in "$@"; do
    if [ -d "$folder" ]; then seeds+=("$folder"); else echo "fuzz/smoke.sh: no seed folder $folder" >&2; fi
  done
  local work artifacts dict=()
  [ -f "$here/$harness.dict" ] && dict=(-dict="$here/$harness.dict")
  work=$(mktemp -d)
  artifacts=$build/artifacts/$harness/
  mkdir -p "$artifacts"
  echo "== $harness: ${seconds}s over ${#seeds[@]} seed folders"
  # A picture near the size limit costs a second or two under the sanitizers, several times
  # that on a busy machine: only an input slower than 30 s counts as a hang here.
  if ! nice "$build/$harness" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "${dict[@]}" "$work" "${seeds[@]}" \
      2>"$build/$harness.log"; then
    tail -n 60 "$build/$harness.log"
    echo "FINDING in $harness: see $build/$harness.log and $artifacts" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/$harness.log" || true
  fi
  rm -rf "$work"
}

# The TIFF reader also starts from the conformance files of tests/data/tiff.
run tiff_fuzzer "$here/seeds/tiff" "$corpus/tiff"
run bmp_fuzzer "$here/seeds/bmp" "$corpus/bmpsuite/g" "$corpus/bmpsuite/q" "$corpus/bmpsuite/b"
run jpeg_fuzzer "$here/seeds/jpeg" "$corpus/jpeg"
run png_fuzzer "$here/seeds/png" "$corpus/pngsuite"
run gif_fuzzer "$here/seeds/gif" "$corpus/gif"
run tga_fuzzer "$here/seeds/tga" "$corpus/targa"
run decompressor_fuzzer "$here/seeds/decompressors"
run inflate_fuzzer "$here/seeds/inflate"
run settings_fuzzer "$here/seeds/settings"
exit $status
