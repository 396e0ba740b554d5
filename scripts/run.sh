#!/usr/bin/env bash
# Installs what is missing, builds the release preset and starts ZorpLoad.
#   ./scripts/run.sh        the program, on the FT232R adapter
#   ./scripts/run.sh demo   the demonstration, on a simulated logger
# The program writes its track files into its own directory,
# build/release/bin/; the demonstration into
# ~/Documents/ZorpLoad/Demo, apart from real tracks.
set -euo pipefail
cd "$(dirname "$0")/.."

program=zorpload
case "${1:-}" in
  "") ;;
  demo) program=zorpload-demo ;;
  *) echo "usage: $0 [demo]" >&2; exit 2 ;;
esac

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release --target "$program" -j "$(nproc)"
exec "./build/release/bin/$program"
