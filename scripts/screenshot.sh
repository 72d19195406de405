#!/usr/bin/env bash
# Takes docs/screenshot.png: runs the demo on a virtual X display, types "ver" into the
# terminal pane, captures the tool's window and ends everything again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(xvfb xauth x11-apps imagemagick xdotool fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Build first, so that the waits below only wait for the programs.
scripts/install-deps.sh
scripts/build.sh

out=docs/screenshot.png
work=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  if [ -n "$demo_pid" ]; then kill "$demo_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number and writes it to the file.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "screenshot.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export DISPLAY

scripts/demo.sh >"$work/demo.log" 2>&1 &
demo_pid=$!

# The caption gains " connected" when the device is accepted; the open sequence (header,
# device information, first read, listing) follows within a few seconds.
window=""
for _ in $(seq 60); do
  window=$(xdotool search --name 'vx\.keeper Tool TCP:[0-9]+ connected' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.5
done
if [ -z "$window" ]; then
  echo "screenshot.sh: the tool's window did not show a connected device" >&2
  cat "$work/demo.log" >&2
  exit 1
fi
sleep 3

# No window manager runs here: give the window the input focus directly.
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool type --delay 80 ver
xdotool key Return
sleep 2

mkdir -p docs
import -window "$window" "$out"
echo "screenshot.sh: wrote $out ($(identify -format '%wx%h' "$out"))"

# Close the window the way a user would (File, Exit); the demo then stops vxksim itself.
xdotool key alt+f
sleep 0.5
xdotool key Up Return
for _ in $(seq 50); do
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$demo_pid" 2>/dev/null; then
  echo "screenshot.sh: the window did not close from its menu; stopping the tool" >&2
  tool_pid=$(xdotool getwindowpid "$window" 2>/dev/null || true)
  if [ -n "$tool_pid" ]; then kill "$tool_pid" 2>/dev/null || true; fi
fi
wait "$demo_pid" 2>/dev/null || true
demo_pid=""
