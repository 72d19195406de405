#!/usr/bin/env bash
# Takes a picture of every window the tool has (main, Connect, the upload chooser, an upload in
# progress, editor, LCD viewer, Sync Time, log, diagnostics, About, server), and of the main
# window at scale 2 (main-hidpi.png) and in a dark palette (main-dark.png), into
# docs/screenshots/: runs the tool against vxksim on a virtual
# X display with VXK_SCREENSHOT_DIR set, which makes it open each of its windows in turn, save
# it and quit. Windows this build does not have are skipped and named at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(xvfb xauth fonts-dejavu-core)
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
scripts/install-deps.sh
scripts/build.sh

out=docs/screenshots
work=$(mktemp -d)
pids=()
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  # Only what was started here; the server's device process ends with the X display.
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number and writes it to the file.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "screenshot.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export DISPLAY

free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("", 0))
print(s.getsockname()[1])'
}

# Runs the tool with the given options and one vxksim connecting to it; the tool quits by
# itself after its pictures (at most 3 minutes).
tour() {
  local port=$1 mode=$2 tool
  VXK_SCREENSHOT_DIR="$work/shots" build/vxktool "$mode=$port" -key=demo 2>>"$work/tour.log" &
  tool=$!
  pids+=("$tool")
  # Paced like a slow field link, so that the upload in progress can be seen.
  build/vxksim --tcp "127.0.0.1:$port" --key demo --line-rate 100000 >>"$work/sim.log" 2>&1 &
  pids+=($!)
  local status=0
  timeout 180 tail --pid="$tool" -f /dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "screenshot.sh: the tool ($mode) did not finish its pictures" >&2
    cat "$work/tour.log" >&2
    exit 1
  fi
}

tour "$(free_port)" -tcp
tour "$(free_port)" -server
mkdir -p "$out"
cp "$work"/shots/*.png "$out"/

# The main window once more on a screen scaled by 2 and once with a dark desktop palette.
for look in hidpi dark; do
  rm -rf "$work/shots"
  if [ "$look" = hidpi ]; then
    QT_SCALE_FACTOR=2 tour "$(free_port)" -tcp
  else
    VXK_SCREENSHOT_LOOK=dark tour "$(free_port)" -tcp
  fi
  cp "$work/shots/main.png" "$out/main-$look.png"
done
grep 'screenshot tour' "$work/tour.log" | grep -v 'wrote\|done' || true
for f in "$out"/*.png; do
  echo "screenshot.sh: $f ($(python3 -c 'import struct,sys
d = open(sys.argv[1], "rb").read(24)
print("%dx%d" % struct.unpack(">II", d[16:24]))' "$f"))"
done
