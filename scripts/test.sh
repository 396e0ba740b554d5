#!/usr/bin/env bash
# Builds ZorpLoad and runs the whole test suite twice, a release build and an
# address/undefined-behaviour sanitizer build, builds the Debian package,
# installs it, runs it as a normal user and removes it again, fuzzes each
# libFuzzer target for a short bounded time, then cross-builds the Windows
# programs and runs their tests under Wine. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

# Configure, build and test each (CMakePresets.json's workflow presets), on
# every core.
export CMAKE_BUILD_PARALLEL_LEVEL=$(nproc) CTEST_PARALLEL_LEVEL=$(nproc)
for preset in release sanitize; do
  echo "=== $preset ==="
  cmake --workflow --preset "$preset"
done

echo "=== package ==="
./scripts/package.sh
./scripts/package-test.sh

echo "=== fuzz ==="
./scripts/fuzz.sh

echo "=== windows ==="
./scripts/test-windows.sh
