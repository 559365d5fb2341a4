#!/usr/bin/env python3
"""The replay tool end to end, under Wine with no X tool at all: fixed scripts played into the
editor and into the event stream example give PNG files with the expected pixels, the example
receives exactly the scripted events, and each failure gets its own exit status, one line on
standard error, no PNG (but after a playback that does not end) and no working folder left.
Replays side by side on one desktop give the pictures of lone replays; a path outside the ANSI
code page is used as it is; a crash is told as one, with its exception code; a picture is
compared with an expected one; and a batch writes its pictures and results.csv."""

import csv
import os
import shutil
from concurrent.futures import ThreadPoolExecutor

from zepha_e2e import (BLUE, GREEN, RED, WHITE, YELLOW, button, read_png, replay,
                       replay_folders_left, run)

STATUS_USAGE = 2
STATUS_NOT_FOUND = 120
STATUS_NO_WINDOW = 121
STATUS_PLAYBACK_TIMEOUT = 122
STATUS_PROGRAM_DIED = 123
STATUS_DIFFERENT = 125
ACCESS_VIOLATION = "0xC0000005"
MAGENTA = (255, 0, 255)
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


    side_by_side(checks, folder, args, script)
    any_path(checks, folder, args)
    crash(checks, folder, args, key)
    comparison(checks, folder, args, script)
    batch(checks, folder, args, script, key)


def side_by_side(checks, folder, args, script):
    """Three replays at a time on one desktop, in one Wine prefix, round after round: each
    picture is the one a lone replay makes."""
    checks.step("replays side by side give the pictures of lone replays")
    jobs = [(args.editor, script("side-editor.scr", EDITOR_SCRIPT)),
            (args.event_stream, script("side-five.scr", EVENTS_FIVE)),
            (args.editor, script("side-red.scr", mouse_lines(RED_RECTANGLE)))]

    def run_one(job, name):
        out = os.path.join(folder, name + ".png")
        status, lines = replay(args.wine, args.replay, job[0], job[1], out)
        return status, lines, (read_png(out).client_area() if os.path.exists(out) else None)

    def stuck(result):
        """Stopped inside the window system: the program's window never came, or the replay
        never finished."""
        status, lines, _ = result
        return status == 121 or (status == 124 and any("did not finish within its timeout" in
                                                       line for line in lines))

    lone = [run_one(job, "lone-%d" % i) for i, job in enumerate(jobs)]
    for round_number in range(3):
        for attempt in range(2):
            with ThreadPoolExecutor(len(jobs)) as pool:
                together = list(pool.map(run_one, jobs, ["side-%d-%d-%d" % (round_number, attempt, i)
                                                         for i in range(len(jobs))]))
            # Now and then Wine stops every replay started together inside the window system
            # (docs/grading.md, "Side by side"); the tool ends them with status 124, or 121
            # when the window never came, and the round is run again once, as the guide tells
            # a teacher to do.
            if not all(stuck(result) for result in together):
                break
            print("round %d: every replay stuck in Wine, run again" % round_number)
        for i, ((status, lines, picture), (_, _, alone)) in enumerate(zip(together, lone)):
            checks.expect(status == 0 and not lines, "round %d, replay %d: status 0 and no "
                          "line expected, got %d %r" % (round_number, i, status, lines))
            checks.expect(picture is not None and picture == alone,
                          "round %d, replay %d: the picture should be the lone replay's"
                          % (round_number, i))
    checks.expect(not replay_folders_left(args.wine), "working folders left behind: %r"
                  % replay_folders_left(args.wine))


