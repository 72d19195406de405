#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the tool with a virtual device: vxktool
# listens on a free port and vxksim connects to it over loopback with the key "demo", serving
# its demo file tree. Closing the tool's window ends the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo.sh: no display: neither DISPLAY nor WAYLAND_DISPLAY is set, and the tool is a" >&2
  echo "windowed program. Run it in a desktop session (or over ssh -X)." >&2
  exit 1
fi

scripts/install-deps.sh
scripts/build.sh

# A port nobody uses at the moment (the tool listens on all addresses).
port=$(python3 -c 'import socket
s = socket.socket()
s.bind(("", 0))
print(s.getsockname()[1])')

tool_pid=""
sim_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  # Only the two programs started here; vxksim normally ends by itself with the connection.
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  if [ -n "$tool_pid" ]; then kill "$tool_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "demo.sh: vxktool listens on port $port; vxksim connects with the key \"demo\"."
echo "demo.sh: close the tool's window to end the demo."
build/vxktool -tcp="$port" -key=demo &
tool_pid=$!
# vxksim keeps trying for 10 s, so it may start before the tool listens.
build/vxksim --tcp "127.0.0.1:$port" --key demo &
sim_pid=$!

status=0
wait "$tool_pid" || status=$?
tool_pid=""
exit "$status"
