#!/usr/bin/env bash
# Checks, as a user sees it, that every change of wallpaper reaches the screen of a running
# desktop session: starts the program hidden, asks it COUNT times for the next wallpaper, and
# after each change takes screenshots until the screen matches the picture file that the
# desktop's own setting names (centred on black or stretched, as set), then once more two
# seconds later. A screen matches when the mean absolute difference over the screen between its
# top and bottom bars is under 3 of 255.
#
#   tools/wallpaper-on-screen.sh SESSION_SH DIR PROGRAM [COUNT]
#
# SESSION_SH is the script that started the session (`SESSION_SH start KIND DIR`); it runs
# commands in it (`SESSION_SH run DIR ...`) and takes its screenshots (`SESSION_SH shot DIR
# FILE`). DIR/kind names the desktop: gnome, gnome-wayland, kde, sway, xfce, mate, lxqt, openbox.
# PROGRAM is copied into DIR so that the session's user may run it; pictures go in
# DIR/home/Pictures beforehand. Needs ImageMagick. Exits non-zero when a change never matched.
set -euo pipefail
session=$1 dir=$(cd "$2" && pwd) program=$3 count=${4:-8}
kind=$(cat "$dir/kind")
run() { "$session" run "$dir" "$@"; }
work=$dir/logs/on-screen
mkdir -p "$work" "$dir/bin"
cp "$program" "$dir/bin/verrelune.new" && mv -f "$dir/bin/verrelune.new" "$dir/bin/verrelune"
owner=$(stat -c %U "$dir")
chown "$owner:" "$work" "$dir/bin" "$dir/bin/verrelune" 2>/dev/null || true

# Rows left out at the top and bottom: the top bars (GNOME, waybar, XFCE, MATE, trayer) and the
# bottom panels (Plasma, LXQt).
top=48 bottom=56
limit=3        # of 255
wait_s=6

# The fit the program asked for: its desktop value WallpaperStyle, "2" for stretched.
asked_mode() {
  grep -q '^"WallpaperStyle"="2"' "$dir/config/verrelune/registry.reg" && echo stretch || echo centre
}

# "PATH MODE TIME" of the picture the desktop's setting names now; MODE is centre or stretch.
named_picture() {
  local path mode
  case $kind in
    gnome|gnome-plain|gnome-wayland)
      path=$(run gsettings get org.gnome.desktop.background picture-uri | sed "s/^'//; s/'$//")
      mode=$(run gsettings get org.gnome.desktop.background picture-options) ;;
    mate)
      path=$(run gsettings get org.mate.background picture-filename | sed "s/^'//; s/'$//")
      mode=$(run gsettings get org.mate.background picture-options) ;;
    kde)
      local rc=$dir/config/plasma-org.kde.plasma.desktop-appletsrc
      path=$(grep -m1 '^Image=' "$rc" | cut -d= -f2-)
      mode=$(grep -m1 '^FillMode=' "$rc" | cut -d= -f2-)
      [ "$mode" = 0 ] && mode=stretched ;;
    sway)
      local args; args=$(pgrep -a -u "$owner" swaybg | tail -1)
      path=$(sed -n 's/.* -i \([^ ]*\).*/\1/p' <<<"$args")
      mode=$(sed -n 's/.* -m \([^ ]*\).*/\1/p' <<<"$args") ;;
    xfce)
      local prop; prop=$(run xfconf-query -c xfce4-desktop -l | grep '/last-image$' | head -1)
      path=$(run xfconf-query -c xfce4-desktop -p "$prop")
      mode=$(run xfconf-query -c xfce4-desktop -p "${prop%/last-image}/image-style")
      [ "$mode" = 3 ] && mode=stretched ;;
    lxqt)
      local conf; conf=$(find "$dir/config/pcmanfm-qt" -name settings.conf | head -1)
      path=$(grep -m1 '^Wallpaper=' "$conf" | cut -d= -f2-)
      # pcmanfm-qt writes its mode to this file only now and then: the mode asked for
      mode=$(asked_mode) ;;
    *)
      path=$(find "$dir/data/Verrelune" -name 'Verrelune.bmp' | head -1)
      mode=$(asked_mode) ;;
  esac
  path=$(python3 -c 'import sys, urllib.parse; p = sys.argv[1]
print(urllib.parse.unquote(p[7:]) if p.startswith("file://") else p)' "$path")
  case $mode in *stretch*) mode=stretch ;; *) mode=centre ;; esac
  # the file's time tells a change where the name stays (the plain X11 root window)
  echo "$path $mode $(stat -c %y "$path" 2>/dev/null | tr -d " ")"
}

