#!/usr/bin/env bash
# Where zorpload.exe takes FTD2XX.dll from, and the status line that says why
# it cannot use what it found: driver_probe.exe (the adapter check as
# zorpload.exe makes it) runs under Wine in a folder of its own, with a
# library planted beside it or in the current folder, for each row below.
#
# usage: driver_loading.sh DRIVER_PROBE_EXE SIMULATED_DLL INCOMPLETE_DLL WORK
set -euo pipefail

probe=$1 simulated=$2 incomplete=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The simulated driver marked as built for 32-bit x86 (machine 0x14c in its
# PE header): what a 32-bit FTD2XX.dll looks like to a 64-bit program.
cp "$simulated" "$work/x86.dll"
pe=$(od -An -tu4 -j60 -N4 "$work/x86.dll" | tr -d ' ')
printf '\x4c\x01' | dd of="$work/x86.dll" bs=1 seek=$((pe + 4)) conv=notrunc status=none
printf 'this is not a library\n' >"$work/text.dll"

failed=0
# row NAME FILE_BESIDE_PROGRAM FILE_IN_CURRENT_FOLDER EXPECTED_LINE ("-": none)
row() {
  local dir="$work/$1"
  mkdir -p "$dir/program" "$dir/current"
  cp "$probe" "$dir/program/driver_probe.exe"
  [[ $2 != - ]] && cp "$2" "$dir/program/FTD2XX.dll"
  [[ $3 != - ]] && cp "$3" "$dir/current/FTD2XX.dll"
  (cd "$dir/current" && wine ../program/driver_probe.exe) >"$dir/out" 2>/dev/null || true
  if grep -qxF "$4" <(tr -d '\r' <"$dir/out"); then
    echo "ok: $1"
  else
    echo "FAILED: $1: expected the line \"$4\", got:" >&2
    cat "$dir/out" >&2
    failed=1
  fi
}

row none_anywhere - - "FTD2XX.dll not found: install FTDI's D2XX driver"
row planted_in_current_folder - "$simulated" "FTD2XX.dll not found: install FTDI's D2XX driver"
row beside_program "$simulated" - "USB adapter check     ... o.k."
row beside_program_wins "$simulated" "$incomplete" "USB adapter check     ... o.k."
row not_64_bit "$work/x86.dll" - "FTD2XX.dll is not 64-bit: install FTDI's D2XX driver for 64-bit Windows"
row without_a_function "$incomplete" - "FTD2XX.dll has no FT_GetStatus: install FTDI's D2XX driver again"
row not_a_library "$work/text.dll" - "FTD2XX.dll cannot be loaded: install FTDI's D2XX driver again"
# FTDI's statuses from FT_OpenEx, as the simulated logger's library gives them.
ZORP_SIM_ADAPTER=absent row none_plugged_in "$simulated" - \
  "No FT232R adapter is plugged in: connect the logger's USB cable and try again"
ZORP_SIM_ADAPTER=held row held_or_driver "$simulated" - \
  "The adapter cannot be opened: close any program using it, or reinstall FTDI's D2XX driver"
exit $failed
