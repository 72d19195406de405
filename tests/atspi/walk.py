#!/usr/bin/python3
"""Walks the accessibility tree of a running vx.keeper Tool the way a screen reader sees it.

The tool runs a screenshot tour in handshake mode: it shows one window at a time, writes
NAME.png into the folder and waits for NAME.seen. For every picture this walks all showing
windows of the application over AT-SPI, notes each focusable control without a name, and
writes NAME.seen. Exit 0 when every window was walked and every control had a name.

usage: walk.py FOLDER TOOL_PID PICTURE... [name:NAME...]
  PICTURE: a picture that must be seen; name:NAME: a control that must be found with that name
  (a label of the main window's status bar, say)
"""
import os
import sys
import time

import pyatspi

LEAF_ROLES = {pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST,
              pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TREE_ITEM}
MAX_NODES = 5000
TIMEOUT_S = 240


def app_of(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def walk(node, seen, out, depth=0):
    """Collects (role, name, description, focusable) of node and the nodes below it."""
    if node is None or len(seen) >= MAX_NODES or depth > 40:
        return
    seen.append(node)
    try:
        states = node.getState()
        if not states.contains(pyatspi.STATE_SHOWING):
            return
        out.append((depth, node.getRoleName(), node.name or "", node.description or "",
                    states.contains(pyatspi.STATE_FOCUSABLE)))
        if node.getRole() in LEAF_ROLES:
            # Rows are the data; the columns' captions are what a reader announces.
            return
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), seen, out, depth + 1)
    except Exception as e:  # a window that closed under the walk
        out.append((depth, "gone", str(e), "", False))


def main():
    folder, pid = sys.argv[1], int(sys.argv[2])
    wanted = set(a for a in sys.argv[3:] if not a.startswith("name:"))
    names = set(a[len("name:"):] for a in sys.argv[3:] if a.startswith("name:"))
    found = set()
    deadline = time.time() + TIMEOUT_S
    app, walked, unnamed, report = None, set(), [], {}
    while time.time() < deadline:
        try:
            os.kill(pid, 0)
        except OSError:
            break
        if app is None:
            app = app_of(pid)
        pictures = sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".png"))
        for picture in pictures:
            if picture in walked or app is None:
                continue
            time.sleep(0.3)  # the window settles before the picture; its tree follows
            for frame in app:
                out = []
                walk(frame, [], out)
                if not out:
                    continue
                title = out[0][2]
                report.setdefault(title, out)
                for depth, role, name, desc, focusable in out:
                    if focusable and not name.strip():
                        unnamed.append("%s: %s %s" % (title, role, desc))
                    if name in names:
                        found.add(name)
            walked.add(picture)
            open(os.path.join(folder, picture + ".seen"), "w").close()
        time.sleep(0.2)

    for title, out in report.items():
        print("== %s" % title)
        for depth, role, name, desc, focusable in out:
            if focusable or depth <= 1 or name in names:
                print("%s%s \"%s\"%s" % ("  " * depth, role, name, (" - " + desc) if desc else ""))
    missing = wanted - walked
    if app is None:
        print("walk.py: the tool never appeared on the accessibility bus", file=sys.stderr)
        return 1
    if missing:
        print("walk.py: windows not walked: %s" % " ".join(sorted(missing)), file=sys.stderr)
        return 1
    if names - found:
        print("walk.py: controls not found by name: %s" % " ".join(sorted(names - found)),
              file=sys.stderr)
        return 1
    for u in sorted(set(unnamed)):
        print("walk.py: focusable control without a name: %s" % u, file=sys.stderr)
    return 1 if unnamed else 0


if __name__ == "__main__":
    sys.exit(main())
