#!/bin/sh
# Usage: wine-prefix.sh start|stop PREFIX LOADER
# start: makes the Wine prefix once per build tree (without crash dialogs,
# which would wait forever on a virtual display) and starts a persistent
# wineserver; stop: ends that prefix's wineserver and its processes.
set -e
action=$1
prefix=$2
loader=$3
export WINEPREFIX="$prefix" WINELOADER="$loader" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$loader" in
  *64) export WINEARCH=win64 ;;
  *) export WINEARCH=win32 ;;
esac
if [ -f "$prefix.display" ]; then
  DISPLAY=$(cat "$prefix.display")
  export DISPLAY
fi
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32

if [ "$action" = stop ]; then
  "$server" -k 2>/dev/null || true
  exit 0
fi

if ! "$loader" --version >/dev/null 2>&1; then
  echo "cannot start $loader: this machine does not run its code" >&2
  exit 1
fi
if [ ! -f "$prefix/.ready" ]; then
  rm -rf "$prefix"
  "$loader" wineboot.exe -i >/dev/null 2>&1
  "$loader" reg.exe add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$server" -w
  touch "$prefix/.ready"
fi
"$server" -p </dev/null >/dev/null 2>&1
# Start Wine's background services now, detached from any output: started by
# a test instead, they would inherit its output pipe and ctest would wait for
# them to close it.
"$loader" cmd.exe /c exit </dev/null >/dev/null 2>&1
