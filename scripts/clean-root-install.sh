#!/usr/bin/env bash
# Installs the Debian package as people do, `apt-get install ./verrelune_<version>_amd64.deb`, on
# a fresh Debian system without build tools (a debootstrap chroot of the running release), then
# checks that the program finds every library, starts from /usr/bin and from its desktop entry's
# Exec (on a virtual X display of this machine), and that `apt-get remove verrelune` takes away
# every file the package installed and leaves the user's settings.
# Needs root and the Debian archive. The base system is kept in DIR/base.tar for the next runs;
# each run starts again from a clean copy of it.
# Usage: scripts/clean-root-install.sh [PACKAGE.deb] [DIR]    (default: build/packages, build-clean-root)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
deb=$(readlink -f "${1:-$(ls build/packages/verrelune_*_amd64.deb | tail -n1)}")
dir=$(readlink -f "${2:-build-clean-root}")
verrelune_install_missing debootstrap xvfb xauth
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
mirror=${mirror:-http://deb.debian.org/debian}

mkdir -p "$dir"
if [ ! -f "$dir/base.tar" ]; then
  rm -rf "$dir/base"
  debootstrap --variant=minbase "$suite" "$dir/base" "$mirror" >"$dir/debootstrap.log" 2>&1 ||
    { tail -n 20 "$dir/debootstrap.log"; exit 1; }
  tar -C "$dir/base" -cf "$dir/base.tar" .
  rm -rf "$dir/base"
fi
racine="$dir/root"
rm -rf "$racine"
mkdir -p "$racine"
tar -C "$racine" -xf "$dir/base.tar"

# The program reads /proc/self/exe; its window goes to a virtual display of this machine.
affichage=:$((90 + RANDOM % 100))
Xvfb "$affichage" -screen 0 1280x800x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
xvfb=$!
mount -t proc proc "$racine/proc"
mkdir -p "$racine/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$racine/tmp/.X11-unix"
nettoyer() {
  umount "$racine/tmp/.X11-unix" 2>/dev/null || true
  umount "$racine/proc" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap nettoyer EXIT
cp /etc/resolv.conf "$racine/etc/resolv.conf" 2>/dev/null || true

dedans() { chroot "$racine" env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "$@"; }
echec=0
faute() { echo "FAIL: $*"; echec=1; }

echo "== a system without build tools: $(dedans sh -c 'command -v gcc g++ cc make cmake || echo none')"
cp "$deb" "$racine/tmp/"
dedans apt-get update -qq
echo "\$ apt-get install ./tmp/$(basename "$deb")"
dedans sh -c "cd / && DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./tmp/$(basename "$deb")" \
  >"$dir/install.log" 2>&1 || { tail -n 30 "$dir/install.log"; exit 1; }
grep -E '^[0-9]+ upgraded' "$dir/install.log"
echo "verrelune --version: $(dedans /usr/bin/verrelune --version)"
manquantes=$(dedans ldd /usr/bin/verrelune | grep 'not found' || true)
[ -z "$manquantes" ] || faute "libraries not found: $manquantes"
# The platform plugins Qt loads at run time: the X11 one and, recommended, the Wayland one.
for plugin in platforms/libqxcb.so platforms/libqwayland-generic.so; do
  chemin=/usr/lib/x86_64-linux-gnu/qt6/plugins/$plugin
  [ -f "$racine$chemin" ] || { faute "no $chemin"; continue; }
  manquantes=$(dedans ldd "$chemin" | grep 'not found' || true)
  [ -z "$manquantes" ] || faute "$plugin needs libraries not installed: $manquantes"
done

# A user with a home of their own; the program runs on the virtual display.
dedans sh -c 'mkdir -p /home/ana/Pictures /home/ana/runtime && chmod 700 /home/ana/runtime'
cp tests/data/pngsuite/basn2c08.png "$racine/home/ana/Pictures/a.png"
session() {
  chroot "$racine" env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME=/home/ana \
    XDG_RUNTIME_DIR=/home/ana/runtime DISPLAY="$affichage" VERRELUNE_WALLPAPER_COMMAND=true "$@"
}
# Starts COMMAND..., waits for its window, then ends it with --quit.
demarrer() {
  local journal="$dir/program.log"
  session "$@" >"$journal" 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    [ -S "$racine/home/ana/runtime/verrelune.sock" ] && break
    sleep 0.2
  done
  sleep 2
  if ! kill -0 "$pid" 2>/dev/null; then
    faute "'$*' did not keep running: $(cat "$journal")"
    return
  fi
  session /usr/bin/verrelune --quit || faute "--quit did not reach '$*'"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$pid" 2>/dev/null && { faute "'$*' did not end on --quit"; kill "$pid"; }
  wait "$pid" 2>/dev/null || true
  echo "started and ended: $*"
}
demarrer /usr/bin/verrelune /background
exec_entree=$(sed -n 's/^Exec=//p' "$racine/usr/share/applications/verrelune.desktop" | head -n1)
demarrer sh -c "$exec_entree"

entree=$racine/home/ana/.config/autostart/verrelune.desktop
grep -qx 'TryExec=/usr/bin/verrelune' "$entree" || faute "the autostart entry has no TryExec: $(cat "$entree")"
[ -f "$racine/home/ana/.config/verrelune/registry.reg" ] || faute "no settings were written"

echo "\$ apt-get remove verrelune"
dedans dpkg-query -L verrelune >"$dir/files.txt"
dedans sh -c 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -q verrelune' >"$dir/remove.log" 2>&1 ||
  { tail -n 20 "$dir/remove.log"; exit 1; }
restes=0
while read -r fichier; do
  if [ -f "$racine$fichier" ] || [ -L "$racine$fichier" ]; then
    faute "$fichier is still there"
    restes=$((restes + 1))
  fi
done <"$dir/files.txt"
echo "files of the package: $(wc -l <"$dir/files.txt") paths, $restes left after the removal"
[ -f "$racine/home/ana/.config/verrelune/registry.reg" ] || faute "the removal took the user's settings"
[ -f "$entree" ] || faute "the removal took the user's autostart entry"
[ ! -e "$racine/usr/bin/verrelune" ] && echo "the autostart entry's TryExec now names a missing file: the session skips it"

if [ $echec -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $echec
