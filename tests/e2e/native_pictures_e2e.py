#!/usr/bin/env python3
"""Native pictures against Wine's: the editor and the examples, built natively and for Windows,
replayed with the same scripts (clicks that draw every kind of shape, keys, periodic events) by
the native replay tool and by the Windows one under Wine, on one private X display; each pair of
PNG files must be equal pixel for pixel, and every differing pixel is counted and reported.
Three native replays side by side give the pictures they give alone. And the native tool's own
outcomes: a missing program, a program that crashes, one that shows no window and a playback
that does not end, each with its status and one line, the program ended and no working folder
left."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from zepha_e2e import (TOOL_DEADLINE, Checks, Wine, XDisplay, button, read_png, replay)

STATUS_NOT_FOUND = 120
STATUS_NO_WINDOW = 121
STATUS_PLAYBACK_TIMEOUT = 122
STATUS_PROGRAM_DIED = 123
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


def native_replay(args, program, script, out, timeout_s=NATIVE_DEADLINE):
    """Runs the native tool; returns its exit status and the lines it wrote to standard error."""
    command = [args.native_replay, program, script, out, "--timeout", str(timeout_s)]
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
            wine_png = os.path.join(folder, "%s-%s-wine.png" % (name, script_name))
            status, lines = native_replay(args, native_program, script, native_png)
            native_ok = checks.expect(status == 0 and not lines and os.path.exists(native_png),
                                      "%s: the native replay should end with 0, silently, with "
                                      "a PNG; ended with %d %r" % (what, status, lines))
            status, lines = replay(wine, args.wine_replay, wine_program, script, wine_png)
            wine_ok = checks.expect(status == 0 and os.path.exists(wine_png),
                                    "%s: the replay under Wine should end with 0 and a PNG; "
                                    "ended with %d %r" % (what, status, lines))
            if not (native_ok and wine_ok):
                continue
            native, theirs = read_png(native_png), read_png(wine_png)
            if not checks.expect((native.width, native.height) == (theirs.width, theirs.height),
                                 "%s: the native picture is %dx%d, Wine's %dx%d"
                                 % (what, native.width, native.height, theirs.width,
                                    theirs.height)):
                continue
            found = differences(native, theirs)
            checks.expect(not found, "%s: the native picture should equal Wine's: %s"
                          % (what, describe(found, native.width * native.height) if found
                             else ""))


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
