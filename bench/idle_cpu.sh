#!/usr/bin/env bash
# Idle cost of the windows: the share of one core that the program's own
# process takes over 20 s once a whole download has ended and its "Download
# o.k." question stands open (the tick goes on behind it), on a virtual
# display with a window manager. zorpload.exe runs under Wine with the
# simulated FTD2XX.dll beside it (one short track), the Qt window as
# zorpload-demo. Prints one line per program; compare builds by naming them.
#
# usage: bench/idle_cpu.sh [WINDOWS_PROGRAM_DIR [QT_DEMO]]
#   WINDOWS_PROGRAM_DIR  folder with zorpload.exe (build/windows/bin)
#   QT_DEMO              the Qt demo (build/release/bin/zorpload-demo)
set -euo pipefail
cd "$(dirname "$0")/.."

windows_dir=$(realpath "${1:-build/windows/bin}")
qt_demo=$(realpath "${2:-build/release/bin/zorpload-demo}")
driver=$(realpath build/windows/bin/simulated-logger/FTD2XX.dll)
seconds=20
work=$(mktemp -d)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$PWD/build/windows/wineprefix"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)

# CPU time (user and system, in clock ticks) of process $1 so far.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Waits for the download's end, then prints the idle share of process $1.
measure() {
  local pid=$1 name=$2
  for _ in $(seq 600); do xdotool search --name '^Download o.k.$' >/dev/null 2>&1 && break; sleep 0.2; done
  xdotool search --name '^Download o.k.$' >/dev/null 2>&1 || { echo "$name: the download did not end" >&2; return 1; }
  sleep 2
  local before after
  before=$(cpu_ticks "$pid")
  sleep "$seconds"
  after=$(cpu_ticks "$pid")
  awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" -v n="$name" \
    'BEGIN { printf "%-40s %6.2f %% of a core\n", n, 100 * t / hz / s }'
}

mkdir -p "$work/windows"
cp "$windows_dir/zorpload.exe" "$driver" "$work/windows/"
(cd "$work/windows" && ZORP_SIM_TRACKS=1 ZORP_SIM_ITEMS=200 exec wine zorpload.exe) &
wine_pid=$!
pids+=($wine_pid)
# Wine runs the program in the process it was started as.
measure "$wine_pid" "zorpload.exe under Wine ($windows_dir)"
kill "$wine_pid" 2>/dev/null || true

mkdir -p "$work/qt"
cp "$qt_demo" "$work/qt/"
"$work/qt/$(basename "$qt_demo")" -platform xcb >/dev/null 2>&1 &
qt_pid=$!
pids+=($qt_pid)
measure "$qt_pid" "Qt zorpload-demo ($qt_demo)"
