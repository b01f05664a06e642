#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Reads the running panel the way a screen reader does, over AT-SPI.

Run by scripts/check-accessibility inside a virtual X server with a D-Bus session, while the
panel runs on a simulated projector whose log is given. Prints the tree, then checks that every
button and option has a name of its own and a description, that the displays say what they
are, that a button can be pressed through its action, and that the displays announce their new
text. Exits 1 on the first thing wrong.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

APP = "projector-panel"
sim_log = sys.argv[1]
failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def find_app():
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == APP:
                return app
        time.sleep(0.2)
    sys.exit(f"check-accessibility: {APP} never showed up on the accessibility bus")


def walk(node, depth=0, out=None):
    out = [] if out is None else out
    out.append((depth, node))
    for child in node:
        if child is not None:
            walk(child, depth + 1, out)
    return out


def state_words(node):
    states = node.getState()
    words = []
    for s, word in ((pyatspi.STATE_FOCUSABLE, "focusable"), (pyatspi.STATE_SHOWING, "showing"),
                    (pyatspi.STATE_CHECKED, "checked"), (pyatspi.STATE_FOCUSED, "focused")):
        if states.contains(s):
            words.append(word)
    return ",".join(words)


app = find_app()
nodes = walk(app)
print(f"== tree of {APP}: {len(nodes)} nodes")
for depth, node in nodes:
    desc = f"  -- {node.description}" if node.description else ""
    print(f"{'  ' * depth}[{node.getRoleName()}] \"{node.name}\"{desc}  ({state_words(node)})")

controls = [n for _, n in nodes if n.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_RADIO_BUTTON)]
print(f"== {len(controls)} buttons and options")
if len(controls) != 48:
    fail(f"expected 48 buttons and options, found {len(controls)}")
names = [c.name for c in controls]
for c in controls:
    if not c.name:
        fail(f"a {c.getRoleName()} without a name")
    if not c.description:
        fail(f"\"{c.name}\" has no description")
dupes = sorted({n for n in names if names.count(n) > 1})
if dupes:
    fail(f"names used twice: {dupes}")
for name in ("Power on", "Volume up", "Zoom in", "Cursor left", "Serial port 2", "9600 baud",
             "Show or hide the data area", "End the program"):
    if name not in names:
        fail(f"no control named \"{name}\"")

displays = {}
for _, n in nodes:
    if n.description in ("Command line last sent", "Reply received", "Projector status"):
        displays[n.description] = n
if len(displays) != 3:
    fail(f"found the displays {sorted(displays)}")

by_name = {c.name: c for c in controls}


def press(name):
    action = by_name[name].queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click"):
            action.doAction(i)
            return
    fail(f"\"{name}\" has no press action")


def sim_lines():
    with open(sim_log, encoding="latin-1") as f:
        return [line.split(" ", 1)[1].strip() for line in f if " " in line]


# A one-shot button pressed through its action sends its command, as a click does.
before = len(sim_lines())
press("Power on")
deadline = time.monotonic() + 3
while time.monotonic() < deadline and len(sim_lines()) == before:
    time.sleep(0.05)
sent = sim_lines()[before:]
print(f"== \"Power on\" pressed through AT-SPI: the projector received {sent}")
if sent[:1] != ["C00"]:
    fail(f"pressing \"Power on\" sent {sent}, not C00")

# The displays announce every new text: what a screen reader speaks without being asked.
announced = []


def on_name(event):
    source = event.source
    if source is not None and source.description in displays:
        # The event carries the new name in any_data with some bridges, in the source with others.
        text = event.any_data if isinstance(event.any_data, str) else source.name
        announced.append((source.description, text))


pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
# Well after the reply window of "Power on", so that its answer is not mixed in.
GLib.timeout_add(1500, lambda: press("Status read: power state") and False)
GLib.timeout_add(3500, lambda: pyatspi.Registry.stop() and False)
pyatspi.Registry.start()
print("== announced after \"Status read: power state\":")
for what, text in announced:
    print(f"   {what}: \"{text}\"")
for what in displays:
    shown = [t for w, t in announced if w == what and t]
    if not shown:
        fail(f"the display \"{what}\" announced no text")
    if not any(t == "" for w, t in announced if w == what):
        fail(f"the display \"{what}\" never announced that it was cleared")

if failures:
    print(f"check-accessibility: {len(failures)} problem(s)")
    sys.exit(1)
print("check-accessibility: all good")
