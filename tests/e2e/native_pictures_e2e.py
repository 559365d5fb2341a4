#!/usr/bin/env python3
"""Native pictures against Wine's: the editor and the examples, built natively and for Windows,
replayed with the same scripts (clicks that draw every kind of shape, keys, periodic events) by
the native replay tool on X and headless and by the Windows one under Wine, on one private X
display; each native PNG file must equal Wine's pixel for pixel, and every differing pixel is
counted and reported.
Three native replays side by side give the pictures they give alone. And the native tool's own
outcomes: a missing program, a program that crashes, one that shows no window and a playback
that does not end, each with its status and one line, the program ended and no working folder
left. And the options it shares with the Windows tool: --expect, --strict, --answer and --batch."""

import argparse
import csv
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from zepha_e2e import (TOOL_DEADLINE, Checks, Wine, XDisplay, button, read_png, replay)

STATUS_NO_ANSWER = 119
STATUS_NOT_FOUND = 120
STATUS_NO_WINDOW = 121
STATUS_PLAYBACK_TIMEOUT = 122
STATUS_PROGRAM_DIED = 123
STATUS_DIFFERENT = 125
STATUS_SCRIPT_REFUSED = 126
MAGENTA = (255, 0, 255)
NATIVE_DEADLINE = 60  # the native tool's own timeout for a replay that should end (seconds)
DIFFERENCES_SHOWN = 5


def mouse(*points):
    return "".join("ZEPHA_MOUSE(%d, %d);\n" % point for point in points)


def keys(text):
    return "".join("ZEPHA_KBD(%d);\n" % ord(c) for c in text)


def ticks(count):
    return "ZEPHA_PERIODIC(%d);\n" % count


SHAPES = (ticks(3) + mouse(button("Red"), (-200, 200), (-50, 50)) + keys("a") +
          mouse(button("Oval"), button("Blue"), (20, -20), (220, -180)) + ticks(5) +
          mouse(button("Rect"), button("Yellow"), (60, 220), (260, 80),
                button("Oval"), button("Black"), (-240, -230), (-100, -120)))

# Every program with its scripts. ask_name is not among them: it waits in its dialog before it
# asks for its first event, so no script reaches it.
PROGRAMS = {
    "editor": {
        "shapes": SHAPES,
        # A pick shows the chosen shape; then it is moved, resized and deleted.
        "edits": SHAPES + mouse(button("Pick"), (-125, 125), button("Move"), (0, 150),
                                button("Pick"), (120, -100), button("Resize"), (290, -240),
                                button("Pick"), (160, 150), button("Delete"),
                                button("Pick"), (-170, -175)),
        # Shapes that run past the client area's edges, one of a single pixel, and many ticks.
        "edges": (mouse(button("Oval"), (-320, 300), (330, -280), button("Rect"), button("Red"),
                        (-200, 260), (310, 230), (10, 10), (10, 10), button("Blue"),
                        (-250, -240), (300, -260)) + ticks(40) + keys("xyz")),
    },
    "colours": {"still": mouse((0, 0)) + keys("q") + ticks(10), "empty": ""},
    "coordinates": {"clicks": mouse((-150, -100)) + ticks(2) + mouse((200, 150)),
                    "keys": keys("kz") + ticks(4)},
    "bouncing_ball": {"bounces": ticks(60),
                      "clicked": mouse((120, 60)) + ticks(7) + mouse((-250, -200)) + ticks(33)},
    "event_stream": {"events": ticks(25) + mouse((100, -50)) + keys("k"),
                     "more": ticks(3) + keys("A") + ticks(12) + mouse((-280, 230))},
    "primitives": {"still": ticks(5) + mouse((0, 0)), "empty": ""},
}


def program_path(build, name, suffix):
    if name == "editor":
        return os.path.join(build, "editor", "zepha_editor" + suffix)
    return os.path.join(build, "examples", "zepha_%s%s" % (name, suffix))


def native_replay(args, program, script, out, timeout_s=NATIVE_DEADLINE, extra=()):
    """Runs the native tool; returns its exit status and the lines it wrote to standard error.
    For a batch, program, script and out are LIST, OUT_DIR and None, and extra starts with
    --batch."""
    command = [args.native_replay] + [a for a in (program, script, out) if a is not None]
    command += list(extra) + ["--timeout", str(timeout_s)]
    result = subprocess.run(command, env=args.native_env, capture_output=True, text=True,
                            timeout=3 * timeout_s + TOOL_DEADLINE)
    return result.returncode, result.stderr.splitlines()


