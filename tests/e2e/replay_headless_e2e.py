#!/usr/bin/env python3
"""The native replay tool on the headless platform, with no display at all (DISPLAY unset):
a program that turns its animation on again at each click gives one picture in 20 replays,
whose bar shows exactly the script's ticks; a crash, a program that stops taking events, one
that does not end after the Quit command, a dialog with and without an answer, and a program
that cannot run headless each end with their status and one line, the program ended and no
working folder left; a batch of two jobs gives
the pictures and statuses of the replays alone; --frames is refused where the replay would
not be headless, and otherwise hands the program the animation's full path."""

import argparse
import csv
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from zepha_e2e import Checks, read_png

STATUS_USAGE = 2
STATUS_NO_ANSWER = 119
STATUS_PLAYBACK_TIMEOUT = 122
STATUS_PROGRAM_DIED = 123
STATUS_FAILED = 124
RED = (255, 0, 0)
BAR_Y = 10  # a row of the subject's bar (logical y)
TICK_PIXELS = 4  # the bar's length per tick
ROUNDS = 20
TOOL_DEADLINE = 60  # seconds for one call of the tool, whose own timeout is shorter

CLICKS_AND_TICKS = ("ZEPHA_MOUSE(0, 0);\nZEPHA_PERIODIC(7);\nZEPHA_MOUSE(10, 10);\n"
                    "ZEPHA_PERIODIC(5);\nZEPHA_MOUSE(20, 20);\n")
SCRIPT_TICKS = 12


def ended(pid):
    """Whether the process has ended (a zombie has), waiting for it a few seconds."""
    for _ in range(100):
        try:
            with open("/proc/%d/stat" % pid) as file:
                if file.read().rpartition(")")[2].split()[0] == "Z":
                    return True
        except FileNotFoundError:
            return True
        time.sleep(0.05)
    return False


def bar_ticks(picture):
    """The ticks the subject's bar shows: its corners are both drawn, so 0 ticks is 1 pixel."""
    return (sum(1 for x in range(-297, 298) if picture.pixel(x, BAR_Y) == RED) - 1) / TICK_PIXELS


class Tool:
    def __init__(self, path, env, folder):
        self.path, self.env, self.folder = path, env, folder

    def script(self, name, text):
        path = os.path.join(self.folder, name)
        with open(path, "w", newline="\n") as file:
            file.write(text)
        return path

    def run(self, *arguments, env=None):
        """The tool's exit status and the lines it wrote on standard error."""
        result = subprocess.run([self.path] + list(arguments), env=env or self.env,
                                cwd=self.folder, capture_output=True, text=True,
                                timeout=TOOL_DEADLINE)
        return result.returncode, result.stderr.splitlines()

    def folders_left(self):
        tmp = self.env["TMPDIR"]
        return [name for name in os.listdir(tmp) if os.path.isdir(os.path.join(tmp, name))]


def deterministic(checks, tool, args):
    checks.step("%d replays of a program that re-arms its animation" % ROUNDS)
    script = tool.script("rearm.scr", CLICKS_AND_TICKS)
    pictures = set()
    for n in range(ROUNDS):
        out = os.path.join(tool.folder, "rearm-%d.png" % n)
        status, lines = tool.run(args.subject, script, out)
        if not checks.expect(status == 0 and not lines and os.path.exists(out),
                             "replay %d: 0, silently, with a PNG expected, got %d %r"
                             % (n, status, lines)):
            continue
        with open(out, "rb") as file:
            pictures.add(file.read())
    checks.expect(len(pictures) == 1, "%d replays should give one picture, gave %d"
                  % (ROUNDS, len(pictures)))
    picture = read_png(os.path.join(tool.folder, "rearm-0.png"))
    checks.expect((picture.width, picture.height) == (595, 496),
                  "the picture should be 595x496, is %dx%d" % (picture.width, picture.height))
    checks.expect(bar_ticks(picture) == SCRIPT_TICKS,
                  "the bar should show the script's %d ticks, shows %g"
                  % (SCRIPT_TICKS, bar_ticks(picture)))


