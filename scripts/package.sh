#!/usr/bin/env bash
# Builds the Debian package of ZorpLoad from the release build and checks it:
# the desktop entry (desktop-file-validate), the AppStream metadata
# (appstreamcli validate) and the package itself (lintian, no errors).
# Prints the package's path: build/release/zorpload_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
rm -f build/release/zorpload_*.deb
(cd build/release && cpack -G DEB)

deb=$(echo build/release/zorpload_*.deb)
desktop-file-validate packaging/zorpload.desktop
appstreamcli validate --no-net packaging/org.example.zorpload.metainfo.xml
# Warnings are shown; only errors fail.
lintian --fail-on error "$deb"
echo "Package: $deb"