def any_path(checks, folder, args):
    """Folders named Ωmega and Omega side by side: the replay uses the one it is given."""
    checks.step("paths outside the ANSI code page")
    omega, plain = os.path.join(folder, "\u03a9mega"), os.path.join(folder, "Omega")
    for where, program, text in ((omega, args.event_stream, EVENTS_FIVE),
                                 (plain, args.ends_on_key, "ZEPHA_KBD(97);\n")):
        os.makedirs(where)
        shutil.copy(program, os.path.join(where, "p.exe"))
        with open(os.path.join(where, "s.scr"), "w", newline="\n") as file:
            file.write(text)
    status, lines = replay(args.wine, args.replay, os.path.join(omega, "p.exe"),
                           os.path.join(omega, "s.scr"), os.path.join(omega, "o.png"))
    checks.expect(status == 0 and not lines, "status 0 and no line expected, got %d %r"
                  % (status, lines))
    checks.expect(os.path.exists(os.path.join(omega, "o.png")) and
                  read_png(os.path.join(omega, "o.png")).pixel(100, -50) == RED,
                  "the picture of the event stream example should be in %s" % omega)
    checks.expect(not os.path.exists(os.path.join(plain, "o.png")),
                  "nothing should be written to the folder of the other name")
    status, lines = replay(args.wine, args.replay, os.path.join(omega, "\u0444.exe"),
                           os.path.join(omega, "s.scr"), os.path.join(omega, "o.png"))
    checks.expect(status == STATUS_NOT_FOUND and len(lines) == 1 and "\u0444.exe" in lines[0],
                  "a missing program by a name outside the code page: status %d and its name "
                  "expected, got %d %r" % (STATUS_NOT_FOUND, status, lines))


def crash(checks, folder, args, key):
    """A program that crashes during playback: status 123 with the exception's code, long
    before the timeout, and no PNG."""
    checks.step("a crash is told as one")
    out = os.path.join(folder, "crash.png")
    status, lines = replay(args.wine, args.replay, args.crashes_on_key, key, out, 50)
    checks.expect(status == STATUS_PROGRAM_DIED and len(lines) == 1 and
                  "crashed with exception %s" % ACCESS_VIOLATION in lines[0],
                  "status %d and a line with the exception code %s expected, got %d %r"
                  % (STATUS_PROGRAM_DIED, ACCESS_VIOLATION, status, lines))
    checks.expect(not os.path.exists(out), "no PNG expected after a crash")
    checks.expect(not replay_folders_left(args.wine), "working folders left behind: %r"
                  % replay_folders_left(args.wine))


def comparison(checks, folder, args, script):
    """--expect: the same picture gives the usual status; one more periodic event gives 125,
    the count on standard error and the picture of the differences; --tolerance at that count
    accepts it."""
    checks.step("the picture compared with an expected one")
    five, six = script("cmp-five.scr", EVENTS_FIVE), script("cmp-six.scr", EVENTS_SIX)
    expected = os.path.join(folder, "expected-five.png")
    status, _ = replay(args.wine, args.replay, args.event_stream, five, expected)
    checks.expect(status == 0, "the expected picture should be made, status %d" % status)
    status, lines = replay(args.wine, args.replay, args.event_stream, five,
                           os.path.join(folder, "same.png"), extra=["--expect", expected])
    checks.expect(status == 0 and not lines, "the same events: status 0 and no line expected, "
                  "got %d %r" % (status, lines))
    out = os.path.join(folder, "other.png")
    status, lines = replay(args.wine, args.replay, args.event_stream, six, out,
                           extra=["--expect", expected])
    counted = [int(line.split()[1]) for line in lines if " pixels differ from " in line]
    checks.expect(status == STATUS_DIFFERENT and len(lines) == 1 and counted and counted[0] > 0,
                  "one more event: status %d and the count of differing pixels expected, got "
                  "%d %r" % (STATUS_DIFFERENT, status, lines))
    diff_path = os.path.join(folder, "other.diff.png")
    if checks.expect(os.path.exists(out) and os.path.exists(diff_path),
                     "the PNG and the picture of the differences should be written"):
        got, want, diff = read_png(out), read_png(expected), read_png(diff_path)
        differing = [(x, y) for y in range(want.height) for x in range(want.width)
                     if got.screen_pixel(x, y) != want.screen_pixel(x, y)]
        marked = [(x, y) for y in range(diff.height) for x in range(diff.width)
                  if diff.screen_pixel(x, y) == MAGENTA]
        checks.expect(differing == marked and len(marked) == (counted or [0])[0],
                      "the differing pixels, and only they, should be magenta: %d differ, %d "
                      "marked" % (len(differing), len(marked)))
        checks.expect(diff.pixel(100, -50) == (255, 192, 192) and diff.pixel(0, 0) == WHITE,
                      "the rest should be the expected picture faded: %r at the click, %r "
                      "in the middle" % (diff.pixel(100, -50), diff.pixel(0, 0)))
    if counted:
        status, lines = replay(args.wine, args.replay, args.event_stream, six, out,
                               extra=["--expect", expected, "--tolerance", str(counted[0])])
        checks.expect(status == 0 and not lines, "within the tolerance: status 0 and no line "
                      "expected, got %d %r" % (status, lines))


