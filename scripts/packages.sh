# The packages people install, made and checked: the Debian package (lintian, appstreamcli,
# desktop-file-validate, its dependencies against the libraries the program needs) and the
# Windows installer and portable zip (installed, started and removed under wine in a fresh
# prefix). Sourced by ./test after the Linux and Windows builds; alone:
#   bash scripts/packages.sh [deb|windows]
# Where a tool cannot be installed, one line says so and that part is skipped.

# The tools come from the lists of scripts/deps.sh (the package) and scripts/windows.sh (nsis).
verrelune_project_version() {
  sed -n 's/^#define VERRELUNE_VERSION "\(.*\)"$/\1/p' "$1/generated/base/Version.h"
}

# Makes BUILD/packages/verrelune_<version>_amd64.deb and checks it; SCRATCH holds what it unpacks.
verrelune_deb_test() {
  local build=$1 scratch=$2 echec=0 version deb
  if ! verrelune_install_missing "${verrelune_packages_packaging[@]}" >"$scratch/deb-tools.log" 2>&1; then
    echo "Debian package check skipped: lintian, appstream and desktop-file-utils cannot be installed here ($(tail -n1 "$scratch/deb-tools.log"))"
    return 0
  fi
  cmake --build "$build" --target verrelune -j"$(nproc)" >/dev/null || return 1
  version=$(verrelune_project_version "$build")
  rm -f "$build"/packages/verrelune_*.deb
  (cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; return 1; }
  deb="$build/packages/verrelune_${version}_$(dpkg --print-architecture).deb"
  [ -f "$deb" ] || { echo "FAIL: no $deb"; return 1; }
  echo "Debian package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

  # Errors fail the check; warnings and notes are shown.
  local lintian=0
  lintian --display-info --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || lintian=$?
  grep -v 'running with root privileges' "$scratch/lintian.log"
  [ $lintian -eq 0 ] || { echo "FAIL: lintian reports errors"; echec=1; }
  echo "lintian: $(grep -c '^E:' "$scratch/lintian.log") errors, $(grep -c '^W:' "$scratch/lintian.log") warnings, $(grep -c '^I:' "$scratch/lintian.log") notes"

  local racine="$scratch/deb-root"
  rm -rf "$racine"
  dpkg-deb -x "$deb" "$racine"
  local metainfo
  metainfo=$(ls "$racine"/usr/share/metainfo/*.metainfo.xml)
  appstreamcli validate --no-net --explain "$metainfo" || { echo "FAIL: appstreamcli"; echec=1; }
  desktop-file-validate "$racine/usr/share/applications/verrelune.desktop" ||
    { echo "FAIL: desktop-file-validate"; echec=1; }
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
    { echo "FAIL: the metainfo's release is not $version"; echec=1; }
  [ "$("$racine/usr/bin/verrelune" --version)" = "Verrelune $version" ] ||
    { echo "FAIL: --version says $("$racine/usr/bin/verrelune" --version)"; echec=1; }
  local manuel
  manuel=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$racine/usr/share/man/man1/verrelune.1.gz" 2>&1 >/dev/null)
  [ -z "$manuel" ] || { echo "FAIL: the manual page: $manuel"; echec=1; }

  # Every library the program needs belongs to a package its Depends names.
  local depends bibliotheque chemin paquet candidat variante
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  local besoins=0
  for bibliotheque in $(objdump -p "$racine/usr/bin/verrelune" | awk '$1 == "NEEDED" {print $2}'); do
    besoins=$((besoins + 1))
    chemin=$(ldconfig -p | awk -v b="$bibliotheque" '$1 == b && /x86-64/ {print $NF; exit}')
    paquet=""
    # The library's package owns it under /lib or /usr/lib, by its own name or its link's.
    for candidat in "$chemin" "$(readlink -f "$chemin")"; do
      for variante in "$candidat" "${candidat#/usr}" "/usr$candidat"; do
        [ -n "$paquet" ] || paquet=$(dpkg -S "$variante" 2>/dev/null | head -n1 | cut -d: -f1)
      done
    done
    if ! tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/ //g' | grep -qxF "$paquet"; then
      echo "FAIL: $bibliotheque ($paquet) is not in Depends"
      echec=1
    fi
  done
  echo "The program needs $besoins libraries; the package of each is in Depends"

  # The autostart entry the packaged program writes is a valid desktop entry with TryExec.
  local maison="$scratch/deb-home"
  rm -rf "$maison" && mkdir -p "$maison/runtime" "$maison/Pictures" && chmod 700 "$maison/runtime"
  HOME="$maison" XDG_CONFIG_HOME="$maison/.config" XDG_DATA_HOME="$maison/.local/share" \
    XDG_CACHE_HOME="$maison/.cache" XDG_RUNTIME_DIR="$maison/runtime" XDG_CURRENT_DESKTOP="" \
    VERRELUNE_WALLPAPER_COMMAND=true QT_QPA_PLATFORM=offscreen \
    timeout 60 "$racine/usr/bin/verrelune" /background >"$scratch/deb-program.log" 2>&1 &
  local programme=$! entree="$maison/.config/autostart/verrelune.desktop"
  for _ in $(seq 100); do [ -s "$entree" ] && break; sleep 0.2; done
  if [ -s "$entree" ]; then
    desktop-file-validate "$entree" || { echo "FAIL: the autostart entry does not validate"; echec=1; }
    grep -qx "TryExec=$racine/usr/bin/verrelune" "$entree" || { echo "FAIL: no TryExec in the autostart entry"; echec=1; }
  else
    echo "FAIL: the packaged program wrote no autostart entry: $(cat "$scratch/deb-program.log")"
    echec=1
  fi
  kill "$programme" 2>/dev/null
  wait "$programme" 2>/dev/null

  [ $echec -eq 0 ] && echo "Debian package checks passed"
  return $echec
}

# Makes the Windows installer and portable zip in BUILD (a Windows build made by scripts/windows.sh)
# and runs tests/windows/installer-under-wine.sh in a fresh prefix under SCRATCH.
verrelune_installer_test() {
  local build=$1 scratch=$2 version
  if [ ! -f "$build/CMakeCache.txt" ] || ! command -v wine >/dev/null; then
    echo "Windows installer check skipped: no Windows build or no wine here"
    return 0
  fi
  if ! verrelune_install_missing nsis unzip >"$scratch/installer-tools.log" 2>&1; then
    echo "Windows installer check skipped: nsis cannot be installed here ($(tail -n1 "$scratch/installer-tools.log"))"
    return 0
  fi
  # makensis installed after the build was configured is found on a new configuration.
  cmake "$build" -UVERRELUNE_MAKENSIS >/dev/null || return 1
  cmake --build "$build" --target installer portable -j"$(nproc)" >"$scratch/installer-build.log" 2>&1 ||
    { cat "$scratch/installer-build.log"; return 1; }
  version=$(verrelune_project_version "$build")
  local installateur portable
  installateur=$(ls "$build"/packages/verrelune-"$version"-*-setup.exe)
  portable=$(ls "$build"/packages/verrelune-"$version"-*-portable.zip)
  echo "Windows installer: $(basename "$installateur"), $(stat -c %s "$installateur") bytes"
  echo "Portable zip: $(basename "$portable"), $(stat -c %s "$portable") bytes"
  unzip -l "$portable" | grep -q ' verrelune.exe$' || { echo "FAIL: no verrelune.exe in $portable"; return 1; }

  # The installer is a 64-bit program: where `wine` is the 32-bit loader, wine64 runs it.
  local chemin=$PATH
  if [ -x /usr/lib/wine/wine ] && declare -F verrelune_wine64_commands >/dev/null; then
    verrelune_wine64_commands "$scratch/wine64-commands"
    chemin="$scratch/wine64-commands:$PATH"
  fi
  mkdir -p "$scratch/installer-home"
  PATH="$chemin" HOME="$scratch/installer-home" WINEPREFIX="$scratch/installer-prefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      if ! timeout 600 wineboot -i >"$1/installer-wineboot.log" 2>&1; then
        echo "Windows installer check skipped: wine cannot start here ($(tail -n1 "$1/installer-wineboot.log"))"
        exit 0
      fi
      wineserver -w
      bash tests/windows/installer-under-wine.sh "$2" "$3"
      status=$?
      wineserver -k 2>/dev/null
      exit $status' installer "$scratch" "$installateur" "$version"
}

# ./test's entry: both checks, after the builds.
verrelune_packages_test() {
  local scratch=$1 status=0
  verrelune_deb_test build "$scratch" || status=1
  verrelune_installer_test build-windows "$scratch" || status=1
  return $status
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  cd "$(dirname "$0")/.."
  source scripts/deps.sh
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  case "${1:-all}" in
    deb) verrelune_deb_test build "$scratch" ;;
    windows) verrelune_installer_test build-windows "$scratch" ;;
    *) verrelune_packages_test "$scratch" ;;
  esac
fi
