#!/usr/bin/env bash
# Times starts of the program, from the launch until it listens for commands, with a copy of the
# thumbnail cache in CACHE (wallpaper-bench fill makes a full one), and with an empty cache. Each
# start gets a fresh copy, on a virtual display with throw-away HOME and XDG folders, and is
# ended with --quit. Extra environment (VERRELUNE_THUMBNAIL_CACHE_BYTES=...) passes through.
#
#   bench/start-with-full-cache.sh PROGRAM CACHE [RUNS]     (RUNS defaults to 5)
set -euo pipefail
program=$(realpath "$1")
cache=$(realpath "$2")
runs=${3:-5}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export XDG_CACHE_HOME=$scratch/cache XDG_RUNTIME_DIR=$scratch/run XDG_CURRENT_DESKTOP=
export VERRELUNE_WALLPAPER_COMMAND=true
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

source "$(dirname "$0")/start-to-listening.sh"

for kind in full empty; do
  times=()
  for ((i = 0; i < runs; i++)); do
    rm -rf "$XDG_CACHE_HOME"
    mkdir -p "$XDG_CACHE_HOME/verrelune"
    [ "$kind" = full ] && cp "$cache"/thumbnails.data "$cache"/thumbnails.index "$XDG_CACHE_HOME/verrelune/"
    sync
    times+=("$(start_to_listening "$program")")
  done
  echo "$kind cache: start to listening ${times[*]} s"
done