# Sets d to the mean absolute difference, in 0..255, between the screenshot and the picture as
# the desktop should show it. The expected rows are made once per picture: per name and time,
# since the plain X11 root window keeps one name for every change.
expected_for=""
difference() {
  local shot=$1 picture=$2 mode=$3 size stamp
  size=$(identify -format '%wx%h' "$shot")
  stamp=$(stat -c %y "$picture" 2>/dev/null)
  local w=${size%x*} h=${size#*x}
  local crop="${w}x$((h - top - bottom))+0+$top"
  if [ "$expected_for" != "$picture $stamp $mode $size" ]; then
    if [ "$mode" = stretch ]; then
      convert "$picture" -resize "${size}!" -crop "$crop" +repage "$work/expected.png"
    else
      convert "$picture" -background black -gravity center -extent "$size" +gravity -crop "$crop" +repage \
        "$work/expected.png"
    fi
    expected_for="$picture $stamp $mode $size"
  fi
  d=$(convert "$shot" -alpha off -crop "$crop" +repage "$work/expected.png" -compose difference \
    -composite -format '%[fx:mean*255]' info: | awk '{printf "%.2f", $1}')
}

shot() { "$session" shot "$dir" "$work/shot.png" >/dev/null 2>&1; }

run "$dir/bin/verrelune" --quit >/dev/null 2>&1 || true
run sh -c "'$dir/bin/verrelune' /background >'$work/program.log' 2>&1 &"
sleep 5
failures=0
for i in $(seq "$count"); do
  before=$(named_picture)
  run "$dir/bin/verrelune" --next
  start=$(date +%s.%N)
  matched=""
  while :; do
    # the command returns once the program has it, before the desktop's setting is written
    current=$(named_picture)
    read -r picture mode _ <<<"$current"
    # sway names no file while it restarts its background drawer
    [ -f "$picture" ] || current=$before
    now=$(date +%s.%N)
    if [ "$current" != "$before" ]; then
      shot
      now=$(date +%s.%N)
      difference "$work/shot.png" "$picture" "$mode"
      if awk -v d="$d" -v l="$limit" 'BEGIN { exit !(d < l) }'; then
        matched=$(awk -v a="$start" -v b="$now" 'BEGIN { printf "%.1f", b - a }')
        break
      fi
    else
      d="(setting unchanged)"
    fi
    awk -v a="$start" -v b="$now" -v w="$wait_s" 'BEGIN { exit !(b - a > w) }' && break
    sleep 0.3
  done
  if [ -n "$matched" ]; then
    sleep 2
    shot
    d_now=$d
    difference "$work/shot.png" "$picture" "$mode"
    later=$d d=$d_now
    cp "$work/shot.png" "$work/change-$i.png"
    if awk -v d="$later" -v l="$limit" 'BEGIN { exit !(d < l) }'; then
      echo "change $i: $(basename "$picture") $mode: on screen after ${matched} s (difference $d), still 2 s later ($later)"
      continue
    fi
    echo "change $i: $(basename "$picture") $mode: on screen after ${matched} s, gone 2 s later (difference $later)"
  else
    cp "$work/shot.png" "$work/change-$i.png"
    echo "change $i: $(basename "$picture") $mode: not on screen within ${wait_s} s (difference $d)"
  fi
  failures=$((failures + 1))
done
echo "$kind: $((count - failures)) of $count changes reached the screen"
ls "$dir/data/Verrelune/"
[ "$failures" -eq 0 ]
