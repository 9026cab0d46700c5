# The Windows build: cross-compiling with mingw-w64 and running under wine.
# Sourced by ./test; `bash scripts/windows.sh sources DIR` fetches the library sources alone.

# inotify-tools counts the files the program opens under wine; nsis makes the installer.
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

# Cross-builds the Windows program (x86_64 with its suites, i686 alone) and runs the suites and
# the program under wine on a virtual display, in a fresh prefix under SCRATCH. When the tools
# cannot be installed or wine cannot start here, says so in one line and succeeds; once wine
# runs, a failing suite fails.
verrelune_windows_test() {
  local scratch=$1 jobs=$2 racine
  racine=$(pwd)
  if ! verrelune_install_missing "${verrelune_packages_windows[@]}" >"$scratch/windows-packages.log" 2>&1; then
    echo "Windows part skipped: mingw-w64 and wine cannot be installed here ($(tail -n1 "$scratch/windows-packages.log"))"
    return 0
  fi
  if ! verrelune_windows_sources "$racine/build-windows-sources" >"$scratch/windows-sources.log" 2>&1; then
    echo "Windows part skipped: Debian's zlib and libjpeg-turbo sources cannot be fetched ($(tail -n1 "$scratch/windows-sources.log"))"
    return 0
  fi
  local commun=(-DCMAKE_BUILD_TYPE=Release -DVERRELUNE_WINDOWS_SOURCES="$racine/build-windows-sources")
  cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "${commun[@]}" \
    -DVERRELUNE_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$racine/tests/windows/wine-run.sh" >/dev/null || return 1
  cmake --build build-windows -j"$jobs" || return 1
  cmake -S . -B build-windows-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake "${commun[@]}" \
    -DVERRELUNE_TESTS=OFF >/dev/null || return 1
  cmake --build build-windows-i686 -j"$jobs" --target verrelune || return 1

  mkdir -p "$scratch/wine-home"
  HOME="$scratch/wine-home" WINEPREFIX="$scratch/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      if ! timeout 600 wineboot -i >"$1/wineboot.log" 2>&1; then
        echo "Windows part skipped: wine cannot start here ($(tail -n1 "$1/wineboot.log"))"
        exit 0
      fi
      # The suites start once the new prefix has settled (every process of its first start
      # ended), on one server that stays up for all of them. A suite that fails is run once
      # more, as on Linux; a real fault fails twice.
      wineserver -w
      wineserver -p
      ctest --test-dir build-windows --output-on-failure -j"$2" --repeat until-pass:2
      status=$?
      wineserver -k 2>/dev/null
      exit $status' windows "$scratch" "$jobs"
}

if [ "${BASH_SOURCE[0]}" = "$0" ] && [ "${1:-}" = sources ]; then
  verrelune_windows_sources "${2:?folder}"
fi
