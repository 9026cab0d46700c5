# The Windows build: cross-compiling with mingw-w64 and running under wine.
# Sourced by ./test; `bash scripts/windows.sh sources DIR` fetches the library sources alone.

# inotify-tools counts the files the program opens under wine; nsis makes the installer.
# wine32 (the 32-bit loader, from the i386 architecture) is installed apart, by
# verrelune_install_wine32.
verrelune_packages_windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix nasm dpkg-dev
  wine64 wine xvfb xauth inotify-tools nsis unzip)

# The library sources the Windows program links statically, pinned to the versions of Debian 12.
verrelune_windows_source_packages=(zlib=1:1.2.13.dfsg-1 libjpeg-turbo=1:2.1.5-2)

# apt-get source needs the source indices of the configured Debian archive.
verrelune_enable_debian_sources() {
  if apt-get source --print-uris -qq zlib >/dev/null 2>&1; then
    return 0
  fi
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  local list=/etc/apt/sources.list.d/verrelune-debian-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -n '/^Types:/,/^$/p' /etc/apt/sources.list.d/debian.sources |
      sed 's/^Types:.*/Types: deb-src/' | "${sudo[@]}" tee "$list" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' |
      "${sudo[@]}" tee /etc/apt/sources.list.d/verrelune-debian-src.list >/dev/null
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
}

# Fetches the pinned source packages into DIR once and unpacks them, Debian's patches applied,
# as DIR/zlib and DIR/libjpeg-turbo. Later builds need no network.
verrelune_windows_sources() {
  local dir=$1 package name
  mkdir -p "$dir"
  for package in "${verrelune_windows_source_packages[@]}"; do
    name=${package%%=*}
    [ -f "$dir/$name/CMakeLists.txt" ] && continue
    verrelune_enable_debian_sources || return 1
    (cd "$dir" && apt-get source -qq --download-only "$package" 2>&1 | grep -v unsandboxed) || true
    local dsc
    dsc=$(ls "$dir/${name}"_*.dsc 2>/dev/null | head -n1)
    [ -n "$dsc" ] || { echo "Could not fetch the $name sources" >&2; return 1; }
    rm -rf "$dir/$name.tmp"
    (cd "$dir" && dpkg-source -x "$(basename "$dsc")" "$name.tmp" >/dev/null 2>&1) || return 1
    mv "$dir/$name.tmp" "$dir/$name"
  done
}

# The 32-bit wine loader, from Debian's i386 architecture (about 245 packages). Once it is
# there, `wine` starts the 32-bit loader; 64-bit prefixes are then run through wine64.
verrelune_install_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" && return 0
  local sudo=() ajoutee=0
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "this user cannot install packages"; return 1; }
    sudo=(sudo)
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386 || return 1
    ajoutee=1
  fi
  # An index the mirror is still writing fails the update but not always the install.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq || true
  if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "wine32:i386=$(dpkg-query -W -f='${Version}' wine)"; then
    # The machine is left as it was: no architecture of ours whose indices fail every update.
    if [ $ajoutee -eq 1 ]; then
      "${sudo[@]}" dpkg --remove-architecture i386 2>/dev/null &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null 2>&1
    fi
    return 1
  fi
}

# Commands named wine, wineboot and winepath that run the 64-bit loader, in FOLDER, for the
# 64-bit prefix when `wine` itself is the 32-bit loader.
verrelune_wine64_commands() {
  local dossier=$1 chargeur
  chargeur=$(command -v wine64 || echo /usr/lib/wine/wine64)
  mkdir -p "$dossier"
  printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$chargeur" "$chargeur" >"$dossier/wine"
  for outil in wineboot winepath; do
    printf '#!/bin/sh\nexec "%s/wine" %s.exe "$@"\n' "$dossier" "$outil" >"$dossier/$outil"
  done
  chmod +x "$dossier/wine" "$dossier/wineboot" "$dossier/winepath"
}

