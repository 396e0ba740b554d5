#!/usr/bin/env bash
# Builds the Debian packages of ZorpLoad from the release build and checks
# them: the desktop entry (desktop-file-validate), the AppStream metadata
# (appstreamcli validate) and each package (lintian, no errors). Prints the
# packages' paths: build/release/zorpload_<version>_<arch>.deb (the window)
# and build/release/zorpload-cli_<version>_<arch>.deb (the terminal program).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
rm -f build/release/zorpload_*.deb build/release/zorpload-cli_*.deb
(cd build/release && cpack -G DEB)

debs=(build/release/zorpload_*.deb build/release/zorpload-cli_*.deb)
desktop-file-validate packaging/zorpload.desktop
appstreamcli validate --no-net packaging/org.example.zorpload.metainfo.xml
# Warnings are shown; only errors fail.
for deb in "${debs[@]}"; do
  lintian --fail-on error "$deb"
  echo "Package: $deb"
done
