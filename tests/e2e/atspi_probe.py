#!/usr/bin/python3
"""Reads the running player as a screen reader does, over AT-SPI.

Run with Debian's /usr/bin/python3 on the private desktop and accessibility
bus that the e2e case made. It finds the application, prints the main
window's tree, checks the category page and the buttons by their names,
presses the region "北京" and then the first station of its page by their
actions, reads the status line, and sets the volume through the value
interface. Each finding is printed as a line "RESULT key=value" for the case
to check; every wait is bounded by the deadline given on the command line.
"""

import sys
import time

import gi

gi.require_version("Atspi", "2.0")
import pyatspi  # noqa: E402
from gi.repository import GLib  # noqa: E402

APPLICATION = sys.argv[1] if len(sys.argv) > 1 else "orvane-radio"
DEADLINE = time.monotonic() + (float(sys.argv[2]) if len(sys.argv) > 2 else 60.0)
events = []


def result(key, value):
    print(f"RESULT {key}={value}", flush=True)


def pump(seconds):
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(what, condition, seconds=20.0):
    end = min(DEADLINE, time.monotonic() + seconds)
    while time.monotonic() < end:
        found = condition()
        if found:
            return found
        pump(0.1)
    result("timeout", what)
    return None


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # an object gone in between
        return []


def states(node):
    names = []
    for state in node.getState().getStates():
        names.append(pyatspi.stateToString(state))
    return names


def dump(node, depth=0):
    extra = ""
    if "Value" in pyatspi.listInterfaces(node):
        extra = f" value={node.queryValue().currentValue:g}"
    flags = [s for s in states(node) if s in ("focusable", "focused", "checked", "showing", "sensitive")]
    print("  " * depth + f"[{node.getRoleName()}] \"{node.name}\"{extra} ({','.join(flags)})", flush=True)
    for child in children(node):
        dump(child, depth + 1)


def find(node, role, name=None):
    for child in children(node):
        if child.getRoleName() == role and (name is None or child.name == name):
            return child
        below = find(child, role, name)
        if below is not None:
            return below
    return None


def press(node, action="Press"):
    acting = node.queryAction()
    for i in range(acting.nActions):
        if acting.getName(i) == action:
            return acting.doAction(i)
    return False


def listen(event):
    events.append(f"{event.type} {event.source.name if event.source else ''}")


def main():
    pyatspi.Registry.registerEventListener(
        listen, "object:state-changed:checked", "object:property-change:accessible-value",
        "object:property-change:accessible-name", "object:state-changed:focused", "focus:")

    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.name == APPLICATION:
                return app
        return None

    app = wait_for("application", application, 40)
    if app is None:
        return 1
    frame = wait_for("main window", lambda: next(
        (w for w in children(app) if w.getRoleName() == "frame" and w.name == "Orvane网络收音机"), None))
    if frame is None:
        return 1
    print("TREE-BEGIN", flush=True)
    dump(frame)
    print("TREE-END", flush=True)

    page = find(frame, "panel", "电台分类")
    regions = [c.name for c in children(page)] if page is not None else []
    result("category_page", "|".join(regions))
    for name in ("关闭", "换肤", "上一台", "播放", "下一台", "广告", "Orvane网络收音机"):
        button = find(frame, "push button", name)
        if button is not None:
            result("button", name)
    slider = find(frame, "slider", "音量")
    result("slider", slider is not None)

    beijing = find(frame, "radio button", "北京")
    result("beijing_found", beijing is not None)
    if beijing is None:
        return 1
    result("beijing_pressed", press(beijing))
    wait_for("beijing checked", lambda: "checked" in states(beijing), 10)
    result("beijing_checked", "checked" in states(beijing))

    status = find(frame, "label", "欢迎收听")
    result("status_found", status is not None)
    station_list = find(frame, "panel", "电台列表")
    station = wait_for("station page", lambda: station_list is not None and "showing" in states(station_list)
                       and find(station_list, "radio button"), 10)
    if station is None:
        return 1
    result("station", station.name)
    result("station_pressed", press(station))
    print("STATION-PAGE-BEGIN", flush=True)
    dump(station_list)
    print("STATION-PAGE-END", flush=True)

    if status is None:
        return 1
    text = wait_for("status change", lambda: status.name if status.name != "欢迎收听" else None, 20)
    result("status_name", text)
    result("status_text", status.queryText().getText(0, -1))
    playing = wait_for("playing status", lambda: status.name if status.name.startswith("播放中") else None, 30)
    result("status_playing", playing)

    if slider is not None:
        slider.queryValue().currentValue = 33
        pump(0.5)
        result("volume", f"{slider.queryValue().currentValue:g}")
        result("slider_focus_action", press(slider, "SetFocus"))
        focused = wait_for("slider focused", lambda: "focused" in states(slider), 10)
        result("slider_focused", bool(focused))

    # Another region rebuilds the station page: the old station is gone
    # for the reader too, and the new page lists the other region's station.
    shanghai = find(frame, "radio button", "上海")
    result("shanghai_pressed", press(shanghai) if shanghai is not None else False)
    wait_for("shanghai page", lambda: find(station_list, "radio button", "上海新闻"), 10)
    names = [c.name for c in children(find(station_list, "panel", "电台"))]
    result("second_page", "|".join(names))
    try:
        gone = station.name
        gone_states = states(station)
        result("old_station", f"{gone!r} {'defunct' if 'defunct' in gone_states else 'alive'}")
    except Exception as error:  # the bridge refuses a removed object
        result("old_station", f"refused {type(error).__name__}")
    return 0


if __name__ == "__main__":
    try:
        code = main()
    finally:
        pump(0.5)
        for line in events:
            result("event", line)
    sys.exit(code)
