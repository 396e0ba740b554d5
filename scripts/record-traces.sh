#!/usr/bin/env bash
# Records the traces of tests/traces again, with the files each session
# saved, from the simulated logger: after a change to what the program sends
# on the wire, run this, look at `git diff --stat tests/traces`, and commit.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release
cmake --build --preset release --target record_traces -j2
./build/release/bin/record_traces tests/traces
