#!/usr/bin/python3
"""What a screen reader learns of quadview, read through AT-SPI from outside the process.

    dbus-run-session -- tests/screenreader.py QUADVIEW

Run inside a D-Bus session of its own and on an X display (Xvfb); starts the
accessibility bus, then quadview with Qt's AT-SPI bridge on, and checks that the four
views are pictures named after their kind, with a description of their controls, in
their places in the grid, and that the view a click or Tab gives the focus is reported
focused (its state and the event a screen reader speaks on). Exit status 0 when all holds, 1
when something does not (each failure on a line), 77 where AT-SPI is not installed.
Debian's python3 is named outright: pyatspi is a Debian package, not a PyPI one.
"""
import os
import subprocess
import sys
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:
    print(f"screenreader.py: {error} (python3-pyatspi); skipped")
    sys.exit(77)

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
KINDS = ["Top view", "Left view", "Front view", "Perspective view"]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def wait_for(predicate, seconds):
    """Runs the main loop, where AT-SPI's events arrive, until predicate() holds."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    return predicate()


def find_views(app):
    """The views by name: every accessible in the tree whose name is a view's kind."""
    views = {}
    stack = [app]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        if node.name in KINDS:
            views[node.name] = node
        stack.extend(node[i] for i in range(node.childCount))
    return views


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop[i]
        if app is not None and app.name == name:
            return app
    return None


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


def click(node):
    x, y, width, height = extents(node)
    subprocess.run(["xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 2),
                    "click", "1"], check=True)


def main():
    if not os.path.exists(LAUNCHER):
        print("screenreader.py: no AT-SPI bus launcher (at-spi2-core); skipped")
        return 77
    launcher = subprocess.Popen([LAUNCHER, "--launch-immediately"])
    viewer = None
    try:
        # The bus launcher must answer before Qt's bridge asks for it.
        time.sleep(0.5)
        environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
        environment.pop("LD_PRELOAD", None)
        viewer = subprocess.Popen([sys.argv[1]], env=environment)
        app = wait_for(lambda: application("quadview"), 20)
        if not check(app is not None, "no application named quadview on the accessibility bus"):
            return 1
        views = wait_for(lambda: (lambda found: found if len(found) == 4 else None)(find_views(app)), 20)
        if not check(views, f"the views found by name: {sorted(find_views(app))}, not {KINDS}"):
            return 1

        for kind, view in views.items():
            role = view.getRoleName()
            check(view.getRole() == pyatspi.ROLE_IMAGE, f"{kind}: role {role}, not image")
            check(all(word in view.description for word in ("Alt+W", "pinch", "arrow keys", "+ and -", "Home", "Tab")),
                  f"{kind}: the description does not give the controls: {view.description!r}")
            check(view.getState().contains(pyatspi.STATE_FOCUSABLE), f"{kind}: not focusable")
            check(not focused(view), f"{kind}: focused before any click")
            check(view.childCount == 0, f"{kind}: {view.childCount} children, where the picture has no parts")

        # The grid at start-up: top and left above, front and perspective below.
        top, left, front, perspective = (extents(views[kind]) for kind in KINDS)
        check(all(box[2] > 0 and box[3] > 0 for box in (top, left, front, perspective)), "a view has no size")
        check(top[1] == left[1] and front[1] == perspective[1] and top[1] + top[3] <= front[1],
              f"rows: top {top}, left {left}, front {front}, perspective {perspective}")
        check(top[0] == front[0] and left[0] == perspective[0] and top[0] + top[2] <= left[0],
              f"columns: top {top}, left {left}, front {front}, perspective {perspective}")

        # A screen reader speaks when a view reports that it took the focus.
        announced = []
        listener = lambda event: announced.append(event.source.name) if event.detail1 else None
        pyatspi.Registry.registerEventListener(listener, "object:state-changed:focused")
        # A click, then Tab round the views in reading order and Shift+Tab back.
        steps = [("a click", "Left view"), ("a click", "Top view")]
        steps += [("Tab", kind) for kind in KINDS[1:] + KINDS[:1]] + [("shift+Tab", "Perspective view")]
        for how, kind in steps:
            del announced[:]
            if how == "a click":
                click(views[kind])
            else:
                subprocess.run(["xdotool", "key", how], check=True)
            check(wait_for(lambda: focused(views[kind]) and kind in announced, 10),
                  f"{kind}: not reported focused after {how} (events for {announced})")
            others = [other for other in KINDS if other != kind and focused(views[other])]
            check(not others, f"after {how} to the {kind}, also focused: {others}")
        pyatspi.Registry.deregisterEventListener(listener, "object:state-changed:focused")
    finally:
        if viewer is not None:
            viewer.terminate()
            viewer.wait(10)
        launcher.terminate()
        launcher.wait(10)
    for failure in failures:
        print("FAIL:", failure)
    print("screenreader.py:", "passed" if not failures else f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