def batch(checks, folder, args, script, key):
    """A list of three replays, two at a time: one that matches, one that crashes, and one
    whose script stops at a junk line and so differs; results.csv tells each in the list's
    order."""
    checks.step("a batch of three")
    work = os.path.join(folder, "class")
    os.makedirs(work)
    shutil.copy(args.event_stream, os.path.join(work, "alice.exe"))
    shutil.copy(args.crashes_on_key, os.path.join(work, "bob smith.exe"))
    shutil.copy(key, os.path.join(work, "key.scr"))
    for name, text in (("five.scr", EVENTS_FIVE),
                       ("junk.scr", "ZEPHA_PERIODIC(5);\nhello\nZEPHA_MOUSE(100, -50);\n")):
        with open(os.path.join(work, name), "w", newline="\n") as file:
            file.write(text)
    status, _ = replay(args.wine, args.replay, args.event_stream, os.path.join(work, "five.scr"),
                       os.path.join(work, "expected.png"))
    with open(os.path.join(work, "list.txt"), "w") as file:
        file.write("# program script expected\nalice.exe five.scr expected.png\n"
                   "\"bob smith.exe\" key.scr\nalice.exe junk.scr expected.png\n")
    out_dir = os.path.join(folder, "results")
    status, lines = replay(args.wine, args.replay, os.path.join(work, "list.txt"), out_dir, None,
                           extra=["--batch", "--jobs", "2"], cwd=folder)
    checks.expect(status == 1, "a batch with failures should exit with 1, not %d" % status)
    rows = []
    if checks.expect(os.path.exists(os.path.join(out_dir, "results.csv")), "results.csv"):
        with open(os.path.join(out_dir, "results.csv"), newline="") as file:
            rows = list(csv.DictReader(file))
    got = [(r["line"], r["status"], r["events played"], r["script stopped"],
            r["differing pixels"] not in ("", "0"), r["picture"]) for r in rows]
    want = [("2", "0", "6", "end", False, "002-alice-five.png"),
            ("3", str(STATUS_PROGRAM_DIED), "3", "end", False, ""),
            ("4", str(STATUS_DIFFERENT), "5", "line 2: not a record", True, "004-alice-junk.png")]
    checks.expect(got == want, "results.csv rows (line, status, events, stop, differing, "
                  "picture) should be %r, are %r" % (want, got))
    checks.expect(len(rows) == 3 and ACCESS_VIOLATION in rows[1]["message"],
                  "the crash's row should give its exception code: %r" % rows[1:2])
    pictures = sorted(name for name in os.listdir(out_dir) if name.endswith(".png"))
    checks.expect(pictures == ["002-alice-five.png", "004-alice-junk.diff.png",
                               "004-alice-junk.png"], "pictures in OUT_DIR: %r" % pictures)


if __name__ == "__main__":
    run(replay_tool_test, __doc__)
