#!/usr/bin/env python3
"""What a screen reader is told of the real window, read from the AT-SPI tree:
the window's role, the progress bar's text as it works, a results row's tick
state. Bounded in time everywhere; exits 1 on the first thing found wrong."""
import sys
import time

import pyatspi


def wait_for(what, find, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    sys.exit("not found in time: " + what)


def search(node, test, depth=0):
    if node is None or depth > 12:
        return None
    if test(node):
        return node
    for i in range(node.childCount):
        hit = search(node.getChildAtIndex(i), test, depth + 1)
        if hit:
            return hit
    return None


def app():
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name == "larkspire":
            return a
    return None


program = wait_for("the program on the accessibility bus", app)
window = wait_for("the window", lambda: search(program, lambda n: n.name == "Larkspire" and n.getRoleName() == "frame"))
start = search(window, lambda n: n.getRoleName() == "push button" and n.name == "Start Retrieving Quotes")
bar = search(window, lambda n: n.getRoleName() == "progress bar")
if start is None or bar is None:
    sys.exit("no Start button or progress bar")
start.queryAction().doAction(0)
wait_for("the bar's text while it works", lambda: bar.description.startswith("Processing: GOOG"))
table = wait_for("the results", lambda: search(window, lambda n: n.name == "Results" and n.childCount > 9))
cell = wait_for("a results row", lambda: search(table, lambda n: n.getRoleName() == "table cell"
                                                   and n.description.startswith("not ticked - GOOG")))
print("window role frame; the bar said " + repr(bar.description) + "; the row says " + repr(cell.description[:40]))
