#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the address and
# undefined-behaviour sanitizers (the "fuzz" presets) and fuzzes each target
# for a bounded time, ZORP_FUZZ_SECONDS (default 20) each, two at a time;
# fails on any crash, leak, time-out or broken invariant. Crashing inputs are
# kept in build/fuzz/fuzz/artifacts, new inputs in build/fuzz/fuzz/corpus.
# Installs nothing: it needs what scripts/install-deps.sh installs (clang,
# libclang-rt-<version>-dev and libxml2-dev among them).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset fuzz -DZORP_FUZZ_SECONDS="${ZORP_FUZZ_SECONDS:-20}"
cmake --build --preset fuzz -j 2
ctest --preset fuzz -j 2
