#!/usr/bin/python3
"""Times accessibility-bus calls to a running vx.keeper Tool while it works with a slow device.

The tool listens and a device with a long latency dials in: from the moment the window says it
is connected until its file list shows the device's files, the worker thread sends the opening
commands and the listing, each waiting seconds for its answer. Meanwhile this asks the window
for its name, state and children over and over, as a screen reader does, and times each answer.

Exit 0 when the listing came, calls were made for at least MIN_SPAN_S meanwhile, at least 95 %
of them were answered within 100 ms and none took a second (a window thread held by a device
wait takes seconds).

usage: latency.py TOOL_PID
"""
import sys
import time

import pyatspi

from walk import app_of

TIMEOUT_S = 90
MIN_SPAN_S = 2.0
LIST_ROLES = {pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_TABLE}


def find_list(node, depth=0):
    if node is None or depth > 30:
        return None
    if node.getRole() in LIST_ROLES:
        return node
    for i in range(node.childCount):
        found = find_list(node.getChildAtIndex(i), depth + 1)
        if found is not None:
            return found
    return None


def main():
    pid = int(sys.argv[1])
    deadline = time.time() + TIMEOUT_S
    frame = files = None
    while time.time() < deadline and files is None:
        app = app_of(pid)
        if app is not None and app.childCount > 0:
            frame = app.getChildAtIndex(0)
            if "connected" in (frame.name or ""):
                files = find_list(frame)
        time.sleep(0.05)
    if files is None:
        print("latency.py: the tool never showed a connected window with a file list",
              file=sys.stderr)
        return 1
    empty = files.childCount
    times, start, listed = [], time.time(), False
    while time.time() < deadline:
        t0 = time.monotonic()
        frame.name
        frame.getState()
        rows = files.childCount
        times.append((time.monotonic() - t0) * 1000)
        if rows > empty:
            listed = True
            break
        time.sleep(0.02)
    span = time.time() - start
    times.sort()
    print("atspi_calls %d" % len(times))
    print("atspi_span_s %.1f" % span)
    if times:
        print("atspi_median_ms %.1f" % times[len(times) // 2])
        print("atspi_p95_ms %.1f" % times[int(len(times) * 0.95)])
        print("atspi_max_ms %.1f" % times[-1])
    if not listed:
        print("latency.py: the listing never came", file=sys.stderr)
        return 1
    if span < MIN_SPAN_S:
        print("latency.py: the listing came too soon to measure anything", file=sys.stderr)
        return 1
    if times[int(len(times) * 0.95)] > 100 or times[-1] > 1000:
        print("latency.py: the window answered the bus too slowly", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
