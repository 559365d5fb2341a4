#!/usr/bin/env python3
"""The replay tool end to end, under Wine with no X tool at all: fixed scripts played into the
editor and into the event stream example give PNG files with the expected pixels, the example
receives exactly the scripted events, and each failure gets its own exit status, one line on
standard error, no PNG (but after a playback that does not end) and no working folder left."""

import os

from zepha_e2e import (BLUE, GREEN, RED, WHITE, YELLOW, button, read_png, replay,
                       replay_folders_left, run)

STATUS_USAGE = 2
STATUS_NOT_FOUND = 120
STATUS_NO_WINDOW = 121
STATUS_PLAYBACK_TIMEOUT = 122
STATUS_PROGRAM_DIED = 123
EXIT_STATUS_OF_ENDS_ON_KEY = 7

# The editor: three shapes by their clicks, then a pick of the red rectangle, with periodic runs,
# a key and a blank line between them, as recordings have them.
EDITOR_CLICKS = [
    button("Red"), (-200, 200), (-50, 50),
    button("Oval"), button("Blue"), (20, -20), (220, -180),
    button("Rect"), button("Yellow"), (60, 220), (260, 80),
    button("Pick"), (-125, 125),
]
EDITOR_PROBES = [
    (-125, 125, RED), (-200, 125, GREEN), (-50, 125, GREEN), (-201, 125, WHITE),
    (120, -100, BLUE), (25, -25, WHITE), (160, 150, YELLOW), (0, 0, WHITE),
    (-275, 225, (0, 0, 0)),  # the Rect tool's filled square in the palette
]
RED_RECTANGLE = [button("Red"), (-200, 200), (-50, 50)]
RED_RECTANGLE_PROBES = [(-125, 125, RED), (-201, 125, WHITE), (120, -100, WHITE)]


def mouse_lines(points):
    return "".join("ZEPHA_MOUSE(%d, %d);\n" % point for point in points)


EDITOR_SCRIPT = ("ZEPHA_PERIODIC(4);\n" + mouse_lines(EDITOR_CLICKS[:3]) + "ZEPHA_KBD(97);\n\n" +
                 "ZEPHA_PERIODIC(12);\n" + mouse_lines(EDITOR_CLICKS[3:]))
# Three scripts for the event stream example, which shows the last event and counts the
# periodic ones: the first two carry the same events in different lines, the third one more
# periodic event.
EVENTS_FIVE = "ZEPHA_PERIODIC(5);\nZEPHA_MOUSE(100, -50);\n"
EVENTS_FIVE_OTHERWISE = "ZEPHA_PERIODIC(2);\n\nZEPHA_PERIODIC(3);\nZEPHA_MOUSE 100 -50\n"
EVENTS_SIX = "ZEPHA_PERIODIC(6);\nZEPHA_MOUSE(100, -50);\n"


def probe(checks, picture, probes, what):
    for x, y, rgb in probes:
        got = picture.pixel(x, y)
        checks.expect(got == rgb, "%s: pixel at (%d, %d) should be %r, is %r"
                      % (what, x, y, rgb, got))


def replay_tool_test(checks, start_editor, folder, args):
    wine = args.wine

    def script(name, text):
        path = os.path.join(folder, name)
        with open(path, "w", newline="\n") as file:
            file.write(text)
        return path

    def run_tool(what, program, script_path, expected_status, timeout_s=None):
        """Runs the tool; checks its status, its error line, the PNG's presence and that its
        working folder is gone. Returns the PNG read, or None."""
        out = os.path.join(folder, what.replace(" ", "-") + ".png")
        status, lines = replay(wine, args.replay, program, script_path, out, timeout_s)
        checks.expect(status == expected_status, "%s: exit status should be %d, is %d (%s)"
                      % (what, expected_status, status, lines))
        if expected_status in (0, STATUS_USAGE):
            checks.expect(not lines, "%s: nothing on standard error expected, got %r"
                          % (what, lines))
        else:
            checks.expect(len(lines) == 1, "%s: one line on standard error expected, got %r"
                          % (what, lines))
        checks.expect(not replay_folders_left(wine), "%s: working folders left behind: %r"
                      % (what, replay_folders_left(wine)))
        wants_png = expected_status in (0, STATUS_PLAYBACK_TIMEOUT)
        checks.expect(os.path.exists(out) == wants_png, "%s: the PNG should %sexist"
                      % (what, "" if wants_png else "not "))
        return (read_png(out) if os.path.exists(out) else None), lines

    checks.step("a fixed script into the editor")
    picture, _ = run_tool("editor", args.editor, script("editor.scr", EDITOR_SCRIPT), 0)
    if picture:
        probe(checks, picture, EDITOR_PROBES, "editor after the script")
    files = sorted(os.listdir(folder))
    checks.expect(all(name.endswith((".scr", ".png", ".txt")) for name in files),
                  "only the scripts and the PNG files should be in the folder: %r" % files)

    checks.step("the event stream example gets exactly the scripted events")
    five, _ = run_tool("events five", args.event_stream, script("five.scr", EVENTS_FIVE), 0)
    again, _ = run_tool("events five otherwise", args.event_stream,
                        script("five-otherwise.scr", EVENTS_FIVE_OTHERWISE), 0)
    six, _ = run_tool("events six", args.event_stream, script("six.scr", EVENTS_SIX), 0)
    if five and again and six:
        probe(checks, five, [(100, -50, RED), (100, -56, WHITE), (0, 0, WHITE)],
              "event stream after a click at (100, -50)")
        checks.expect(five.client_area() == again.client_area(),
                      "the same events in other lines should give the same picture")
        differing = [y for y, (a, b) in enumerate(zip(five.client_area(), six.client_area()))
                     if a != b]
        checks.expect(differing and max(differing) < 60,
                      "one more periodic event should change the count's text line near the "
                      "top, and only that; rows that differ: %r" % differing[:20])

    checks.step("failures")
    red = script("red.scr", mouse_lines(RED_RECTANGLE))
    run_tool("usage", args.editor, red, STATUS_USAGE, 0)  # --timeout 0 is refused
    run_tool("missing program", os.path.join(folder, "missing.exe"), red, STATUS_NOT_FOUND)
    run_tool("missing script", args.editor, os.path.join(folder, "missing.scr"), STATUS_NOT_FOUND)
    run_tool("no graphics window", "C:\\windows\\notepad.exe", red, STATUS_NO_WINDOW, 3)
    endless = script("endless.scr", mouse_lines(RED_RECTANGLE) + "ZEPHA_PERIODIC(2000000000);\n")
    picture, _ = run_tool("playback not ended", args.editor, endless, STATUS_PLAYBACK_TIMEOUT, 5)
    if picture:
        probe(checks, picture, RED_RECTANGLE_PROBES, "picture when the time ran out")
    key = script("key.scr", "ZEPHA_MOUSE(0, 0);\nZEPHA_KBD(97);\nZEPHA_MOUSE(5, 5);\n")
    _, lines = run_tool("program died", args.ends_on_key, key, STATUS_PROGRAM_DIED)
    checks.expect(any("status %d " % EXIT_STATUS_OF_ENDS_ON_KEY in line for line in lines),
                  "the line should give the program's status %d: %r"
                  % (EXIT_STATUS_OF_ENDS_ON_KEY, lines))


if __name__ == "__main__":
    run(replay_tool_test, __doc__)
