#!/usr/bin/env bash
# Cross-builds the Windows programs and packs them into
# build/windows/ZorpLoad-<version>-windows-x64.zip and the setup program
# build/windows/ZorpLoad-<version>-windows-x64-setup.exe. Installs what is
# missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh windows
cmake --preset windows
cmake --build --preset windows -j "$(nproc)" --target setup package
