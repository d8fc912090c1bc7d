#!/bin/sh
# Usage: wine-run.sh PREFIX LOADER PROGRAM [ARGS...]
# Runs a Windows program under Wine in the given prefix, quietly.
prefix=$1
loader=$2
shift 2
export WINEPREFIX="$prefix" WINELOADER="$loader" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$loader" in
  *64) export WINEARCH=win64 ;;
  *) export WINEARCH=win32 ;;
esac
# A virtual display started by the display fixture, when there is one.
if [ -f "$prefix.display" ]; then
  DISPLAY=$(cat "$prefix.display")
  export DISPLAY
fi
exec "$loader" "$@"
