#!/usr/bin/env bash
# Walks every window of the tool against vxksim over the desktop accessibility bus (AT-SPI),
# as a screen reader sees them: a private session bus, a virtual X display, the tool touring
# its windows and tests/atspi/walk.py looking at each; then tests/atspi/latency.py times the
# window's answers while it waits for a slow device. Exits 77 (skipped) with the reason
# when the machine cannot run it.
# usage: AccessibilityWalk.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIPPED: accessibility walk: $*"; exit 77; }
command -v dbus-run-session >/dev/null || skip "no dbus-run-session (package dbus)"
command -v Xvfb >/dev/null || skip "no Xvfb (package xvfb)"
launcher=$(ls /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher \
  2>/dev/null | head -n 1)
[ -n "$launcher" ] || skip "no at-spi-bus-launcher (package at-spi2-core)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "no pyatspi (package python3-pyatspi)"
[ -x "$build/vxktool" ] && [ -x "$build/vxksim" ] || skip "vxktool or vxksim not built"

if [ -z "${VXK_WALK_INNER:-}" ]; then
  VXK_WALK_INNER=1 exec dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
pids=()
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A runtime folder of its own: the tools' terminal lock is not shared with programs that other
# tests run meanwhile.
mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || skip "Xvfb did not start"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

"$launcher" --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 && break
  sleep 0.1
done
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
  >/dev/null 2>&1 || skip "the accessibility bus did not start"

port=$(/usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1

# One tour of the tool in mode (-tcp or -server) with a vxksim connecting to it; walk.py
# must see the pictures named. (The log window needs a USB link: its names are checked by
# the in-process test.)
walk_tour() {
  local mode=$1 port tool status
  shift
  port=$(/usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
  rm -rf "$work/shots"
  mkdir -p "$work/shots"
  VXK_SCREENSHOT_DIR="$work/shots" VXK_SCREENSHOT_HANDSHAKE=1 \
    "$build/vxktool" "$mode=$port" -key=walk 2>"$work/tool.log" &
  tool=$!
  pids+=("$tool")
  # Paced, so that the upload in progress is there to be walked.
  "$build/vxksim" --tcp "127.0.0.1:$port" --key walk --line-rate 100000 >"$work/sim.log" 2>&1 &
  pids+=($!)
  /usr/bin/python3 "$here/walk.py" "$work/shots" "$tool" "$@"
  status=$?
  # The tour ends the tool; a failing exit (a sanitizer's report, say) fails the walk.
  if [ "$status" -eq 0 ] && ! kill -0 "$tool" 2>/dev/null; then
    wait "$tool" || { echo "walk: vxktool exited with status $?"; status=1; }
  fi
  if [ "$status" -ne 0 ]; then
    echo "--- tool log"
    cat "$work/tool.log"
  fi
  return "$status"
}

# The window answers the bus while its worker waits seconds for a device behind a slow link.
latency_check() {
  local port tool status
  port=$(/usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
  "$build/vxktool" -tcp="$port" -key=walk -rtt=8000 2>"$work/tool.log" &
  tool=$!
  pids+=("$tool")
  "$build/vxksim" --tcp "127.0.0.1:$port" --key walk --latency 1500 >"$work/sim.log" 2>&1 &
  pids+=($!)
  /usr/bin/python3 "$here/latency.py" "$tool"
  status=$?
  kill "$tool" 2>/dev/null
  [ "$status" -eq 0 ] || { echo "--- tool log"; cat "$work/tool.log"; }
  return "$status"
}

# The status bar's parts must be found by name on the main window.
walk_tour -tcp main connect upload transfer editor lcd sync-time diagnostics \
  name:Link name:Device name:Operation || exit 1
walk_tour -server server || exit 1
latency_check || exit 1
