#!/usr/bin/env bash
# Installs the package that scripts/package.sh built, runs it as a normal
# user (zorpload --version on Qt's offscreen platform; a whole download of
# zorpload-cli-demo, twice) and checks that the tracks landed in that user's
# Documents/ZorpLoad/Demo, the real Documents/ZorpLoad holding nothing else;
# then removes the package and checks that none of its
# files is left. Needs root or sudo. The user is ZORP_TEST_USER (default
# zorptest), made for the test and removed again when it does not exist.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
deb=$(echo build/release/zorpload_*.deb)
[[ -f $deb ]] || { echo "no package; run scripts/package.sh first" >&2; exit 1; }
if dpkg-query -W -f='${Status}' zorpload 2>/dev/null | grep -q 'install ok installed'; then
  echo "zorpload is installed on this machine already; the test leaves it alone" >&2
  exit 1
fi

user=${ZORP_TEST_USER:-zorptest}
made_user=0
if ! id "$user" >/dev/null 2>&1; then
  $sudo useradd --create-home --shell /bin/bash "$user"
  made_user=1
fi
home=$(getent passwd "$user" | cut -d: -f6)

cleanup() {
  if dpkg-query -W zorpload >/dev/null 2>&1; then $sudo dpkg --purge zorpload >/dev/null; fi
  if ((made_user)); then
    $sudo userdel --remove "$user" 2>/dev/null || true
    $sudo rm -rf "/tmp/runtime-$user"  # made by Qt for the user
  fi
}
trap cleanup EXIT

# A login's environment, nothing of root's: the home, a plain PATH, no display.
run_as() {
  $sudo runuser -u "$user" -- env -i -C "$home" HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "$@"
}

echo "--- install $deb"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null
mapfile -t packaged < <(dpkg -L zorpload)

version=$(run_as zorpload --version)
[[ $version == "ZorpLoad 1.01" ]] || { echo "zorpload --version said: $version" >&2; exit 1; }
echo "zorpload --version: $version"

docs="$home/Documents/ZorpLoad/Demo"
echo "--- zorpload-cli-demo as $user"
run_as zorpload-cli-demo | tee /tmp/zorpload-package-test.log
grep -qxF "Output directory: $docs" /tmp/zorpload-package-test.log
grep -qxF "ZORP read done. Data saved." /tmp/zorpload-package-test.log
txt=$(find "$docs" -name '*.txt' | wc -l)
imp=$(find "$docs" -name '*.imp' | wc -l)
owner=$(stat -c %U "$docs")
echo "$docs: $txt track files, $imp timing files, owned by $owner"
[[ $txt -eq 3 && $imp -eq 2 && $owner == "$user" ]]
[[ -z $(find "$docs" -name '*.tmp' -o -name '.zorpload-probe*') ]]
[[ $(ls -A "$home/Documents/ZorpLoad") == Demo ]] || { echo "the demo wrote into the real folder" >&2; exit 1; }

echo "--- again: every track is there"
skipped=$(run_as zorpload-cli-demo | grep -c ' ... exist, skipping$')
[[ $skipped -eq 3 ]]

echo "--- remove"
$sudo dpkg --purge zorpload >/dev/null
left=0
for path in "${packaged[@]}"; do
  if [[ -e $path && ! -d $path ]] || [[ $path == *zorpload* && -e $path ]]; then
    echo "left behind: $path" >&2
    left=1
  fi
done
((left == 0))
echo "package test passed"
