#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZorpLoad need,
# and only those that are missing, so a second run costs nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-serialport-dev
  # the window tests draw on the offscreen platform, with a real font
  qt6-qpa-plugins fonts-dejavu-core
  # the fuzz targets: clang with libFuzzer and its sanitizer runtimes
  clang libclang-rt-14-dev
  # the Debian package: dependencies from the binaries, and its checks
  dpkg-dev file desktop-file-utils appstream lintian
  # the GPX cross-check: Debian's NMEA and GPX parsers for /usr/bin/python3
  python3-nmea2 python3-gpxpy
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
