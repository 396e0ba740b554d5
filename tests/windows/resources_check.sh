#!/usr/bin/env bash
# The built Windows files as Windows reads them (resource_probe.exe under
# Wine): every .exe and the simulated FTD2XX.dll carry the product name, the
# version and a description of their own; the programs carry the manifest
# (visual styles, per-monitor DPI awareness, asInvoker, Windows 7 to 11, the
# UTF-8 code page); and no file carries a symbol table (release builds are
# stripped).
#
# usage: resources_check.sh RESOURCE_PROBE_EXE OBJDUMP VERSION ZORPLOAD_EXE DEMO_EXE SIMULATED_DLL
set -euo pipefail

probe=$1 objdump=$2 version=$3 program=$4 demo=$5 dll=$6
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# Wine takes the files by their Windows names.
out=$(wine "$probe" "$(winepath -w "$program")" "$(winepath -w "$demo")" "$(winepath -w "$dll")" 2>/dev/null | tr -d '\r')
value() { grep -F "$(winepath -w "$1"): $2=" <<<"$out" | head -n1 | cut -d= -f2- || true; }

major=${version%%.*} minor=$((10#${version#*.}))
descriptions=()
for file in "$program" "$demo" "$dll"; do
  name=$(basename "$file")
  [[ $(value "$file" ProductName) == ZorpLoad ]] || fail "$name: product name \"$(value "$file" ProductName)\""
  [[ $(value "$file" ProductVersion) == "$version" ]] || fail "$name: product version"
  [[ $(value "$file" FileVersion) == "$version" ]] || fail "$name: file version"
  [[ $(value "$file" fixed) == "$major.$minor.0.0" ]] || fail "$name: fixed file version $(value "$file" fixed)"
  description=$(value "$file" FileDescription)
  [[ -n $description ]] || fail "$name: no file description"
  descriptions+=("$description")
  [[ $("$objdump" -f "$file") == *"HAS_SYMS"* ]] && fail "$name: not stripped"
done
[[ $(printf '%s\n' "${descriptions[@]}" | sort -u | wc -l) -eq 3 ]] || fail "two files share a description"

for file in "$program" "$demo"; do
  manifest=$(grep -F "$(winepath -w "$file"): manifest=" -A60 <<<"$out" || true)
  for element in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
                 '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2' \
                 'level="asInvoker"' \
                 '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' \
                 '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8<'; do
    grep -qF "$element" <<<"$manifest" || fail "$(basename "$file"): no $element in the manifest"
  done
done
[[ $failed -eq 0 ]] && echo "version resources, manifests and stripping as expected"
exit $failed
