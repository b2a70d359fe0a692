#!/usr/bin/python3
"""Requests on the accessibility bus with hostile numbers, as any client of
the user's bus may send them (run inside xvfb-run and dbus-run-session;
Debian's python3-pyatspi): the box of the page's text over ranges far past
its ends is the box of the whole text (or of its last character), and the
ranges within a box are refused at once. Each answer comes without the
window being held: a hang fails through the bus's own time limit for a
call, or the test's TIMEOUT.

    test_access_bounds.py QUORVEL
"""
import os, subprocess, sys, time

import pyatspi
from gi.repository import GLib

quorvel = sys.argv[1]
failures = []


def wait_for(what, seconds=60):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while GLib.MainContext.default().iteration(False):
            pass
        found = what()
        if found:
            return found
        time.sleep(0.05)
    return None


def find(acc, test):
    if acc is None:
        return None
    if test(acc):
        return acc
    for child in acc:
        found = find(child, test)
        if found:
            return found
    return None


def page():
    app = next((app for app in pyatspi.Registry.getDesktop(0) if app is not None and app.name == "quorvel"), None)
    return find(app, lambda acc: acc.getRoleName() == "document frame")


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: {got!r}, not {want!r}")


def error_of(call):
    try:
        call()
    except GLib.Error as error:
        return error.message
    return "no error"


env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
viewer = subprocess.Popen([quorvel], env=env)
try:
    doc = wait_for(page)
    if not doc:
        sys.exit("FAIL: the page did not show on the accessibility bus")
    text = doc.queryText()
    count = text.characterCount
    whole = tuple(text.getRangeExtents(0, count, pyatspi.DESKTOP_COORDS))
    check("the whole text has a box", whole[2] > 0 and whole[3] > 0, True)
    for start, end in [(0, 2**31 - 1), (-2**31, 2**31 - 2), (-1, count + 1), (count - 1, 2**31 - 1)]:
        box = tuple(text.getRangeExtents(start, end, pyatspi.DESKTOP_COORDS))
        check(f"the box of {start}..{end}", box, whole if start < count - 1 else
              tuple(text.getRangeExtents(count - 1, count, pyatspi.DESKTOP_COORDS)))
    refused = error_of(lambda: text.getBoundedRanges(0, 0, 10000, 10000, pyatspi.DESKTOP_COORDS,
                                                     pyatspi.TEXT_CLIP_NONE, pyatspi.TEXT_CLIP_NONE))
    check("the ranges within a box", "not offered" in refused, True)
    check("the page's text after them", text.characterCount, count)  # the window still answers
finally:
    viewer.kill()

if failures:
    sys.exit("FAIL: " + "; ".join(failures))
print(f"PASS: ranges past the text's {count} characters bounded, ranges in a box refused")
