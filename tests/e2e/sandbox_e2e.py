#!/usr/bin/env python3
"""The native replay tool's --sandbox, with a hostile program replayed headless. Without the
sandbox the test sees the program get out: a file outside its folder, a connection to a port
on 127.0.0.1 the test listens on, processes left running after the replay, 512 MiB allocated,
a secret file read. With --sandbox --memory 256M none of that reaches the machine, the
program's picture shows each attempt failed inside, and the tool still gives the picture and
status 0. --sandbox without --headless is refused before the program starts. Where the sandbox
cannot be set up here (no user namespaces), the test prints one line starting with SKIP and
passes."""

import argparse
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

from zepha_e2e import Checks, read_png, wait_until

STATUS_NO_SANDBOX = 117
STATUS_SANDBOX_NEEDS_HEADLESS = 118
TOOL_DEADLINE = 120  # seconds for one call of the tool
# The sandbox's processes, killed as it closes, may take a moment more than the tool to be gone.
END_DEADLINE = 10
SCRIPT = "ZEPHA_KBD(107);\n"
# The hostile program's squares, one per attempt, top down (tests/e2e/hostile.cpp): red when
# the attempt succeeded, green when it failed. Centres in logical coordinates.
ATTEMPTS = ["tmp file", "file in the test's folder", "connection", "processes", "memory",
            "secret"]


def square_succeeded(picture, index):
    red, green, _ = picture.pixel(-260, 180 - 60 * index)
    return red > green


def processes_with(marker):
    """The processes whose environment holds the marker: the hostile program's children."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as file:
                if marker.encode() in file.read():
                    found.append(int(entry))
        except OSError:
            pass
    return found


class Hostile:
    """One replay of the hostile program, and what it reached outside."""

    def __init__(self, args, folder, tmp):
        self.args, self.folder, self.tmp = args, folder, tmp
        self.escape = os.path.join(folder, "escaped.txt")
        self.marker = "HOSTILE_ESCAPE=" + self.escape  # in the environment of its processes
        self.secret = os.path.join(folder, "secret.txt")
        with open(self.secret, "w") as file:
            file.write("the answers\n")
        self.script = os.path.join(folder, "hostile.scr")
        with open(self.script, "w", newline="\n") as file:
            file.write(SCRIPT)
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.listener.setblocking(False)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(TMPDIR=tmp, HOSTILE_ESCAPE=self.escape, HOSTILE_SECRET=self.secret,
                        HOSTILE_PORT=str(self.listener.getsockname()[1]))

    def run(self, name, *options, linger=0):
        """The tool's status, its lines, the picture (or None) and what got out: processes
        still there `linger` seconds after the tool (at once when they are gone)."""
        before = set(glob.glob("/tmp/zepha-escape-*"))
        out = os.path.join(self.folder, name + ".png")
        result = subprocess.run([self.args.tool, self.args.hostile, self.script, out] +
                                list(options), env=self.env, cwd=self.folder,
                                capture_output=True, text=True, timeout=TOOL_DEADLINE)
        connections = []
        while True:
            try:
                connection, _ = self.listener.accept()
            except BlockingIOError:
                break
            connections.append(connection)
            connection.close()
        wait_until(lambda: not processes_with(self.marker), linger)
        got_out = {
            "tmp files": sorted(set(glob.glob("/tmp/zepha-escape-*")) - before),
            "file in the test's folder": os.path.exists(self.escape),
            "connections": len(connections),
            "processes": processes_with(self.marker),
            "work folders": os.listdir(self.tmp),
        }
        picture = read_png(out) if os.path.exists(out) else None
        return result.returncode, result.stderr.splitlines(), picture, got_out

    def clean_up(self, got_out):
        for pid in got_out["processes"]:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for path in got_out["tmp files"] + [self.escape]:
            if os.path.exists(path):
                os.remove(path)

    def close(self):
        self.listener.close()


def contained(checks, hostile):
    checks.step("--sandbox --memory 256M: nothing gets out")
    status, lines, picture, got_out = hostile.run("sandboxed", "--headless", "--sandbox",
                                                  "--memory", "256M", linger=END_DEADLINE)
    hostile.clean_up(got_out)
    if status == STATUS_NO_SANDBOX:
        return lines
    checks.expect(status == 0 and not lines and picture is not None,
                  "status 0, no line and a picture expected, got %d %r" % (status, lines))
    checks.expect(got_out == {"tmp files": [], "file in the test's folder": False,
                              "connections": 0, "processes": [], "work folders": []},
                  "nothing should get out of the sandbox, got %r" % got_out)
    if picture is not None:
        # The program's own /tmp is private: its write there succeeds, and stays inside.
        for index, attempt in enumerate(ATTEMPTS[1:], 1):
            checks.expect(not square_succeeded(picture, index),
                          "inside the sandbox the attempt at %s should have failed" % attempt)
    checks.step("--sandbox without --headless: refused, the program not started")
    status, lines, picture, got_out = hostile.run("refused", "--sandbox")
    hostile.clean_up(got_out)
    checks.expect(status == STATUS_SANDBOX_NEEDS_HEADLESS and len(lines) == 1 and
                  "--headless" in lines[0] and picture is None,
                  "status %d and one line naming --headless expected, got %d %r"
                  % (STATUS_SANDBOX_NEEDS_HEADLESS, status, lines))
    checks.expect(not got_out["connections"] and not got_out["file in the test's folder"],
                  "the program should not have started, got %r" % got_out)
    return None


def unconfined(checks, hostile):
    checks.step("without --sandbox: the test sees each attempt get out")
    status, lines, picture, got_out = hostile.run("unconfined", "--headless")
    try:
        checks.expect(status == 0 and not lines and picture is not None,
                      "status 0, no line and a picture expected, got %d %r" % (status, lines))
        checks.expect(len(got_out["tmp files"]) == 1 and got_out["file in the test's folder"]
                      and got_out["connections"] == 1 and got_out["processes"],
                      "a file in /tmp and in the test's folder, a connection and processes "
                      "left expected, got %r" % got_out)
        if picture is not None:
            for index, attempt in enumerate(ATTEMPTS):
                checks.expect(square_succeeded(picture, index),
                              "without the sandbox the attempt at %s should succeed" % attempt)
    finally:
        hostile.clean_up(got_out)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True, help="the native replay tool")
    parser.add_argument("--hostile", required=True, help="the hostile program")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    checks = Checks()
    folder = tempfile.mkdtemp(prefix="zepha-e2e-sandbox-")
    # The working folders apart from the test's: inside the sandbox only they are there. Run
    # as root, the tool runs the sandbox as nobody, who must be able to enter their folder.
    tmp = tempfile.mkdtemp(prefix="zepha-e2e-sandbox-work-")
    os.chmod(tmp, 0o755)
    hostile = Hostile(args, folder, tmp)
    try:
        missing = contained(checks, hostile)
        if missing is not None:
            print("SKIP: the sandbox cannot be set up here: %s" % " ".join(missing))
            return 0
        unconfined(checks, hostile)
    except Exception as error:  # a broken harness is a failed test, reported as such
        checks.expect(False, "test stopped: %s: %s" % (type(error).__name__, error))
    finally:
        hostile.close()
        if checks.failures:
            print("the scripts and pictures: " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(tmp, ignore_errors=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
