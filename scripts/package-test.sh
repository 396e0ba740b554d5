#!/usr/bin/env bash
# Installs the two packages that scripts/package.sh built and runs them as a
# normal user. zorpload-cli first, alone: a whole download of
# zorpload-cli-demo with every Qt library of the machine hidden, then again;
# its programs checked to link no Qt library and its dependencies to name no
# Qt package; zorp-sim-logger --help. Then
# zorpload beside it: its icons in every size, zorpload --version and a
# whole download of zorpload-demo on Qt's offscreen platform.
# Each download must land in that user's Documents/ZorpLoad/Demo, the real
# Documents/ZorpLoad holding nothing else. Last, both are
# removed and none of their files may be left.
#
# A ZorpLoad installed on the machine is saved first (dpkg-repack), removed
# for the test and installed again afterwards. Needs root or sudo. The user
# is ZORP_TEST_USER (default zorptest), made for the test and removed again
# when it does not exist. The programs' output goes to
# build/package/package-test/.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
window_deb=$(echo build/package/zorpload_*.deb)
cli_deb=$(echo build/package/zorpload-cli_*.deb)
[[ -f $window_deb && -f $cli_deb ]] || { echo "no packages; run scripts/package.sh first" >&2; exit 1; }
packages=(zorpload zorpload-cli)
work=build/package/package-test
saved=$work/saved
if compgen -G "$saved/*.deb" >/dev/null; then
  echo "an earlier run left the ZorpLoad it saved in $saved; install it again first:" >&2
  echo "  sudo dpkg -i $saved/*.deb && sudo rm $saved/*.deb" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$saved"

# Only a ZorpLoad that is wholly installed can be saved and put back.
installed=()
for package in "${packages[@]}"; do
  state=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null | cut -d' ' -f3 || true)
  case $state in
    "" | not-installed | config-files) ;;
    installed) installed+=("$package") ;;
    *) echo "$package is $state on this machine; repair or remove it first" >&2; exit 1 ;;
  esac
done