def outcomes(checks, tool, args):
    checks.step("a crash, a program that stops taking events, dialogs, an older program")
    pid_file = os.path.join(tool.folder, "stopped.pid")
    older = os.path.join(tool.folder, "older.sh")
    with open(older, "w") as file:  # what a program built without the headless platform does
        file.write("#!/bin/sh\necho \"$ZEPHA_FRAMES\" > \"${FRAMES_SEEN:-/dev/null}\"\n"
                   "echo 'ZEPHA: this program needs an X display' >&2\nexit 1\n")
    os.chmod(older, 0o755)
    ask = tool.script("ask.scr", "ZEPHA_PERIODIC(3);\nZEPHA_KBD(97);\nZEPHA_PERIODIC(2);\n")
    # The last field: the program stays running, its process id in the pid file, until ended.
    cases = [
        ("crash", args.subject, tool.script("crash.scr", "ZEPHA_MOUSE(0, 0);\nZEPHA_KBD(99);\n"),
         [], STATUS_PROGRAM_DIED, "by signal %d " % signal.SIGSEGV, False, False),
        ("stops taking events", args.subject,
         tool.script("stop.scr", "ZEPHA_KBD(115);\nZEPHA_PERIODIC(1);\n"), ["--timeout", "2"],
         STATUS_PLAYBACK_TIMEOUT, "no picture could be taken", False, True),
        # Its picture is written, and it goes on: nothing tells the tool it is about to end.
        ("does not end after Quit", args.subject, tool.script("stay.scr", "ZEPHA_KBD(113);\n"),
         ["--timeout", "2"], STATUS_FAILED, "did not end after the Quit command", False, True),
        ("dialog without an answer", args.subject, ask, [], STATUS_NO_ANSWER,
         '("Your name?")', False, False),
        ("dialog with an answer", args.subject, ask, ["--answer", "Bob Lee"], 0, None, True,
         False),
        ("older program", older, ask, [], STATUS_FAILED, "cannot run headless", False, False),
    ]
    env = dict(tool.env, REPLAY_SUBJECT_PID_FILE=pid_file)
    for what, program, script, extra, expected, text, wants_png, stays in cases:
        out = os.path.join(tool.folder, what.replace(" ", "-") + ".png")
        status, lines = tool.run(program, script, out, *extra, env=env)
        wanted_lines = 0 if text is None else 1
        checks.expect(status == expected and len(lines) == wanted_lines and
                      (text is None or text in lines[0]),
                      "%s: status %d and %d line(s) with %r expected, got %d %r"
                      % (what, expected, wanted_lines, text, status, lines))
        checks.expect(os.path.exists(out) == wants_png, "%s: the PNG should %sexist"
                      % (what, "" if wants_png else "not "))
        checks.expect(not tool.folders_left(), "%s: working folders left behind: %r"
                      % (what, tool.folders_left()))
        if stays and checks.expect(os.path.exists(pid_file), "%s: the program should have "
                                   "written its process id" % what):
            with open(pid_file) as file:
                checks.expect(ended(int(file.read())), "%s: the program should have been ended"
                              % what)
            os.remove(pid_file)
    answered = os.path.join(tool.folder, "dialog-with-an-answer.png")
    if os.path.exists(answered):
        picture = read_png(answered)
        checks.expect(bar_ticks(picture) == 5, "with an answer the program should go on to "
                      "the script's end: 5 ticks expected, the bar shows %g" % bar_ticks(picture))
    seen = os.path.join(tool.folder, "frames-seen")
    out = os.path.join(tool.folder, "frames.png")
    tool.run(older, ask, out, "--frames", "frames.apng", env=dict(tool.env, FRAMES_SEEN=seen))
    with open(seen) as file:
        frames = file.read().strip()
    checks.expect(frames == os.path.join(tool.folder, "frames.apng"), "--frames frames.apng "
                  "should give the program ZEPHA_FRAMES=%s, gave %r"
                  % (os.path.join(tool.folder, "frames.apng"), frames))
    rearm = os.path.join(tool.folder, "rearm.scr")
    status, lines = tool.run(args.subject, rearm, out, "--frames", "frames.apng")
    with open(os.path.join(tool.folder, "frames.apng"), "rb") as file:
        animated = b"acTL" in file.read()
    checks.expect(status == 0 and not lines and animated, "--frames: 0, silently, and an "
                  "animated PNG expected, got %d %r, animated: %s" % (status, lines, animated))
    status, lines = tool.run(args.subject, ask, out, "--frames", out + ".apng",
                             env=dict(tool.env, DISPLAY=":0"))
    checks.expect(status == STATUS_USAGE and lines and "--frames" in lines[0],
                  "--frames with a display and no --headless: 2 and a line expected, got %d %r"
                  % (status, lines[:1]))


def batch(checks, tool, args):
    checks.step("a batch of two jobs")
    listing = os.path.join(tool.folder, "list.txt")
    with open(listing, "w") as file:
        file.write("%s rearm.scr rearm-0.png\n%s crash.scr\n%s ask.scr\n%s rearm.scr\n"
                   % (args.subject, args.subject, args.subject, args.subject))
    out_dir = os.path.join(tool.folder, "batch")
    status, lines = tool.run("--batch", listing, out_dir, "--jobs", "2", "--answer", "Bob Lee")
    csv_path = os.path.join(out_dir, "results.csv")
    if not checks.expect(status == 1 and os.path.exists(csv_path),
                         "the batch: 1 and results.csv expected, got %d %r" % (status, lines)):
        return
    with open(csv_path, newline="") as file:
        rows = list(csv.DictReader(file))
    checks.expect([row["status"] for row in rows] == ["0", "123", "0", "0"],
                  "the batch: statuses 0, 123, 0, 0 expected, got %r"
                  % [row["status"] for row in rows])
    alone = {0: "rearm-0.png", 2: "dialog-with-an-answer.png", 3: "rearm-0.png"}
    for index, name in alone.items():
        if index < len(rows) and rows[index]["picture"]:
            checks.expect(read_png(os.path.join(out_dir, rows[index]["picture"])).data ==
                          read_png(os.path.join(tool.folder, name)).data,
                          "the batch's line %d should give the picture of its replay alone"
                          % (index + 1))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True, help="the native replay tool")
    parser.add_argument("--subject", required=True, help="the replay subject program")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    checks = Checks()
    folder = tempfile.mkdtemp(prefix="zepha-e2e-headless-")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["TMPDIR"] = os.path.join(folder, "tmp")
    os.mkdir(env["TMPDIR"])
    tool = Tool(args.tool, env, folder)
    try:
        deterministic(checks, tool, args)
        outcomes(checks, tool, args)
        batch(checks, tool, args)
    except Exception as error:  # a broken harness is a failed test, reported as such
        checks.expect(False, "test stopped: %s: %s" % (type(error).__name__, error))
    finally:
        if checks.failures:
            print("the scripts and pictures: " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