def differences(native, wine):
    """The pixels that differ, as (x, y, native colour, Wine colour) with x and y the logical
    coordinates (origin at the centre of the client area, y up)."""
    found = []
    stride = 3 * native.width
    for row in range(native.height):
        a = native.data[row * stride:(row + 1) * stride]
        b = wine.data[row * stride:(row + 1) * stride]
        if a == b:
            continue
        for column in range(native.width):
            i = 3 * column
            if a[i:i + 3] != b[i:i + 3]:
                found.append((column - native.width // 2, native.height // 2 - row,
                              tuple(a[i:i + 3]), tuple(b[i:i + 3])))
    return found


def describe(found, total):
    xs = [x for x, _, _, _ in found]
    ys = [y for _, y, _, _ in found]
    shown = ", ".join("(%d, %d) native %s Wine %s" % d for d in found[:DIFFERENCES_SHOWN])
    return ("%d of %d pixels differ, within x %d..%d, y %d..%d; first: %s"
            % (len(found), total, min(xs), max(xs), min(ys), max(ys), shown))


def compare_pictures(checks, args, wine, folder):
    for name, scripts in PROGRAMS.items():
        native_program = program_path(args.native_build, name, "")
        wine_program = program_path(args.wine_build, name, ".exe")
        for script_name, text in scripts.items():
            what = "%s, script %s" % (name, script_name)
            checks.step(what)
            script = os.path.join(folder, "%s-%s.scr" % (name, script_name))
            with open(script, "w", newline="\n") as file:
                file.write(text)
            native_png = os.path.join(folder, "%s-%s-native.png" % (name, script_name))
            headless_png = os.path.join(folder, "%s-%s-headless.png" % (name, script_name))
            wine_png = os.path.join(folder, "%s-%s-wine.png" % (name, script_name))
            natives = {}
            for column, png_path, extra in (("native", native_png, ()),
                                            ("headless", headless_png, ("--headless",))):
                status, lines = native_replay(args, native_program, script, png_path,
                                              extra=extra)
                if checks.expect(status == 0 and not lines and os.path.exists(png_path),
                                 "%s: the %s replay should end with 0, silently, with a PNG; "
                                 "ended with %d %r" % (what, column, status, lines)):
                    natives[column] = png_path
            status, lines = replay(wine, args.wine_replay, wine_program, script, wine_png)
            if not checks.expect(status == 0 and os.path.exists(wine_png),
                                 "%s: the replay under Wine should end with 0 and a PNG; "
                                 "ended with %d %r" % (what, status, lines)):
                continue
            theirs = read_png(wine_png)
            for column, png_path in natives.items():
                native = read_png(png_path)
                if not checks.expect((native.width, native.height) ==
                                     (theirs.width, theirs.height),
                                     "%s: the %s picture is %dx%d, Wine's %dx%d"
                                     % (what, column, native.width, native.height, theirs.width,
                                        theirs.height)):
                    continue
                found = differences(native, theirs)
                checks.expect(not found, "%s: the %s picture should equal Wine's: %s"
                              % (what, column, describe(found, native.width * native.height)
                                 if found else ""))


def side_by_side(checks, args, folder):
    """Native replays of three programs at once on the one display: each tool drives its own
    program alone, so each picture equals the one its replay gave by itself."""
    checks.step("three native replays side by side")
    runs = []
    for name in ("editor", "event_stream", "bouncing_ball"):
        script_name = next(iter(PROGRAMS[name]))
        script = os.path.join(folder, "%s-%s.scr" % (name, script_name))
        alone = os.path.join(folder, "%s-%s-native.png" % (name, script_name))
        out = os.path.join(folder, "%s-%s-side-by-side.png" % (name, script_name))
        command = [args.native_replay, program_path(args.native_build, name, ""), script, out]
        runs.append((name, alone, out, subprocess.Popen(command, env=args.native_env,
                                                        stderr=subprocess.PIPE, text=True)))
    for name, alone, out, process in runs:
        _, errors = process.communicate(timeout=3 * NATIVE_DEADLINE)
        if not checks.expect(process.returncode == 0 and os.path.exists(out),
                             "%s side by side: status 0 and a PNG expected, got %d %r"
                             % (name, process.returncode, errors)):
            continue
        if os.path.exists(alone):
            checks.expect(read_png(out).data == read_png(alone).data,
                          "%s side by side: the picture should equal the replay's alone" % name)


