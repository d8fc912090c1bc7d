#!/bin/sh
# Usage: xvfb.sh start|stop PREFIX [WIDTHxHEIGHT]
# start: runs a virtual X display (800x600 unless given, 24-bit) on a free display number
# that Xvfb chooses, with a window manager on it as every desktop has, and writes the display
# to PREFIX.display, where wine-run.sh picks it up; stop: ends the window manager and the display.
action=$1
prefix=$2
size=${3:-800x600}
state="$prefix.display"

# Ends the process and waits (up to 5 s) until it has gone: a server still
# shutting down removes its socket file, which by then may be a new server's.
stop_pid() {
  if [ -f "$1" ]; then
    pid=$(cat "$1")
    kill "$pid" 2>/dev/null
    tries=0
    while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
      tries=$((tries + 1))
      sleep 0.1
    done
    rm -f "$1"
  fi
}

stop() {
  stop_pid "$state.wm.pid"
  stop_pid "$state.pid"
  rm -f "$state" "$state.number" "$state.openbox.xml" "$state.wm.log"
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

# Waits up to 10 s for the check ($2...) to pass; otherwise says what ($1) did
# not start, with what the window manager printed, and stops both.
wait_for() {
  what=$1
  shift
  tries=0
  until "$@"; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
      echo "$what did not start${n:+ on :$n}" >&2
      cat "$state.wm.log" >&2 2>/dev/null
      stop
      exit 1
    fi
    sleep 0.1
  done
}

# A client can connect: the check that the display is really there.
x_running() {
  DISPLAY=":$n" xprop -root >/dev/null 2>&1
}

# Xvfb writes the number, and a newline, once it takes connections.
number_written() {
  [ "$(wc -l <"$state.number")" -ge 1 ]
}

wm_running() {
  DISPLAY=":$n" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# Xvfb takes a free number itself: a number guessed from the socket files may
# be taken by another run starting at the same moment, whose server then dies.
# Without -noreset the server resets when its last client leaves, and refuses
# connections meanwhile: the window manager, coming just after the check
# below, then sometimes failed to open the display.
# Detached from ctest's output, which would otherwise wait for it to end.
n=
: >"$state.number"
Xvfb -displayfd 3 -noreset -screen 0 "${size}x24" -nolisten tcp 3>"$state.number" \
  </dev/null >/dev/null 2>&1 &
echo $! > "$state.pid"
wait_for Xvfb number_written
n=$(head -n 1 "$state.number")
wait_for Xvfb x_running

# NOTE: without a window manager Wine waits about 2 s for an answer on every
# hide or show of a top-level window, and focus does not work as on a desktop.
# Openbox gives the focus to every window it maps, even one shown without
# activation; Windows never does, so here it gives the focus only when asked.
cat > "$state.openbox.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>no</focusNew></focus>
</openbox_config>
EOF
DISPLAY=":$n" openbox --sm-disable --config-file "$state.openbox.xml" </dev/null >"$state.wm.log" 2>&1 &
echo $! > "$state.wm.pid"
wait_for openbox wm_running
echo ":$n" > "$state"
