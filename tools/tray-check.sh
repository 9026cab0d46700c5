#!/usr/bin/env bash
# Checks the program in a notification area the way a person would: starts a virtual X server
# with a window manager and a tray host (trayer), starts verrelune hidden on a folder of
# pictures, clicks its icon (the wallpaper must change) and right-clicks it (the quick menu
# opens), and saves a screenshot of the menu.
#   xvfb-run -a -s "-screen 0 1280x800x24" tools/tray-check.sh BUILD_DIR PICTURES OUT.png
# Needs openbox, trayer, xdotool and ImageMagick (apt-get install them).
set -euo pipefail
build=${1:?build folder}; pictures=${2:?pictures folder}; out=${3:?screenshot}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run" && chmod 700 "$home/run"
ln -s "$(cd "$pictures" && pwd)" "$home/Pictures"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/run XDG_CURRENT_DESKTOP=
openbox >/dev/null 2>&1 &
sleep 1
trayer --edge top --align right --height 24 --widthtype request --SetDockType true >/dev/null 2>&1 &
sleep 1
"$build/verrelune" /background &
pid=$!
sleep 5
eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --class trayer | head -1)")"
ix=$((X + WIDTH - 12)); iy=$((Y + HEIGHT / 2))
before=$(grep WallPaperActuel "$XDG_CONFIG_HOME/verrelune/registry.reg" || true)
xdotool mousemove $ix $iy click 1
sleep 2
after=$(grep WallPaperActuel "$XDG_CONFIG_HOME/verrelune/registry.reg" || true)
echo "before: $before"
echo "after:  $after"
xdotool mousemove $ix $iy click 3
sleep 2
import -window root "$out"
"$build/verrelune" --quit
wait $pid
[ "$before" != "$after" ] || { echo "the click did not change the wallpaper" >&2; exit 1; }