def native_outcomes(checks, args, folder):
    """The native tool's failures: status, one line, the program ended, no folder left."""
    checks.step("the native tool's failures")

    def program(name, body):
        path = os.path.join(folder, name)
        with open(path, "w") as file:
            file.write("#!/bin/sh\n" + body)
        os.chmod(path, 0o755)
        return path

    script = os.path.join(folder, "red.scr")
    with open(script, "w", newline="\n") as file:
        file.write(mouse(button("Red"), (-200, 200), (-50, 50)))
    endless = os.path.join(folder, "endless.scr")
    with open(endless, "w", newline="\n") as file:
        file.write(mouse(button("Red"), (-200, 200), (-50, 50)) + ticks(2000000000))
    pid_file = os.path.join(folder, "sleeper.pid")
    editor = program_path(args.native_build, "editor", "")
    cases = [
        ("missing program", os.path.join(folder, "missing"), script, None, STATUS_NOT_FOUND,
         "cannot find the program"),
        ("crash", program("crash.sh", "kill -SEGV $$\n"), script, None, STATUS_PROGRAM_DIED,
         "by signal %d " % signal.SIGSEGV),
        ("no window", program("sleeper.sh", "echo $$ > %s\nexec sleep 60\n" % pid_file), script,
         1, STATUS_NO_WINDOW, "no graphics window within the timeout"),
        ("playback not ended", editor, endless, 2, STATUS_PLAYBACK_TIMEOUT,
         "playback did not end within the timeout of 2 s"),
    ]
    for what, program_file, script_file, timeout_s, expected, text in cases:
        out = os.path.join(folder, what.replace(" ", "-") + ".png")
        status, lines = native_replay(args, program_file, script_file, out,
                                      timeout_s or NATIVE_DEADLINE)
        checks.expect(status == expected and len(lines) == 1 and text in lines[0],
                      "%s: status %d and one line with %r expected, got %d %r"
                      % (what, expected, text, status, lines))
        wants_png = expected == STATUS_PLAYBACK_TIMEOUT
        checks.expect(os.path.exists(out) == wants_png, "%s: the PNG should %sexist"
                      % (what, "" if wants_png else "not "))
        tmp = args.native_env["TMPDIR"]
        left = [name for name in os.listdir(tmp) if os.path.isdir(os.path.join(tmp, name))]
        checks.expect(not left, "%s: working folders left behind: %r" % (what, left))
    with open(pid_file) as file:
        sleeper = int(file.read())
    checks.expect(not os.path.exists("/proc/%d" % sleeper),
                  "the program that showed no window should have been ended")


