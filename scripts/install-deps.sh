#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZorpLoad need,
# and only those that are missing, so a second run costs nothing.
#   ./scripts/install-deps.sh           the Linux build and its tests
#   ./scripts/install-deps.sh windows   the Windows cross build, its tests
#                                       under Wine, its zip and setup program
#   ./scripts/install-deps.sh screenshot  what scripts/screenshot.sh needs
#                                       besides the Linux build
set -euo pipefail

if [[ "${1:-}" == screenshot ]]; then
  # the window on a virtual display with a window manager, photographed by
  # imagemagick
  packages=(xvfb openbox xdotool imagemagick)
elif [[ "${1:-}" == windows ]]; then
  packages=(
    cmake ninja-build
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # GoogleTest's sources, built with the cross compiler
    googletest
    # the programs and tests run under Wine; the window on a virtual
    # display with a window manager, driven by xdotool, photographed by
    # imagemagick
    wine wine64 xvfb openbox xdotool imagemagick
    # the setup program
    nsis
  )
else
  packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev
    qt6-base-dev
    # the window tests draw on the offscreen platform, with a real font
    qt6-qpa-plugins fonts-dejavu-core
    # the fuzz targets: clang (its libFuzzer and sanitizer runtimes follow
    # below, once its version is known); libxml2 reads the GPX files the GPX
    # target writes
    clang libxml2-dev
    # the Debian packages: dependencies from the binaries, and their checks;
    # the package test saves a ZorpLoad installed on the machine with
    # dpkg-repack
    dpkg-dev file desktop-file-utils appstream lintian dpkg-repack
    # the GPX cross-check: Debian's NMEA and GPX parsers for /usr/bin/python3
    python3-nmea2 python3-gpxpy
  )
fi

# install_missing PACKAGE...: installs those not installed yet.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

install_missing "${packages[@]}"
# libFuzzer and the sanitizer runtimes of the clang just installed:
# libclang-rt-<major>-dev ("Debian clang version 14.0.6": 14).
if [[ " ${packages[*]} " == *" clang "* ]]; then
  clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]\+\)\..*/\1/p;q')
  install_missing "libclang-rt-${clang_major}-dev"
fi
