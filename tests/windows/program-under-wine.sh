#!/usr/bin/env bash
# The real Windows program under wine, on a virtual display: a first start hidden in the tray
# writes the settings and the autostart value, scans the user's pictures and installs one as
# the wallpaper; a second start ends at once. Needs WINEPREFIX (a prefix of its own) and DISPLAY.
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
if [ $echec -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $echec