def native_options(checks, args, wine, folder):
    """The options the native tool shares with the Windows one: --expect with a match and a
    mismatch, --strict, --answer into ask_name's dialog (the picture Wine's tool gives with the
    same answer) and none left for it, and a batch whose results do not depend on --jobs."""
    checks.step("the native tool's options")
    editor = program_path(args.native_build, "editor", "")
    ask_name = program_path(args.native_build, "ask_name", "")
    shapes = os.path.join(folder, "editor-shapes.scr")
    wine_shapes = os.path.join(folder, "editor-shapes-wine.png")
    edits = os.path.join(folder, "editor-edits.scr")

    out = os.path.join(folder, "expect-match.png")
    status, lines = native_replay(args, editor, shapes, out, extra=["--expect", wine_shapes])
    checks.expect(status == 0 and not lines and not os.path.exists(out[:-4] + ".diff.png"),
                  "--expect with Wine's own picture: 0, silently, no diff expected, got %d %r"
                  % (status, lines))

    out = os.path.join(folder, "expect-mismatch.png")
    status, lines = native_replay(args, editor, edits, out, extra=["--expect", wine_shapes])
    diff = out[:-4] + ".diff.png"
    if checks.expect(status == STATUS_DIFFERENT and len(lines) == 1 and os.path.exists(out) and
                     os.path.exists(diff), "--expect with another picture: 125, one line, the "
                     "PNG and its .diff.png expected, got %d %r" % (status, lines)):
        found = len(differences(read_png(out), read_png(wine_shapes)))
        diff_png = read_png(diff)
        magenta = sum(1 for i in range(0, len(diff_png.data), 3)
                      if tuple(diff_png.data[i:i + 3]) == MAGENTA)
        checks.expect(("%d pixels differ" % found) in lines[0] and magenta == found,
                      "--expect: %d pixels differ, and as many magenta in the diff; the line "
                      "says %r, the diff has %d" % (found, lines[0], magenta))

    junk = os.path.join(folder, "junk.scr")
    with open(junk, "w", newline="\n") as file:
        file.write(mouse(button("Red")) + "ZEPHA_JUNK\n" + mouse((0, 0)))
    out = os.path.join(folder, "strict.png")
    status, lines = native_replay(args, editor, junk, out, extra=["--strict"])
    checks.expect(status == STATUS_SCRIPT_REFUSED and len(lines) == 1 and "line 2" in lines[0]
                  and not os.path.exists(out), "--strict with a junk line 2: 126, one line "
                  "naming line 2, no PNG expected, got %d %r" % (status, lines))

    one = os.path.join(folder, "one-click.scr")
    with open(one, "w", newline="\n") as file:
        file.write(mouse((10, 10)))
    out = os.path.join(folder, "ask-native.png")
    status, lines = native_replay(args, ask_name, one, out, extra=["--answer", "Bob Lee"])
    wine_out = os.path.join(folder, "ask-wine.png")
    wine_status, wine_lines = replay(wine, args.wine_replay,
                                     program_path(args.wine_build, "ask_name", ".exe"), one,
                                     wine_out, extra=["--answer", "Bob Lee"])
    if checks.expect(status == 0 and not lines and wine_status == 0,
                     "--answer into ask_name: 0 natively and under Wine expected, got %d %r and "
                     "%d %r" % (status, lines, wine_status, wine_lines)):
        checks.expect(read_png(out).data == read_png(wine_out).data,
                      "--answer: the native picture should equal Wine's")
    out = os.path.join(folder, "no-answer.png")
    status, lines = native_replay(args, ask_name, one, out, timeout_s=20)
    checks.expect(status == STATUS_NO_ANSWER and len(lines) == 1 and not os.path.exists(out),
                  "ask_name with no --answer: 119, one line, no PNG expected, got %d %r"
                  % (status, lines))

    # Paths in the list are taken from its folder; ask_name's line takes the batch's answer.
    listing = os.path.join(folder, "list.txt")
    with open(listing, "w") as file:
        file.write("# program script expected\n%s editor-shapes.scr editor-shapes-wine.png\n"
                   "%s editor-edits.scr editor-shapes-wine.png\n%s one-click.scr\n"
                   % (editor, editor, ask_name))
    tables = {}
    for jobs in (1, 3):
        out_dir = os.path.join(folder, "batch-%d" % jobs)
        status, lines = native_replay(args, listing, out_dir, None,
                                      extra=["--batch", "--jobs", str(jobs), "--answer", "Bob Lee"])
        csv_path = os.path.join(out_dir, "results.csv")
        if not checks.expect(status == 1 and os.path.exists(csv_path),
                             "--batch --jobs %d: 1 and results.csv expected, got %d %r"
                             % (jobs, status, lines)):
            continue
        with open(csv_path, newline="") as file:
            rows = list(csv.DictReader(file))
        checks.expect([row["status"] for row in rows] == ["0", "125", "0"],
                      "--batch --jobs %d: statuses 0, 125, 0 expected, got %r"
                      % (jobs, [row["status"] for row in rows]))
        checks.expect(read_png(os.path.join(out_dir, rows[2]["picture"])).data ==
                      read_png(os.path.join(folder, "ask-native.png")).data,
                      "--batch: ask_name's picture should equal its replay's alone")
        tables[jobs] = [{k: v.replace(out_dir, "OUT_DIR") for k, v in row.items()
                         if k != "seconds"} for row in rows]
    if len(tables) == 2:
        checks.expect(tables[1] == tables[3], "results.csv should not depend on --jobs: %r and "
                      "%r" % (tables[1], tables[3]))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--native-build", required=True, help="the native build folder")
    parser.add_argument("--native-replay", required=True, help="the native replay tool")
    parser.add_argument("--wine-build", required=True,
                        help="the Windows build folder, whose programs run under Wine")
    args = parser.parse_args()
    args.wine_replay = os.path.join(args.wine_build, "tools", "replay", "zepha_replay.exe")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    checks = Checks()
    display = XDisplay()
    folder = tempfile.mkdtemp(prefix="zepha-e2e-native-")
    wine = None
    try:
        args.native_env = display.env()
        args.native_env["TMPDIR"] = os.path.join(folder, "tmp")
        os.mkdir(args.native_env["TMPDIR"])
        native_outcomes(checks, args, folder)
        wine = Wine(display)
        compare_pictures(checks, args, wine, folder)
        side_by_side(checks, args, folder)
        native_options(checks, args, wine, folder)
    except Exception as error:  # a broken harness is a failed test, reported as such
        checks.expect(False, "test stopped: %s: %s" % (type(error).__name__, error))
    finally:
        if wine is not None:
            wine.stop_server()
        display.stop()
        if checks.failures:
            print("the scripts and both tools' PNG files: " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