user=${ZORP_TEST_USER:-zorptest}
made_user=0
testing=0  # 1 once the machine's own ZorpLoad is saved and gone
auto=()
cleanup() {
  if ((testing)); then
    $sudo dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  fi
  if compgen -G "$saved/*.deb" >/dev/null; then
    echo "--- install the saved ZorpLoad again"
    $sudo dpkg -i "$saved"/*.deb >/dev/null && $sudo rm -f "$saved"/*.deb
    ((${#auto[@]} == 0)) || $sudo apt-mark auto "${auto[@]}" >/dev/null
  fi
  if ((made_user)); then
    $sudo userdel --remove "$user" 2>/dev/null || true
    $sudo rm -rf "/tmp/runtime-$user"  # made by Qt for the user
  fi
}
trap cleanup EXIT

if ((${#installed[@]})); then
  command -v dpkg-repack >/dev/null || { echo "saving the installed ZorpLoad needs dpkg-repack" >&2; exit 1; }
  echo "--- save the installed ${installed[*]} in $saved"
  mapfile -t auto < <(apt-mark showauto "${installed[@]}")
  (cd "$saved" && $sudo dpkg-repack "${installed[@]}" >/dev/null)
  $sudo dpkg --remove "${installed[@]}" >/dev/null
fi
testing=1

if ! id "$user" >/dev/null 2>&1; then
  $sudo useradd --create-home --shell /bin/bash "$user"
  made_user=1
fi
home=$(getent passwd "$user" | cut -d: -f6)
real_docs="$home/Documents/ZorpLoad"
docs="$real_docs/Demo"

# A login's environment, nothing of root's: the home, a plain PATH, no display.
as_user=(runuser -u "$user" -- env -i -C "$home" HOME="$home" USER="$user" LOGNAME="$user"
  PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen)
[[ -z $sudo ]] || as_user=("$sudo" "${as_user[@]}")
run_as() { "${as_user[@]}" "$@"; }

# The demo's three tracks, whole, in the user's own folder.
check_tracks() {
  local txt imp owner
  txt=$(find "$docs" -name '*.txt' | wc -l)
  imp=$(find "$docs" -name '*.imp' | wc -l)
  owner=$(stat -c %U "$docs")
  echo "$docs: $txt track files, $imp timing files, owned by $owner"
  [[ $txt -eq 3 && $imp -eq 2 && $owner == "$user" ]]
  [[ -z $(find "$docs" -name '*.tmp' -o -name '.zorpload-probe*') ]]
  [[ $(ls -A "$real_docs") == Demo ]] || { echo "a demo wrote into the real folder" >&2; exit 1; }
}

install_deb() {
  echo "--- install $1"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "./$1" >/dev/null
}

# Runs a program as the user with every Qt library of the machine shown
# empty (in a mount namespace of its own), so that a Qt library loaded at run
# time, not only one linked, would make it fail.
run_without_qt() {
  local as_root=("${as_user[@]}")
  [[ -z $sudo ]] || as_root=("${as_user[@]:1}")
  find /usr/lib /lib -name 'libQt*.so*' >"$work/qt-libraries"
  [[ -s $work/qt-libraries ]] || { echo "no Qt library on this machine to hide" >&2; exit 1; }
  $sudo unshare --mount --propagation private bash -c \
    'while read -r file; do mount --bind /dev/null "$file"; done <"$0"; exec "$@"' \
    "$work/qt-libraries" "${as_root[@]}" "$@"
}

install_deb "$cli_deb"
echo "--- zorpload-cli-demo as $user, with no Qt library to be found"
run_without_qt zorpload-cli-demo | tee "$work/zorpload-cli-demo.log"
grep -qxF "Output directory: $docs" "$work/zorpload-cli-demo.log"
grep -qxF "ZORP read done. Data saved." "$work/zorpload-cli-demo.log"
check_tracks

echo "--- again: every track is there"
skipped=$(run_as zorpload-cli-demo | tee "$work/zorpload-cli-demo-again.log" | grep -c ' ... exist, skipping$')
[[ $skipped -eq 3 ]]

echo "--- zorpload-cli needs no Qt"
qt_depends=$(dpkg-query -W -f='${Depends}\n' zorpload-cli | tr ',' '\n' | grep -i 'qt' || true)
[[ -z $qt_depends ]] || { echo "zorpload-cli depends on $qt_depends" >&2; exit 1; }
for program in /usr/bin/zorpload-cli /usr/bin/zorpload-cli-demo /usr/bin/zorp-sim-logger; do
  qt_libraries=$(ldd "$program" | grep -i 'libqt' || true)
  [[ -z $qt_libraries ]] || { echo "$program loads $qt_libraries" >&2; exit 1; }
done
echo "no Qt package among its dependencies, no Qt library loaded"

echo "--- zorp-sim-logger --help as $user"
run_as zorp-sim-logger --help >"$work/zorp-sim-logger-help.log"
head -1 "$work/zorp-sim-logger-help.log" | grep -qxF 'Usage: zorp-sim-logger [TRACKS [ITEMS]]'
grep -qF 'zorpload-cli --port /dev/pts/' "$work/zorp-sim-logger-help.log"

install_deb "$window_deb"
icons=(/usr/share/icons/hicolor/scalable/apps/zorpload.svg)
for size in 16 24 32 48 64 128 256; do
  icons+=("/usr/share/icons/hicolor/${size}x$size/apps/zorpload.png")
done
for icon in "${icons[@]}"; do
  [[ -s $icon ]] || { echo "icon missing: $icon" >&2; exit 1; }
done
echo "icons: 16 to 256 px and scalable"
version=$(run_as zorpload --version)
[[ $version == "ZorpLoad 1.01" ]] || { echo "zorpload --version said: $version" >&2; exit 1; }
echo "zorpload --version: $version"

# The window's demo ends in a question that nobody answers here: it is
# stopped once its tracks are saved.
echo "--- zorpload-demo as $user"
$sudo rm -rf "$docs"
# Started without a function around it, so that $! is runuser, which passes
# the signal on to the program.
"${as_user[@]}" zorpload-demo >"$work/zorpload-demo.log" 2>&1 &
demo=$!
for ((second = 0; second < 90; ++second)); do
  [[ $(find "$docs" -name '*.txt' 2>/dev/null | wc -l) -eq 3 ]] && break
  sleep 1
done
$sudo kill "$demo" 2>/dev/null || true
wait "$demo" || true
check_tracks

echo "--- remove"
mapfile -t packaged < <(dpkg -L "${packages[@]}")
$sudo dpkg --purge "${packages[@]}" >/dev/null
left=0
for path in "${packaged[@]}"; do
  if [[ -e $path && ! -d $path ]] || [[ $path == *zorpload* && -e $path ]]; then
    echo "left behind: $path" >&2
    left=1
  fi
done
((left == 0))
echo "package test passed"
