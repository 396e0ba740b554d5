#!/usr/bin/env bash
# The Windows stage: cross-builds every Windows target with mingw-w64 (the
# "windows" preset) and the setup program, runs its tests under Wine (the
# core's suites, the Win32 file calls, where FTD2XX.dll is loaded from, the
# version resources and manifests, zorpload.exe end to end on a virtual
# display, the setup's install and uninstall), and packs the zip. Installs what is missing first. Wine keeps its prefix in
# build/windows/wineprefix, made once here so that parallel tests do not race
# to create it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh windows

export WINEDEBUG=-all WINEPREFIX="$PWD/build/windows/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
cmake --preset windows
cmake --build --preset windows -j "$(nproc)"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait
fi
ctest --preset windows -j "$(nproc)"
cmake --build --preset windows --target package
zip=$(ls build/windows/ZorpLoad-*-windows-x64.zip)
cmake -E tar tf "$zip"
ls -l build/windows/ZorpLoad-*-windows-x64-setup.exe
