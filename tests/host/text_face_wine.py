#!/usr/bin/env python3
"""Runs the text face comparison: the Win32 runtime draws the text face cases under Wine, on
the X display in $DISPLAY or on an Xvfb of its own, and the host program compares them with
the software face pixel by pixel. Wine runs in a prefix of this test's own, since a prefix's
wineserver stays bound to the display it started on."""

import argparse
import os
import subprocess
import sys
import tempfile
import time


def start_display():
    number = 80
    while os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
        number += 1
    server = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten",
                               "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        if time.time() > deadline or server.poll() is not None:
            sys.exit("Xvfb did not start")
        time.sleep(0.1)
    return server, f":{number}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True, help="the linux-mingw build's text_face_dump.exe")
    parser.add_argument("--compare", required=True, help="the host build's comparison program")
    parser.add_argument("--prefix", required=True, help="the Wine prefix to use")
    parser.add_argument("--work", required=True, help="a folder for the dump")
    args = parser.parse_args()
    if not os.path.exists(args.dump):
        sys.exit(f"{args.dump} is missing: build the linux-mingw preset first (scripts/test does)")

    env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    server = None
    if not env.get("DISPLAY"):
        server, env["DISPLAY"] = start_display()
    try:
        with tempfile.TemporaryDirectory(dir=args.work) as work:
            dump = os.path.join(work, "text_face.bin")
            drawn = subprocess.run(["wine", args.dump, dump], env=env, stdin=subprocess.DEVNULL,
                                   timeout=240)
            if drawn.returncode != 0 or not os.path.exists(dump):
                sys.exit(f"text_face_dump failed with status {drawn.returncode}")
            return subprocess.run([args.compare, dump], timeout=240).returncode
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        if server is not None:
            server.terminate()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
