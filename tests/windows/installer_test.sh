#!/usr/bin/env bash
# The setup program round trip under Wine, in a Wine prefix of its own (its
# Documents a folder, not the Linux home):
#   1. silent install (/S) puts zorpload.exe, zorpload-demo.exe, README.txt
#      (Windows line ends) and the uninstaller into C:\Program Files\ZorpLoad,
#      the two Start-menu shortcuts for every user, and "ZorpLoad" into Apps;
#      no FTD2XX.dll anywhere;
#   2. the demo's shortcut starts the demo, which downloads its three tracks
#      into Documents\ZorpLoad\Demo and ends in "Download o.k."; Yes ends it;
#   3. silent uninstall removes every installed file, the shortcuts and the
#      Apps entry, and leaves the track files alone.
# Prints the demo's time from its start to "Download o.k.".
#
# Then zorpload.exe with the simulated FTD2XX.dll saves its tracks in a
# Documents folder whose name the ANSI code page cannot hold.
#
# usage: installer_test.sh SETUP_EXE SIMULATED_DLL WORK
set -euo pipefail

setup=$1 driver=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$work/prefix"
source "$(dirname "$0")/display.sh"
# Before Wine's first process: the prefix's desktop takes this display.
start_display

wineboot --init >/dev/null 2>&1 || true
wineserver --wait
drive_c=$WINEPREFIX/drive_c
for folder in "$drive_c"/users/*/{Documents,Desktop,Downloads}; do
  [[ -L $folder ]] && rm "$folder" && mkdir "$folder"
done
documents="$drive_c/users/$(id -un)/Documents"
install_dir="$drive_c/Program Files/ZorpLoad"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
demo_link="ZorpLoad demo (simulated logger).lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZorpLoad'
installed=$'README.txt\nUninstall.exe\nzorpload-demo.exe\nzorpload.exe'

echo "--- silent install"
wine "$setup" /S || fail "the setup ended with exit code $?"
[[ $(LC_ALL=C ls "$install_dir") == "$installed" ]] || fail "installed: $(ls "$install_dir" | tr '\n' ' ')"
[[ -z $(find "$drive_c" -iname ftd2xx.dll) ]] || fail "an FTD2XX.dll was installed"
[[ $(grep -c $'\r$' "$install_dir/README.txt") -eq $(wc -l <"$install_dir/README.txt") ]] ||
  fail "README.txt has lines without CR LF"
[[ -f $menu/ZorpLoad.lnk && -f $menu/$demo_link ]] || fail "Start-menu shortcuts: $(ls "$menu" | tr '\n' ' ')"
apps=$(wine reg query "$key" 2>/dev/null | tr -d '\r')
grep -q 'DisplayName *REG_SZ *ZorpLoad$' <<<"$apps" || fail "no ZorpLoad in Apps"
grep -qF 'UninstallString    REG_SZ    "C:\Program Files\ZorpLoad\Uninstall.exe"' <<<"$apps" ||
  fail "no uninstaller in Apps"

echo "--- the demo from its Start-menu shortcut"
started=$(date +%s.%N)
wine start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$demo_link" ||
  fail "the shortcut did not start"
demo_title='ZorpLoad - simulated logger - .*\\ZorpLoad\\Demo'
wait_window "$demo_title" 60 >/dev/null || fail "the demo's window did not appear, titled with its own folder"
wait_window "Download o.k." 180 >/dev/null || fail "the demo did not end in \"Download o.k.\""
ended=$(date +%s.%N)
keys_to "Download o.k." Return
wait_gone "$demo_title" 30 || fail "Yes did not end the demo"
tracks=$(find "$documents" "$install_dir" -name '20??-??-??_????_???.txt' | LC_ALL=C sort)
[[ $(wc -l <<<"$tracks") -eq 3 && -n $tracks ]] || fail "track files: $tracks"
[[ $(dirname $tracks | sort -u) == "$documents/ZorpLoad/Demo" ]] || fail "the demo's tracks are not in Documents\ZorpLoad\Demo"
echo "demo: $(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }') s to \"Download o.k.\"," \
  "tracks in $(dirname "$(head -n1 <<<"$tracks")" | sed "s|$drive_c|C:|")"

echo "--- a Documents folder outside the ANSI code page"
# The manifest's UTF-8 code page lets the A calls reach it. The program's
# own folder counts as unknown when its path is too long, so the tracks go
# to Documents\ZorpLoad.
omega_documents="$drive_c/users/$(id -un)/Ωmega"
mkdir "$omega_documents"
for shell_folders in 'User Shell Folders' 'Shell Folders'; do
  wine reg add "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\$shell_folders" /v Personal \
    /t REG_SZ /d "C:\\users\\$(id -un)\\Ωmega" /f >/dev/null 2>&1 || fail "Documents not moved"
done
deep="$work/$(printf 'd%.0s' $(seq 130))/$(printf 'e%.0s' $(seq 130))"
mkdir -p "$deep"
cp "$install_dir/zorpload.exe" "$driver" "$deep/"
(cd "$deep" && ZORP_SIM_TRACKS=1 ZORP_SIM_ITEMS=100 exec wine zorpload.exe) &
wine_pid=$!
wait_window "Download o.k." 60 >/dev/null || fail "no \"Download o.k.\" with the tracks in Documents"
keys_to "Download o.k." Return
wait "$wine_pid" || true
wine_pid=""
compgen -G "$omega_documents/ZorpLoad/20??-??-??_????_???.txt" >/dev/null || fail "no track in C:\users\...\Ωmega\ZorpLoad"

echo "--- silent uninstall"
wine "$install_dir/Uninstall.exe" /S || fail "the uninstaller ended with exit code $?"
# The uninstaller runs on from a copy of itself in the temporary folder.
for _ in $(seq 150); do [[ -e $install_dir/Uninstall.exe ]] || break; sleep 0.2; done
wineserver --wait
for file in $installed; do [[ ! -e $install_dir/$file ]] || fail "$file is left"; done
[[ ! -e $menu/ZorpLoad.lnk && ! -e $menu/$demo_link ]] || fail "a Start-menu shortcut is left"
wine reg query "$key" >/dev/null 2>&1 && fail "ZorpLoad is still in Apps"
[[ $(find "$documents" "$install_dir" -name '20??-??-??_????_???.txt' 2>/dev/null | LC_ALL=C sort) == "$tracks" ]] ||
  fail "the uninstaller touched the track files"
[[ ! -e $install_dir ]] || fail "the empty install folder is left"
wineserver -k || true
wineserver --wait
rm -rf "$WINEPREFIX"
echo "installed, started from the Start menu, downloaded and uninstalled"