# Runs the suites of BUILD (and the real program, when built) under wine on a virtual display,
# in a fresh prefix of ARCH (win64 or win32) under SCRATCH. Prints one line and succeeds when
# wine cannot start; once wine runs, a failing suite fails.
verrelune_windows_run() {
  local scratch=$1 jobs=$2 build=$3 arch=$4 chemin=$PATH
  if [ "$arch" = win64 ] && [ -x /usr/lib/wine/wine ]; then
    verrelune_wine64_commands "$scratch/wine64-commands"
    chemin="$scratch/wine64-commands:$PATH"
  fi
  mkdir -p "$scratch/wine-home-$arch"
  PATH="$chemin" HOME="$scratch/wine-home-$arch" WINEPREFIX="$scratch/wine-prefix-$arch" WINEARCH="$arch" \
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      if ! timeout 600 wineboot -i >"$1/wineboot-$4.log" 2>&1; then
        echo "Windows part ($4) skipped: wine cannot start here ($(tail -n1 "$1/wineboot-$4.log"))"
        exit 0
      fi
      # The suites start once the new prefix has settled (every process of its first start
      # ended), on one server that stays up for all of them. A suite that fails is run once
      # more, as on Linux; a real fault fails twice.
      wineserver -w
      wineserver -p
      ctest --test-dir "$3" --output-on-failure -j"$2" --repeat until-pass:2
      status=$?
      wineserver -k 2>/dev/null
      exit $status' windows "$scratch" "$jobs" "$build" "$arch"
}

# Cross-builds the Windows program, 64-bit and 32-bit, each with its suites, and runs them and
# the program under wine: the 64-bit ones in a 64-bit prefix, the 32-bit ones in a 32-bit
# prefix where Debian's wine32 can be installed. When the tools cannot be installed or wine
# cannot start here, says so in one line and succeeds; once wine runs, a failing suite fails.
verrelune_windows_test() {
  local scratch=$1 jobs=$2 racine status=0
  racine=$(pwd)
  if ! verrelune_install_missing "${verrelune_packages_windows[@]}" >"$scratch/windows-packages.log" 2>&1; then
    echo "Windows part skipped: mingw-w64 and wine cannot be installed here ($(tail -n1 "$scratch/windows-packages.log"))"
    return 0
  fi
  local wine32=1
  if ! verrelune_install_wine32 >"$scratch/wine32.log" 2>&1; then
    echo "32-bit Windows suites skipped: Debian's wine32 cannot be installed here ($(grep -m1 '^E:' "$scratch/wine32.log" || tail -n1 "$scratch/wine32.log"))"
    wine32=0
  fi
  if ! verrelune_windows_sources "$racine/build-windows-sources" >"$scratch/windows-sources.log" 2>&1; then
    echo "Windows part skipped: Debian's zlib and libjpeg-turbo sources cannot be fetched ($(tail -n1 "$scratch/windows-sources.log"))"
    return 0
  fi
  local commun=(-DCMAKE_BUILD_TYPE=Release -DVERRELUNE_WINDOWS_SOURCES="$racine/build-windows-sources"
    -DVERRELUNE_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$racine/tests/windows/wine-run.sh")
  cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "${commun[@]}" >/dev/null || return 1
  cmake --build build-windows -j"$jobs" || return 1
  cmake -S . -B build-windows-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake "${commun[@]}" >/dev/null || return 1
  # Without a 32-bit loader to run them, the 32-bit suites are not built.
  local cibles=()
  [ $wine32 -eq 1 ] || cibles=(--target verrelune)
  cmake --build build-windows-i686 -j"$jobs" "${cibles[@]}" || return 1

  verrelune_windows_run "$scratch" "$jobs" build-windows win64 || status=1
  if [ $wine32 -eq 1 ]; then
    verrelune_windows_run "$scratch" "$jobs" build-windows-i686 win32 || status=1
  fi
  return $status
}

if [ "${BASH_SOURCE[0]}" = "$0" ] && [ "${1:-}" = sources ]; then
  verrelune_windows_sources "${2:?folder}"
fi
