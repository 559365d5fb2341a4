#!/usr/bin/env python3
"""The grading script as CI runs it: with env -i (PATH and HOME alone, no display), on a fresh
build of the replay tool in a folder of its own, grading two editors, one in a folder with a
space, against a class's two scripts: the native build's, and one built as the CI workflow
builds a learner's program, on the headless platform alone (ZEPHA_FLTK=OFF), which must load
neither FLTK nor X11. With the right expected pictures it exits with 0 and results.csv shows 0
for every replay; with a wrong one it exits with 1, and results.csv and a .diff.png for each
differing replay are left for the job's artifacts."""

import argparse
import csv
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from zepha_e2e import Checks, button

BUILD_DEADLINE = 900  # seconds: the grading script configures and builds the tool first


def mouse(*points):
    return "".join("ZEPHA_MOUSE(%d, %d);\n" % point for point in points)


SCRIPTS = {
    "shapes": mouse(button("Red"), (-200, 200), (-50, 50), button("Oval"), button("Blue"),
                    (20, -20), (220, -180)) + "ZEPHA_PERIODIC(3);\n",
    "pick": mouse(button("Yellow"), (-100, 100), (100, -100), button("Pick"), (0, 0)),
}


def bare_environment(folder, **more):
    """env -i's arguments for CI's environment: PATH and HOME alone, no display."""
    env = dict({"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": folder}, **more)
    return ["env", "-i"] + ["%s=%s" % item for item in env.items()]


def headless_only_editor(checks, args, folder):
    """The editor built on the headless platform alone, as CI builds a learner's program."""
    build = os.path.join(folder, "headless-build")
    env = bare_environment(folder)
    for command in (["cmake", "-S", args.source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                     "-DZEPHA_FLTK=OFF", "-DZEPHA_BUILD_TESTS=OFF", "-DZEPHA_BUILD_EXAMPLES=OFF",
                     "-DZEPHA_BUILD_TOOLS=OFF", "-DZEPHA_INSTALL=OFF"],
                    ["cmake", "--build", build, "--target", "zepha_editor", "-j2"]):
        result = subprocess.run(env + command, capture_output=True, text=True,
                                timeout=BUILD_DEADLINE)
        if not checks.expect(result.returncode == 0, "%s failed: %s %s" % (
                " ".join(command[:3]), result.stdout[-2000:], result.stderr[-2000:])):
            return None
    editor = os.path.join(build, "editor", "zepha_editor")
    libraries = subprocess.run(["ldd", editor], capture_output=True, text=True).stdout
    checks.expect("libfltk" not in libraries and "libX11" not in libraries,
                  "the headless-only editor should load neither FLTK nor X11: %s" % libraries)
    return editor


def grade(checks, args, folder, grading, out, programs):
    """Runs scripts/grade as CI does; returns its status and the rows of results.csv."""
    env = bare_environment(folder, ZEPHA_GRADE_BUILD=os.path.join(folder, "build"))
    result = subprocess.run(env +
                            [os.path.join(args.source, "scripts", "grade"), grading, out] +
                            programs, capture_output=True, text=True, timeout=BUILD_DEADLINE)
    csv_path = os.path.join(out, "results.csv")
    if not checks.expect(os.path.exists(csv_path), "grade should write results.csv; it exited "
                         "with %d: %s %s" % (result.returncode, result.stdout, result.stderr)):
        return result.returncode, []
    with open(csv_path, newline="") as file:
        return result.returncode, list(csv.DictReader(file))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source", required=True, help="ZEPHA's source folder")
    parser.add_argument("--tool", required=True, help="the native replay tool")
    parser.add_argument("--editor", required=True, help="the natively built editor")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    checks = Checks()
    folder = tempfile.mkdtemp(prefix="zepha-e2e-grade-")
    try:
        checks.step("building the editor on the headless platform alone")
        headless_editor = headless_only_editor(checks, args, folder)
        programs = []
        for owner, editor in (("alice", args.editor), ("bob smith", headless_editor)):
            os.makedirs(os.path.join(folder, owner))
            programs.append(shutil.copy(editor or args.editor,
                                        os.path.join(folder, owner, "my_program")))
        good, wrong = os.path.join(folder, "grading"), os.path.join(folder, "grading-wrong")
        os.makedirs(good)
        os.makedirs(wrong)
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        for name, text in SCRIPTS.items():
            script = os.path.join(good, name + ".scr")
            with open(script, "w", newline="\n") as file:
                file.write(text)
            shutil.copy(script, wrong)
            status = subprocess.run([args.tool, "--headless", args.editor, script,
                                     os.path.join(good, name + ".png")], env=env,
                                    timeout=60).returncode
            checks.expect(status == 0, "the expected picture of %s: status %d" % (name, status))
        # The wrong folder expects the shapes' picture from the pick script too.
        shutil.copy(os.path.join(good, "shapes.png"), wrong)
        shutil.copy(os.path.join(good, "shapes.png"), os.path.join(wrong, "pick.png"))

        checks.step("grading with the right expected pictures")
        status, rows = grade(checks, args, folder, good, os.path.join(folder, "out"), programs)
        checks.expect(status == 0 and [row["status"] for row in rows] == ["0"] * 4,
                      "grade: 0 and four replays of status 0 expected, got %d %r"
                      % (status, [(row["status"], row["message"]) for row in rows]))

        checks.step("grading with a wrong expected picture")
        out = os.path.join(folder, "out-wrong")
        status, rows = grade(checks, args, folder, wrong, out, programs)
        statuses = sorted(row["status"] for row in rows)
        checks.expect(status == 1 and statuses == ["0", "0", "125", "125"],
                      "grade: 1 and two replays of 0, two of 125 expected, got %d %r"
                      % (status, statuses))
        for row in rows:
            if row["status"] == "125":
                diff = os.path.join(out, row["picture"][:-4] + ".diff.png")
                checks.expect(os.path.exists(diff), "%s should be left for the artifacts" % diff)
    except Exception as error:  # a broken harness is a failed test, reported as such
        checks.expect(False, "test stopped: %s: %s" % (type(error).__name__, error))
    finally:
        if checks.failures:
            print("the grading folders: " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
