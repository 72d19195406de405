#!/usr/bin/env bash
# Floods the server daemon with devices on loopback and prints figures as "name value unit".
# Without options: 1000 devices in 10 s (half with valid headers, the rest garbage or silent)
# against the daemon run inside vxkload, ticked as its window ticks it, with a stand-in child per
# device (up to the daemon's limit of 32 at once) that is killed at the end; the exit status is 1
# when a child, zombie or descriptor is left over. With --port PORT only the devices are sent, to
# a daemon already running there. With --real-daemon: the real daemon, build/vxktool -server,
# with its real tool processes on the offscreen platform, under 300 connections in 3 s that never
# prove the key (a third closed at once, a third garbage, a third silent for 15 s), while a device
# with a valid header connects during the flood and another after it, trying again while turned
# away; figures include server.flood_children_left_after_30s (the flood's processes still there
# 30 s after it) and server.flood_real_device_served; the exit status is 1 when a process of the
# flood is left or a device was not served. It takes about 40 s.
# Other options: --count N --seconds T --hold-ms MS --rtt MS --key K, and --limit N for the
# in-process daemon (--limit 1000 gives every device its child). It ends by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VXK_BUILD_DIR:-build}
targets=(vxkload)
[[ " $* " == *" --real-daemon "* ]] && targets+=(vxktool)
for target in "${targets[@]}"; do
  if [ ! -x "$build/$target" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target "${targets[@]}"
    break
  fi
done
exec "$build/vxkload" "$@"
