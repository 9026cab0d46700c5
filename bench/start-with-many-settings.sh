#!/usr/bin/env bash
# Times one start of the program with a settings file of many values: from the launch until
# the program listens for commands from other starts, which it does once its window is made
# and the settings are read. Runs on a virtual display with throw-away HOME and XDG folders,
# then ends the program with --quit.
#
#   bench/start-with-many-settings.sh PROGRAM [VALUES]     (VALUES defaults to 40000)
set -euo pipefail
program=$(realpath "$1")
count=${2:-40000}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config/verrelune" "$scratch/data" "$scratch/run" "$scratch/pictures"
chmod 700 "$scratch/run"
{
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Verrelune]\n'
  printf '"RepertoireRacineDuScan"="%s/"\n' "$scratch/pictures"
  printf '"CheckChgtDemarrage"=dword:00000000\n"CheckChgtTousLes"=dword:00000000\n'
  printf '"EditFreqDuree"=dword:0000001e\n"ComboFreqTemps"=dword:00000001\n'
  seq -f '"Valeur%05g"="x"' 1 "$count"
} >"$scratch/config/verrelune/registry.reg"
echo "settings file: $(stat -c %s "$scratch/config/verrelune/registry.reg") bytes, $count extra values"

export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export XDG_RUNTIME_DIR=$scratch/run XDG_CURRENT_DESKTOP= VERRELUNE_WALLPAPER_COMMAND=true
source "$(dirname "$0")/start-to-listening.sh"
echo "start to listening: $(start_to_listening "$program") s"
