#!/usr/bin/env bash
# The real zorpload.exe under Wine on a virtual display, driven from outside
# as a user would, with keys sent by xdotool to windows found by their titles:
#   1. without any FTD2XX.dll the adapter error box says rv=101; Cancel
#      leads to the exit question, whose Yes ends the program with exit
#      code 0;
#   2. with the simulated FTD2XX.dll beside it, started with
#      --trace=FILE and --output-dir DIR (a folder not there yet), the
#      window "ZorpLoad" downloads three tracks with about 1 % of item
#      replies lost into DIR, and a GPX of each once "Save tracks as GPX" is
#      chosen from the File menu;
#      Alt+? opens About while the download goes on behind it; Erase during the download is refused;
#      the download ends in the "Download o.k." box, Yes ends the program
#      with exit code 0, the track files, in DIR and nowhere else, are byte
#      for byte those the logger's tracks give, and the wire trace runs from
#      its heading to the adapter's close;
#   3. the File menu after a download: the title names the folder in use
#      (the program's), "Open track folder" opens it in Explorer,
#      "Choose track folder..." is greyed out during the download and,
#      after it, takes the folder above in the folder dialog, "Session log"
#      shows the run; the folder and "Save tracks as GPX" are kept in
#      HKCU\Software\ZorpLoad, and the next start saves there, with GPX.
# A screenshot of the window mid-download, with the About box open, is kept
# as WORK/mid-download.png, and of the menu, the session log and the title
# with the chosen folder as WORK/menu.png, session-log.png and chosen.png. The texts of the boxes are read from Wine's
# message-box log.
#
# usage: window_e2e.sh ZORPLOAD_EXE FTD2XX_DLL EXPECTED_TRACKS_EXE WORK
set -euo pipefail

program=$1 driver=$2 expected_tracks=$3 work=$4
rm -rf "$work"
mkdir -p "$work/no-driver" "$work/download" "$work/expected" "$work/menu/program"
export WINEDEBUG=-all,+msgbox WINEDLLOVERRIDES="mscoree,mshtml="
# Three tracks of 2500 items for the simulated FTD2XX.dll (and for the files
# expected from it): each takes several seconds, time enough to open About
# and Erase while the download runs.
export ZORP_SIM_TRACKS=3 ZORP_SIM_ITEMS=2500

source "$(dirname "$0")/display.sh"
start_display

# The main window's title names the folder in use.
MAIN='ZorpLoad - .*'

# Starts the program in folder $1 with the options that follow (Wine's
# message-box log in $1.winelog).
start_program() {
  (cd "$1" && exec wine zorpload.exe "${@:2}" 2>"$1.winelog") &
  wine_pid=$!
}

# Waits up to 30 seconds for the program to end; fails unless its exit
# code is 0.
expect_exit_0() {
  local code=0
  for _ in $(seq 150); do kill -0 "$wine_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$wine_pid" 2>/dev/null && fail "the program did not end"
  wait "$wine_pid" || code=$?
  wine_pid=""
  [[ $code -eq 0 ]] || fail "exit code $code"
}

box_said() {
  grep -aqF "MSGBOX_OnInit L\"$2\"" "$1.winelog" || fail "no box said \"$2\""
}

# Choices remembered by an earlier run of this test would change this one.
wine reg delete 'HKCU\Software\ZorpLoad' /f >/dev/null 2>&1 || true

echo "--- without FTD2XX.dll"
cp "$program" "$work/no-driver/zorpload.exe"
start_program "$work/no-driver"
wait_window "$MAIN" 60 >/dev/null || fail "the window did not appear"
wait_window "Error" 30 >/dev/null || fail "no adapter error box"
box_said "$work/no-driver" "USB adapter Error! (rv=101)"
keys_to "Error" Escape
wait_gone "Error" 10 || fail "Cancel did not close the box"
wait_window "Download error" 10 >/dev/null || fail "Cancel did not lead to the exit question"
keys_to "Download error" Return
expect_exit_0

echo "--- with the simulated FTD2XX.dll"
cp "$program" "$work/download/zorpload.exe"
cp "$driver" "$work/download/FTD2XX.dll"
# Relative to the program's folder, with Windows' separators, as a user
# would type them; the value once after '=' and once as the next argument.
start_program "$work/download" '--trace=..\wire.trace' --output-dir '..\tracks'
wait_window "$MAIN" 60 >/dev/null || fail "the window did not appear"
keys_to "$MAIN" alt+f Down Return
for _ in $(seq 300); do compgen -G "$work/tracks/*.txt" >/dev/null && break; sleep 0.2; done
compgen -G "$work/tracks/*.txt" >/dev/null || fail "no track arrived"
keys_to "$MAIN" alt+question
wait_window "About ZorpLoad" 10 >/dev/null || fail "Alt+? did not open About"
tracks_then=$(compgen -G "$work/tracks/*.txt" | wc -l)
for _ in $(seq 300); do
  [[ $(compgen -G "$work/tracks/*.txt" | wc -l) -gt $tracks_then ]] && break
  sleep 0.2
