#!/bin/sh
# Usage: xvfb.sh start|stop PREFIX [WIDTHxHEIGHT]
# start: runs a virtual X display (800x600 unless given, 24-bit) on the first free display
# number and writes it to PREFIX.display, where wine-run.sh picks it up;
# stop: ends that display.
action=$1
prefix=$2
size=${3:-800x600}
state="$prefix.display"

if [ "$action" = stop ]; then
  if [ -f "$state.pid" ]; then
    kill "$(cat "$state.pid")" 2>/dev/null
  fi
  rm -f "$state" "$state.pid"
  exit 0
fi

n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do
  n=$((n + 1))
done
# Detached from ctest's output, which would otherwise wait for it to end.
Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp </dev/null >/dev/null 2>&1 &
echo $! > "$state.pid"
tries=0
until [ -e "/tmp/.X11-unix/X$n" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ]; then
    echo "Xvfb did not start on :$n" >&2
    exit 1
  fi
  sleep 0.1
done
echo ":$n" > "$state"
