#!/usr/bin/env bash
# Photographs the window of zorpload-demo in the middle of its download, for
# the README: docs/zorpload-demo.png. The demo runs on a virtual display
# (Xvfb) with a window manager (openbox), in a home folder of its own, so that
# it downloads every track and touches nothing of the user's; imagemagick's
# import takes the window with its frame while the second track is read.
# Installs what is missing and builds the demo first.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/install-deps.sh screenshot
cmake --preset release
cmake --build --preset release --target zorpload-demo -j "$(nproc)"

picture=docs/zorpload-demo.png
work=$(mktemp -d /tmp/zorpload.XXXXXX)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; --i)); do
    kill "${pids[i]}" 2>/dev/null && wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to file descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for ((tries = 0; tries < 100; ++tries)); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"
# The window is started once openbox manages the display, so that it gets
# its frame and title bar from the start.
openbox --startup "touch $work/openbox-ready" >"$work/openbox.log" 2>&1 &
pids+=($!)
for ((tries = 0; tries < 100; ++tries)); do
  [[ -e $work/openbox-ready ]] && break
  sleep 0.1
done

# The window's title shows the folder: $work/Documents/ZorpLoad/Demo.
tracks="$work/Documents/ZorpLoad/Demo"
env HOME="$work" XDG_CONFIG_HOME="$work/.config" XDG_DOCUMENTS_DIR="$work/Documents" \
  ./build/release/bin/zorpload-demo >"$work/demo.log" 2>&1 &
pids+=($!)

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^ZorpLoad' | head -1)
saved() { find "$tracks" -name '*.txt' 2>/dev/null | wc -l; }
# The first of the three tracks saved, and two seconds into the second.
for ((tenth = 0; tenth < 600; ++tenth)); do
  (($(saved) >= 1)) && break
  sleep 0.1
done
sleep 2
mkdir -p docs
import -frame -window "$window" "$work/shot.png"
# A picture of the same window is the same file: no date or software notes.
(($(saved) < 3)) || { echo "the download was over before the picture; try again on an idle machine" >&2; exit 1; }
convert "$work/shot.png" -strip "$picture"
echo "$picture: $(identify -format '%w x %h' "$picture")"
