#!/usr/bin/env bash
# Floods the server daemon with devices on loopback (1000 in 10 s by default: half with valid
# headers, the rest garbage or silent) and prints figures as "name value unit". Without --port
# the daemon runs inside vxkload, ticked as its window ticks it, with a stand-in child per device
# that is killed at the end; the exit status is 1 when a child, zombie or descriptor is left
# over. With --port PORT only the devices are sent, to a daemon already running there.
# Other options: --count N --seconds T --hold-ms MS --rtt MS --key K. It ends by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VXK_BUILD_DIR:-build}
if [ ! -x "$build/vxkload" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target vxkload
fi
exec "$build/vxkload" "$@"
