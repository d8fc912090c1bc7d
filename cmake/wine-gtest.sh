#!/bin/sh
# Usage: wine-gtest.sh PREFIX LOADER PROGRAM [ARGS...]
# Runs a GoogleTest program under Wine (through wine-run.sh) and passes only
# when it ran to GoogleTest's closing summary with no test failed and exited
# with 0. The exit status alone does not tell: a program that crashes under
# Wine's crash debugger may still exit with 0.
log=$(mktemp)
sh "$(dirname "$0")/wine-run.sh" "$@" >"$log" 2>&1
status=$?
cat "$log"
last=$(sed -n 's/^\[ RUN      \] //p' "$log" | tail -n 1 | tr -d '\r')
name=$(basename "$3")
problem=
if grep -q -E '^wine: Unhandled|^Unhandled exception' "$log"; then
  problem="$name CRASHED; the last test it started: ${last:-none}"
elif ! grep -q '^\[  PASSED  \] [0-9]* tests\{0,1\}\.' "$log"; then
  problem="$name STOPPED before GoogleTest's closing summary; the last test it started: ${last:-none}"
elif grep -q '^\[  FAILED  \]' "$log" || [ "$status" -ne 0 ]; then
  problem="$name failed (exit status $status)"
fi
rm -f "$log"
[ -z "$problem" ] && exit 0
echo "$problem" >&2
exit 1
