#!/usr/bin/env python3
"""Reads the Tessel Desktop window through AT-SPI, as a screen reader does.

Usage: atspi-tree.py PID [--check]

Prints the whole accessibility tree of the process PID: one line per object with its role,
name, description, "labelled by" targets and whether it is disabled. With --check it first
checks what a screen reader relies on, fails with a message when something is wrong, and
presses Connect through AT-SPI, expecting the Connection status to read "Connected".
"""
import os
import sys
import time

import pyatspi

TIMEOUT_S = 30


def wait_for(what, probe):
    """Polls probe() until it returns something, within TIMEOUT_S."""
    deadline = time.monotonic() + TIMEOUT_S
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    sys.exit("atspi-tree.py: timed out waiting for " + what)


def application(pid):
    def probe():
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            sys.exit("atspi-tree.py: process %d ended before it showed a window" % pid)
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid and app.childCount > 0:
                return app
        return None
    return wait_for("the application of process %d on the accessibility bus" % pid, probe)


def walk(node, depth=0):
    yield depth, node
    for child in node:
        if child is not None:
            yield from walk(child, depth + 1)


def labelled_by(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def line(depth, node):
    text = "  " * depth + node.getRoleName() + " " + repr(node.name)
    if node.description:
        text += " description=" + repr(node.description)
    labels = labelled_by(node)
    if labels:
        text += " labelled-by=" + repr(labels)
    if not node.getState().contains(pyatspi.STATE_ENABLED):
        text += " disabled"
    return text


def find(app, role, name):
    for _, node in walk(app):
        if node.getRoleName() == role and node.name == name:
            return node
    return None


def status_value(app, title):
    """The value of a status row: the label that the row's title labels."""
    for _, node in walk(app):
        if node.getRoleName() == "label" and title in labelled_by(node):
            return node.name
    return None


def expect(condition, message):
    if not condition:
        sys.exit("atspi-tree.py: " + message)


def check(app):
    disconnect = wait_for("the Disconnect button", lambda: find(app, "push button", "Disconnect"))
    expect(not disconnect.getState().contains(pyatspi.STATE_ENABLED), "Disconnect is enabled before connecting")
    expect(disconnect.description == "Not connected",
           "disabled Disconnect does not say why: %r" % disconnect.description)
    expect(status_value(app, "Connection") == "Disconnected",
           "the Connection row reads %r" % status_value(app, "Connection"))
    connect = find(app, "push button", "Connect")
    expect(connect is not None and connect.getState().contains(pyatspi.STATE_ENABLED),
           "no enabled Connect button: the window is not pointed at a gateway")
    connect.queryAction().doAction(0)
    wait_for("the Connection row to read Connected", lambda: status_value(app, "Connection") == "Connected")
    wait_for("a session id", lambda: status_value(app, "Session ID"))
    expect(find(app, "push button", "Reconnect") is not None, "Connect did not become Reconnect")
    transcript = find(app, "list", "Transcript")
    expect(transcript is not None, "no Transcript list")
    wait_for("a transcript row saying what kind of item it is",
             lambda: any(row is not None and row.description == "System notice" for row in transcript))


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] != "--check"):
        sys.exit(__doc__)
    app = application(int(sys.argv[1]))
    if len(sys.argv) == 3:
        check(app)
    for depth, node in walk(app):
        print(line(depth, node))


if __name__ == "__main__":
    main()
