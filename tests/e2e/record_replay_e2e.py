#!/usr/bin/env python3
"""Recording and playback end to end: with real keys, Ctrl+R starts recording a session of
clicks into ZEPHA.SCR, Ctrl+R again stops it and Ctrl+Q ends the editor with status 0; the
replay tool plays the file into a new run of the editor, which ends with status 0, and its
PNG equals the recorded session's client area, pixel for pixel."""

import os
import re

from zepha_e2e import (BLUE, RED, SCREEN_DEADLINE, WHITE, YELLOW, button, read_png, replay, run,
                       wait_until, write_png)

# The session: a red rectangle, a blue oval and a yellow rectangle, by their clicks.
SESSION = [
    button("Red"), (-200, 200), (-50, 50),
    button("Oval"), button("Blue"), (20, -20), (220, -180),
    button("Rect"), button("Yellow"), (60, 220), (260, 80),
]
SHAPE_PROBES = [(-125, 125, RED), (120, -100, BLUE), (160, 150, YELLOW),
                (25, -25, WHITE), (0, 0, WHITE)]
EMPTY_CANVAS_PROBES = [(x, y, WHITE) for x, y, _ in SHAPE_PROBES]

MOUSE_LINE = re.compile(r"ZEPHA_MOUSE\((-?\d+), (-?\d+)\);")
PERIODIC_LINE = re.compile(r"ZEPHA_PERIODIC\((\d+)\);")


def check_script(checks, text):
    """The recorded file: one mouse line per click, in order, with runs of periodic events
    between them, and nothing else (the characters that Ctrl+R makes are no key events)."""
    lines = text.splitlines()
    clicks = []
    previous_periodic = False
    for number, line in enumerate(lines, 1):
        mouse = MOUSE_LINE.fullmatch(line)
        periodic = PERIODIC_LINE.fullmatch(line)
        if mouse:
            clicks.append((int(mouse.group(1)), int(mouse.group(2))))
        elif periodic:
            checks.expect(int(periodic.group(1)) >= 1,
                          "line %d: a periodic run counts at least 1: %r" % (number, line))
            checks.expect(not previous_periodic,
                          "line %d: two periodic run lines in a row" % number)
        else:
            checks.expect(False, "line %d: unexpected line %r" % (number, line))
        previous_periodic = periodic is not None
    checks.expect(clicks == SESSION, "mouse lines should be the clicks %s, are %s"
                  % (SESSION, clicks))
    checks.expect(any(PERIODIC_LINE.fullmatch(line) for line in lines),
                  "the animation ran while recording, yet no periodic run was written")


def record_replay_test(checks, start_editor, folder, args):
    script = os.path.join(folder, "ZEPHA.SCR")

    checks.step("record a session")
    editor = start_editor()
    editor.key("ctrl+r")
    for point in SESSION:
        editor.click(point)
    recorded = editor.wait_for_pixels(checks, SHAPE_PROBES, "recorded session")
    editor.key("ctrl+r")

    def script_text():
        if not os.path.exists(script):
            return None
        with open(script, "rb") as file:
            text = file.read().decode("ascii", "replace").replace("\r\n", "\n")
        return text if len(MOUSE_LINE.findall(text)) == len(SESSION) else None

    text = wait_until(script_text, SCREEN_DEADLINE)
    if checks.expect(text is not None, "ZEPHA.SCR should hold %d mouse lines after Ctrl+R "
                     "stopped the recording" % len(SESSION)):
        check_script(checks, text)
    with open(script, "rb") as file:
        recorded_bytes = file.read()

    editor.key("ctrl+q")
    status = editor.wait_for_exit()
    checks.expect(status == 0, "Ctrl+Q should end the editor with status 0, ended with %r"
                  % (status,))

    checks.step("replay it with the replay tool")
    out = os.path.join(folder, "replayed.png")
    status, lines = replay(args.wine, args.replay, args.editor, script, out)
    checks.expect(status == 0 and not lines, "the replay tool should end with the editor's "
                  "status 0 and no message, ended with %d: %r" % (status, lines))
    if checks.expect(os.path.exists(out), "the replay tool should have written %s" % out):
        replayed = read_png(out).client_area()
        expected = recorded.client_area()
        if not checks.expect(replayed == expected,
                             "the replayed picture should equal the recorded client area: %s"
                             % picture_difference(expected, replayed)):
            write_png(os.path.join(folder, "recorded.png"), expected)
    with open(script, "rb") as file:
        checks.expect(file.read() == recorded_bytes, "the replay should leave ZEPHA.SCR as it was")


def picture_difference(expected, got):
    """Says how two pictures (lists of rows of RGB bytes) differ."""
    if len(expected) != len(got) or (expected and len(expected[0]) != len(got[0])):
        return "sizes %dx%d and %dx%d" % (len(expected[0]) // 3 if expected else 0, len(expected),
                                          len(got[0]) // 3 if got else 0, len(got))
    pixels = [(x, y) for y, (a, b) in enumerate(zip(expected, got)) if a != b
              for x in range(len(a) // 3) if a[3 * x:3 * x + 3] != b[3 * x:3 * x + 3]]
    return "%d pixels differ, the first at %r" % (len(pixels), pixels[:5])


if __name__ == "__main__":
    run(record_replay_test, __doc__)
