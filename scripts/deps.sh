# Installs the Debian packages the build needs, only those that are missing.
# Sourced by ./run and ./test.

# qt6-wayland gives Wayland sessions native windows; without it the program runs on Xwayland.
verrelune_packages_build=(cmake g++ make pkg-config qt6-base-dev qt6-wayland libgl-dev libjpeg62-turbo-dev zlib1g-dev libxcb1-dev libxcb-randr0-dev
  fonts-dejavu-core fonts-liberation)
verrelune_packages_test=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-utils imagemagick dbus-daemon
  clang-14 libclang-rt-14-dev libfuzzer-14-dev libpng-dev libspng-dev libstb-dev libgif-dev giflib-tools netpbm)

# The TIFF tests and benchmark compare with libtiff; its tools make the benchmark's inputs.
verrelune_packages_test+=(libtiff-dev libtiff-tools)

# The Debian package is made by CPack (dpkg-shlibdeps computes its dependencies) and checked by
# lintian, appstreamcli and desktop-file-validate (scripts/packages.sh).
verrelune_packages_packaging=(dpkg-dev fakeroot binutils man-db lintian appstream desktop-file-utils)

verrelune_install_missing() {
  local missing=() package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo=(sudo)
    else
      echo "These Debian packages are missing and this user cannot install them: ${missing[*]}" >&2
      return 1
    fi
  fi
  # One index the mirror is still writing (or one of another architecture) fails the update but
  # seldom the install, which says what it could not find.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq || true
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# The date and language tests read real regional settings; make the few they use.
verrelune_make_locales() {
  local sudo=() name
  [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=(sudo)
  verrelune_install_missing locales || return 0
  for name in fr_FR en_US de_DE; do
    if ! locale -a 2>/dev/null | grep -qix "${name}.utf8"; then
      "${sudo[@]}" localedef -i "$name" -f UTF-8 "${name}.UTF-8" 2>/dev/null ||
        echo "Could not make the ${name}.UTF-8 locale; the tests that need it are skipped." >&2
    fi
  done
}
