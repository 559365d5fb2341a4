#!/usr/bin/env python3
"""Recording and playback end to end, with real keys: Ctrl+R starts recording a session of
clicks into ZEPHA.SCR and Ctrl+R again stops it; the editor started again in the same folder
plays the file back on Ctrl+P and shows the same picture; Ctrl+Q ends each run with status 0."""

import os
import re

from zepha_e2e import (BLUE, RED, SCREEN_DEADLINE, WHITE, YELLOW, button, run, wait_until)

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

    checks.step("play it back in a new run in the same folder")
    editor = start_editor()
    editor.wait_for_pixels(checks, EMPTY_CANVAS_PROBES, "new run before playback")
    editor.key("ctrl+p")
    editor.wait_for_pixels(checks, SHAPE_PROBES, "played-back session")

    # The same events make the same picture, pixel for pixel.
    def same_picture():
        shot = editor.screenshot()
        return shot if shot.client_area() == recorded.client_area() else None

    checks.expect(wait_until(same_picture, SCREEN_DEADLINE) is not None,
                  "the played-back picture should equal the recorded one")

    editor.key("ctrl+q")
    status = editor.wait_for_exit()
    checks.expect(status == 0, "Ctrl+Q should end the editor with status 0, ended with %r"
                  % (status,))
    with open(script, "rb") as file:
        checks.expect(file.read() == recorded_bytes, "playback should leave ZEPHA.SCR as it was")


if __name__ == "__main__":
    run(record_replay_test, __doc__)
