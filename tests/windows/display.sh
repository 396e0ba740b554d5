# A virtual display with a window manager for the Windows programs under
# Wine, and the helpers that drive their windows by title. Sourced by the
# window tests after they set $work (their folder); fail() leaves a
# screenshot there.

xvfb_pid="" wm_pid="" wine_pid=""
cleanup_display() {
  [[ -n $wine_pid ]] && kill "$wine_pid" 2>/dev/null || true
  [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup_display EXIT

fail() {
  echo "FAILED: $*" >&2
  import -window root "$work/failure.png" 2>/dev/null || true
  exit 1
}

# A display of our own, and a window manager: without one, keys sent to a
# message box go nowhere.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
  [[ -s $work/display ]] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
  openbox >/dev/null 2>&1 &
  wm_pid=$!
}

# Waits up to $2 seconds for a window titled exactly $1; prints its id.
wait_window() {
  local id
  for _ in $(seq $(($2 * 5))); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1 || true)
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Waits up to $2 seconds until no window is titled $1.
wait_gone() {
  for _ in $(seq $(($2 * 5))); do
    xdotool search --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}

# Sends keys to the window titled $1.
keys_to() {
  local id
  id=$(wait_window "$1" 10) || fail "no window \"$1\""
  timeout 10 xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers "${@:2}"
}
