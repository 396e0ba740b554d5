#!/usr/bin/env bash
# Runs a program as over ssh (no display, no Qt platform named, nothing on
# standard input) and checks how it answers its command line:
#   command_line_answer.sh EXIT_CODE FIRST_LINE PROGRAM ARGUMENT...
# EXIT_CODE 0 expects the answer on standard output, any other code on
# standard error; the other stream stays empty. FIRST_LINE is the start of
# the answer's first line.
set -uo pipefail
expected_code=$1 expected_line=$2
shift 2
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" </dev/null >"$out" 2>"$err"
code=$?
answer=$out quiet=$err
((expected_code != 0)) && answer=$err quiet=$out
line=$(head -n1 "$answer")
status=0
((code == expected_code)) || { echo "exit code $code, expected $expected_code"; status=1; }
[[ $line == "$expected_line"* ]] || { echo "first line: '$line', expected: '$expected_line'"; status=1; }
[[ ! -s $quiet ]] || { echo "also printed elsewhere:"; cat "$quiet"; status=1; }
((status == 0)) || { echo "--- stdout"; cat "$out"; echo "--- stderr"; cat "$err"; }
exit $status
