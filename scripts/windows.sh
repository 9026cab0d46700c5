# The Windows build: cross-compiling with mingw-w64 and running under wine.
# Sourced by ./test; `bash scripts/windows.sh sources DIR` fetches the library sources alone.

verrelune_packages_windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix nasm dpkg-dev
  wine64 wine xvfb xauth)

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
  local dir=$1 spec name
  mkdir -p "$dir"
  for spec in "${verrelune_windows_source_packages[@]}"; do
    name=${spec%%=*}
    [ -f "$dir/$name/CMakeLists.txt" ] && continue
    verrelune_enable_debian_sources || return 1
    (cd "$dir" && apt-get source -qq --download-only "$spec" 2>&1 | grep -v unsandboxed) || true
    local dsc
    dsc=$(ls "$dir/${name}"_*.dsc 2>/dev/null | head -n1)
    [ -n "$dsc" ] || { echo "Could not fetch the $name sources" >&2; return 1; }
    rm -rf "$dir/$name.tmp"
    (cd "$dir" && dpkg-source -x "$(basename "$dsc")" "$name.tmp" >/dev/null 2>&1) || return 1
    mv "$dir/$name.tmp" "$dir/$name"
  done
}

if [ "${BASH_SOURCE[0]}" = "$0" ] && [ "${1:-}" = sources ]; then
  verrelune_windows_sources "${2:?folder}"
fi
