#!/usr/bin/env bash
# The real Windows program under wine, on a virtual display: a first start hidden in the tray
# writes the settings and the autostart value, scans the user's pictures and installs one as
# the wallpaper; a second start ends at once; the window shown on broken pictures stays idle.
# Needs WINEPREFIX (a prefix of its own), DISPLAY and inotifywait.
# Usage: program-under-wine.sh PATH/TO/verrelune.exe
set -uo pipefail
programme=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
echec=0
faute() { echo "FAIL: $*"; echec=1; }
requete() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n {print $2; exit}'; }
valeur() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n1; }

wineserver -k 2>/dev/null
wine reg delete 'HKCU\SOFTWARE\Verrelune' /f >/dev/null 2>&1

# A few pictures in the user's pictures folder, one in a sub-folder.
images=$(winepath -u "$(valeur 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' 'My Pictures')")
[ -d "$images" ] || { echo "FAIL: no pictures folder ($images)"; exit 1; }
mkdir -p "$images/Sub"
cp "$source_dir/tests/data/bmpsuite/g/rgb24.bmp" "$images/a.bmp"
cp "$source_dir/tests/data/pngsuite/basn2c08.png" "$images/Sub/b.png"
cp "$source_dir/tests/data/pngsuite/basn6a08.png" "$images/c.png"

cp "$programme" "$WINEPREFIX/drive_c/verrelune.exe"
wine 'C:\verrelune.exe' /background >/dev/null 2>&1 &
premier=$!

# The start-up change comes once the scan is done.
for _ in $(seq 120); do
  [ -n "$(requete 'HKCU\SOFTWARE\Verrelune' WallPaperActuel)" ] && break
  sleep 1
done

for nom in RepertoireRacineDuScan:REG_SZ CheckChgtDemarrage:REG_DWORD CheckChgtTousLes:REG_DWORD \
           EditFreqDuree:REG_DWORD ComboFreqTemps:REG_DWORD WallPaperActuel:REG_SZ DateTimeDernierChgt:REG_SZ; do
  [ "$(requete 'HKCU\SOFTWARE\Verrelune' "${nom%%:*}")" = "${nom#*:}" ] || faute "value ${nom%%:*} of type ${nom#*:} missing"
done
[ "$(valeur 'HKCU\SOFTWARE\Verrelune' EditFreqDuree)" = 0x1e ] || faute "EditFreqDuree is not 30"
[ "$(valeur 'HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' Verrelune)" = '"C:\verrelune.exe" /background' ] ||
  faute "Run value: $(valeur 'HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' Verrelune)"
fond=$(valeur 'HKCU\Control Panel\Desktop' Wallpaper)
case "$fond" in
  *'\AppData\Roaming\Verrelune\Verrelune.bmp') ;;
  *) faute "desktop Wallpaper value: $fond" ;;
esac
[ "$(valeur 'HKCU\Control Panel\Desktop' TileWallpaper)" = 0 ] || faute "TileWallpaper is not 0"
[ "$(head -c 2 "$(winepath -u "$fond" 2>/dev/null)" 2>/dev/null)" = BM ] || faute "no BMP file at $fond"

# Started hidden: its window is not on the screen.
for fenetre in $(xwininfo -root -children 2>/dev/null | awk '/"Verrelune/ {print $1}'); do
  xwininfo -id "$fenetre" | grep -q IsViewable && faute "the window shows despite /background"
done

# A second start of the same program file ends at once, the first one still running.
debut=$(date +%s)
timeout 60 wine 'C:\verrelune.exe' >/dev/null 2>&1 || faute "the second start did not end by itself"
[ $(( $(date +%s) - debut )) -lt 30 ] || faute "the second start took too long"
kill -0 "$premier" 2>/dev/null || faute "the first instance is gone"

wineserver -k 2>/dev/null
wait "$premier" 2>/dev/null

# The window shown on two pictures that cannot be read and a good one: each broken file is
# read at most twice, and the idle program uses no processor time. A broken picture comes first
# in the folder's order, so that the list selects it; the good one is named again until it does
# not come first. inotifywait counts the opens of the folder's files.
casses="$WINEPREFIX/drive_c/casses"
mkdir -p "$casses"
printf 'not a picture' >"$casses/broken-1.jpg"
printf 'not a picture' >"$casses/broken-2.jpg"
for essai in $(seq 50); do
  rm -f "$casses"/good-*.bmp
  cp "$source_dir/tests/data/bmpsuite/g/rgb24.bmp" "$casses/good-$essai.bmp"
  case "$(ls -U "$casses" | head -n1)" in *.jpg) break ;; esac
done
wine reg add 'HKCU\SOFTWARE\Verrelune' /v RepertoireRacineDuScan /d 'C:\casses\' /f >/dev/null 2>&1
# The thumbnails of the first start go: the good picture's, once kept, tells that start-up ended.
cache() { find "$WINEPREFIX/drive_c/users" -path '*/Verrelune/Thumbnails/thumbnails.index' 2>/dev/null | head -n1; }
index=$(cache)
[ -n "$index" ] && rm -rf "$(dirname "$index")"
taille() { index=$(cache); stat -c %s "${index:-/nonexistent}" 2>/dev/null || echo 0; }
inotifywait -m -e open --format '%f' "$casses" >"$WINEPREFIX/ouvertures" 2>"$WINEPREFIX/inotifywait.log" &
surveillant=$!
for _ in $(seq 50); do grep -q 'Watches established' "$WINEPREFIX/inotifywait.log" && break; sleep 0.1; done
wine 'C:\verrelune.exe' >/dev/null 2>&1 &
programme=$!
tics() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$programme/stat"; }
# Start-up ends with the good picture's thumbnail kept in the cache.
for _ in $(seq 120); do
  [ "$(taille)" -gt 8 ] && break
  sleep 0.5
done
if [ "$(taille)" -gt 8 ]; then
  sleep 2
  avant=$(tics)
  sleep 10
  apres=$(tics)
  echo "idle with broken pictures: $((apres - avant)) ticks in 10 s; opens: $(grep . "$WINEPREFIX/ouvertures" | sort | uniq -c | tr -s ' \n' ' ')"
  [ $((apres - avant)) -lt 20 ] || faute "the idle window used $((apres - avant)) ticks in 10 s"
  for nom in broken-1.jpg broken-2.jpg; do
    ouvertures=$(grep -cx "$nom" "$WINEPREFIX/ouvertures")
    [ "$ouvertures" -le 2 ] || faute "$nom was opened $ouvertures times"
  done
else
  faute "no thumbnail was made for the good picture"
fi
wineserver -k 2>/dev/null
wait "$programme" 2>/dev/null
kill "$surveillant" 2>/dev/null
wait "$surveillant" 2>/dev/null

if [ $echec -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $echec
