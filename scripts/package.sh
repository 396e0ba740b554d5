#!/usr/bin/env bash
# Builds the Debian packages of ZorpLoad from a release build of the programs
# alone (the "package" preset: no tests, warnings not errors, as a
# packager's build) and checks them: the desktop entry
# (desktop-file-validate), the AppStream metadata (appstreamcli validate)
# and each package (lintian, no errors). Prints the
# packages' paths: build/package/zorpload_<version>_<arch>.deb (the window)
# and build/package/zorpload-cli_<version>_<arch>.deb (the terminal program).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset package
cmake --build --preset package -j "$(nproc)"
rm -f build/package/zorpload_*.deb build/package/zorpload-cli_*.deb
(cd build/package && cpack -G DEB)

debs=(build/package/zorpload_*.deb build/package/zorpload-cli_*.deb)
desktop-file-validate packaging/zorpload.desktop
appstreamcli validate --no-net packaging/org.example.zorpload.metainfo.xml
# Warnings are shown; only errors fail.
for deb in "${debs[@]}"; do
  lintian --fail-on error "$deb"
  echo "Package: $deb"
done