done
[[ $(compgen -G "$work/tracks/*.txt" | wc -l) -gt $tracks_then ]] || fail "the download stopped behind About"
import -window root "$work/mid-download.png"
keys_to "About ZorpLoad" Escape
wait_gone "About ZorpLoad" 10 || fail "Esc did not close About"
if ! xdotool search --name '^Download o.k.$' >/dev/null 2>&1; then
  keys_to "$MAIN" alt+f Return
  wait_window "Erase GPS Log" 10 >/dev/null || fail "no erase box"
  box_said "$work/download" "Unable erase now, try later please."
  keys_to "Erase GPS Log" Return
  wait_gone "Erase GPS Log" 10 || fail "OK did not close the erase box"
else
  echo "the download ended before Erase could be tried" >&2
  exit 1
fi
wait_window "Download o.k." 180 >/dev/null || fail "the download did not end in \"Download o.k.\""
box_said "$work/download" "Exit application ?"
keys_to "Download o.k." Return
expect_exit_0

(cd "$work/expected" && WINEDEBUG=-all wine "$expected_tracks") || fail "the expected tracks were not written"
for track in "$work"/tracks/*.txt; do
  grep -q '<trkpt lat=' "${track%.txt}.gpx" || fail "no GPX of $(basename "$track")"
done
rm "$work"/tracks/*.gpx
# The folder's lock file stays; it keeps no later run out.
[[ -f "$work/tracks/.zorpload-lock" ]] || fail "the tracks folder was not locked"
diff -r -x .zorpload-lock "$work/expected" "$work/tracks" || fail "the track files differ from the logger's tracks"
[[ $(LC_ALL=C ls "$work/download") == $'FTD2XX.dll\nzorpload.exe' ]] || fail "files beside the program, not in --output-dir"
[[ $(head -n1 "$work/wire.trace") == "# ZorpLoad 1.01 wire trace" ]] || fail "the wire trace has no heading"
tail -n1 "$work/wire.trace" | grep -qE '^ *[0-9]+\.[0-9]{6} C$' || fail "the wire trace does not end with the close"
echo "track files: $(ls "$work/tracks" | tr '\n' ' '); wire trace: $(wc -l <"$work/wire.trace") lines"

echo "--- the track folder in the File menu"
# One track: long enough to open the menu during its download.
export ZORP_SIM_TRACKS=1 ZORP_SIM_ITEMS=3000
cp "$program" "$driver" "$work/menu/program/"
wine reg delete 'HKCU\Software\ZorpLoad' /f >/dev/null 2>&1 || true
start_program "$work/menu/program"
wait_window 'ZorpLoad - .*\\menu\\program' 60 >/dev/null || fail "the title does not name the program's folder"
# A tick blocks the window while it probes the logger; the menu opens once
# the track is being read.
sleep 3
keys_to "$MAIN" alt+f
sleep 1
import -window root "$work/menu.png"
keys_to "$MAIN" Up Up Up Return Escape
wait_window "Browse for Folder" 2 >/dev/null && fail "the folder could be chosen during the download"
wait_window "Download o.k." 60 >/dev/null || fail "the first download did not end"
keys_to "Download o.k." n
wait_gone "Download o.k." 10 || fail "No did not close the box"
keys_to "$MAIN" alt+f Down Down Return
wait_window program 20 >/dev/null || fail "Open track folder opened no Explorer window on the folder"
keys_to program alt+F4
wait_gone program 10 || fail "Explorer did not close"
keys_to "$MAIN" alt+f Down Down Down Return
wait_window "Browse for Folder" 10 >/dev/null || fail "no folder dialog"
sleep 0.5
# The dialog starts at the folder in use; the folder above it is chosen.
keys_to "Browse for Folder" Up Return
wait_window 'ZorpLoad - .*\\menu' 10 >/dev/null || fail "the title does not name the chosen folder"
import -window root "$work/chosen.png"
keys_to "$MAIN" alt+f Down Return
keys_to "$MAIN" alt+f Down Down Down Down Return
wait_window "Session log" 10 >/dev/null || fail "no session log"
import -window root "$work/session-log.png"
keys_to "Session log" Escape
wait_gone "Session log" 10 || fail "Esc did not close the session log"
keys_to "$MAIN" alt+f x
expect_exit_0
registry=$(wine reg query 'HKCU\Software\ZorpLoad' 2>/dev/null | tr -d '\r')
grep -qE 'TrackFolder +REG_SZ +.*\\menu$' <<<"$registry" || fail "the chosen folder was not remembered: $registry"
grep -qE 'SaveGpx +REG_SZ +1$' <<<"$registry" || fail "the GPX choice was not remembered: $registry"

# The next start saves into the remembered folder, with GPX.
start_program "$work/menu/program"
wait_window 'ZorpLoad - .*\\menu' 60 >/dev/null || fail "the remembered folder is not in use"
wait_window "Download o.k." 60 >/dev/null || fail "the second download did not end"
keys_to "Download o.k." Return
expect_exit_0
compgen -G "$work/menu/*.txt" >/dev/null || fail "no track in the remembered folder"
compgen -G "$work/menu/*.gpx" >/dev/null || fail "no GPX in the remembered folder"
wine reg delete 'HKCU\Software\ZorpLoad' /f >/dev/null 2>&1 || true
echo "the File menu's folder: $(ls "$work/menu" | tr '\n' ' ')"
