"""Shared by the end-to-end tests: a private X display, the editor running under Wine in a
folder of its own, real mouse clicks and keys through the window system (xdotool),
screenshots of the whole screen read pixel by pixel, and runs of the replay tool with the
PNG files it writes.

Positions are the editor's logical coordinates: origin at the centre of the graphics window's
client area, y up. Nothing here sleeps for a fixed time to wait for something; every wait polls
its condition until a deadline.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import png

POLL_INTERVAL = 0.05  # seconds between two looks at a condition
WINDOW_DEADLINE_MS = 60000  # start of the editor (a first start in a new prefix is slow)
SCREEN_DEADLINE = 15.0  # a picture or file that should appear after some input
EXIT_DEADLINE = 30.0  # the editor's process after the quit request
TOOL_DEADLINE = 30.0  # one call of an X or Wine tool
PREFIX_DEADLINE = 240.0  # creation of the Wine prefix
REPLAY_DEADLINE = 60  # the replay tool's own timeout, when a test gives none (seconds)

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
RED = (255, 0, 0)
GREEN = (0, 255, 0)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)

GRAPHICS_TITLE = "ZEPHA Graphics"
LOG_TITLE = "ZEPHA Text"

COLOR_NAMES = {WHITE: "white", BLACK: "black", RED: "red", GREEN: "green", BLUE: "blue",
               YELLOW: "yellow"}

# Centres of the palette's boxes: box k spans y from 245 - 40k down to 205 - 40k.
BUTTONS = ["Rect", "Oval", "Pick", "Move", "Resize", "Delete", "Save", "Load",
           "Red", "Yellow", "Blue", "Black"]


def button(name):
    """The logical point at the centre of a palette button."""
    return (-275, 225 - 40 * BUTTONS.index(name))


def color_name(rgb):
    if rgb is None:
        return "off the screen"
    return COLOR_NAMES.get(tuple(rgb), "rgb%s" % (tuple(rgb),))


def wait_until(condition, deadline_s):
    """Polls the condition until it returns a true value or the time is up; returns its last
    value."""
    end = time.monotonic() + deadline_s
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        time.sleep(POLL_INTERVAL)


# ---- Reporting ----

class Checks:
    """Collects failed checks; every failure says what was expected and what was found."""

    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
            print("FAIL: " + message, flush=True)
        return condition

    def step(self, text):
        print("-- " + text, flush=True)

    def finish(self):
        if self.failures:
            print("%d check(s) failed" % len(self.failures), flush=True)
            return 1
        print("all checks passed", flush=True)
        return 0


# ---- Screenshots ----

class Screenshot:
    """One picture of the whole screen, with the pixel colours addressed in screen or logical
    coordinates."""

    def __init__(self, data, width, height, geometry):
        self.data = data
        self.width = width
        self.height = height
        self.geometry = geometry

    @staticmethod
    def take(display, geometry):
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                             env=display.env(), capture_output=True, check=True,
                             timeout=TOOL_DEADLINE).stdout
        return Screenshot.from_ppm(ppm, geometry)

    @staticmethod
    def from_ppm(ppm, geometry):
        # Header: magic, width, height, maximum sample value, each after white space.
        fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        if fields is None:
            raise RuntimeError("screenshot is not a binary PPM")
        width, height, maxval = (int(v) for v in fields.groups())
        body = ppm[fields.end():]
        if maxval > 255:  # two bytes per sample, most significant first
            body = bytes(body[i] for i in range(0, len(body), 2))
        return Screenshot(body, width, height, geometry)

    def screen_pixel(self, sx, sy):
        if not (0 <= sx < self.width and 0 <= sy < self.height):
            return None
        i = 3 * (sy * self.width + sx)
        return tuple(self.data[i:i + 3])

    def pixel(self, x, y):
        return self.screen_pixel(*self.geometry.to_screen(x, y))

    def crop(self, left, top, width, height):
        """The rows of a rectangle of the screen, as bytes of RGB."""
        return [self.data[3 * ((top + row) * self.width + left):
                          3 * ((top + row) * self.width + left + width)]
                for row in range(height)]

    def client_area(self):
        g = self.geometry
        return self.crop(g.client_x, g.client_y, g.client_width, g.client_height)


def read_png(path):
    """A PNG file (8-bit RGB, or a palette, as headless pictures are) as a Screenshot whose
    geometry is the whole picture, so that its pixels are addressed in logical coordinates as in
    the client area it was taken from."""
    width, height, rows, info = png.Reader(filename=path).asRGB8()
    if info.get("alpha") or info.get("interlace"):
        raise RuntimeError("%s is not a PNG without alpha and interlacing: %r" % (path, info))
    return Screenshot(b"".join(bytes(row) for row in rows), width, height,
                      Geometry(0, 0, width, height))


def write_png(path, rows):
    """Writes RGB rows as a PNG with no time stamp, so that the same picture gives the same
    file."""
    writer = png.Writer(len(rows[0]) // 3, len(rows), greyscale=False, bitdepth=8, compression=9)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as file:
        writer.write(file, rows)


# ---- The X display ----

class XDisplay:
    """A private Xvfb on a display number it picks itself, so that no other program's windows
    cover the editor or take its input."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def stop(self):
        self.process.terminate()
        self.process.wait()


# ---- Wine and the editor ----

class Wine:
    """The test's own Wine prefix. Its wineserver and desktop process belong to the display
    they were started on, so the prefix is used by this test alone and stopped when it ends."""

    def __init__(self, display, desktop=False):
        self.display = display
        self.env = display.env()
        self.env.setdefault("WINEDEBUG", "-all")
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        if "WINEPREFIX" not in self.env:
            raise RuntimeError("WINEPREFIX is not set")
        self.stop_server()
        if not os.path.exists(os.path.join(self.env["WINEPREFIX"], "system.reg")):
            print("-- creating the Wine prefix %s" % self.env["WINEPREFIX"], flush=True)
            subprocess.run(["wineboot", "--init"], env=self.env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=PREFIX_DEADLINE)
        if desktop:
            self.use_desktop()
            self.stop_server()  # the desktop setting is read when the server starts again

    def use_desktop(self):
        """Runs every program of this prefix on a Wine desktop the size of the screen, which
        draws the windows' frames and captions as Windows would (without a window manager X
        shows none). Only for a prefix of its own: the setting stays in the prefix."""
        for key, name, value in ((r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
                                 (r"HKCU\Software\Wine\Explorer\Desktops", "Default",
                                  "1024x768")):
            subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"],
                           env=self.env, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=PREFIX_DEADLINE)

    def stop_server(self):
        for option in ("-k", "-w"):  # kill, then wait until it has gone
            subprocess.run(["wineserver", option], env=self.env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=TOOL_DEADLINE)


class Geometry:
    """Where the graphics window's client area lies on the screen, as the window reports it."""

    def __init__(self, client_x, client_y, client_width, client_height):
        self.client_x = client_x
        self.client_y = client_y
        self.client_width = client_width
        self.client_height = client_height
        # The logical origin is the centre of the client area, rounded down.
        self.origin_x = client_x + client_width // 2
        self.origin_y = client_y + client_height // 2

    def to_screen(self, x, y):
        return (self.origin_x + x, self.origin_y - y)


class Editor:
    """One run of the editor's .exe under Wine, in the given folder."""

    def __init__(self, wine, editor_exe, client_origin_exe, folder):
        self.wine = wine
        self.display = wine.display
        self.folder = folder
        self.log = open(os.path.join(folder, "wine-output.txt"), "ab")
        self.process = subprocess.Popen(["wine", editor_exe], cwd=folder, env=wine.env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        # The answer goes through a file: Wine's own background processes, when this call
        # starts them, inherit the output and would keep a pipe open after the helper ends.
        with tempfile.TemporaryFile() as answer:
            status = subprocess.run(["wine", client_origin_exe, str(WINDOW_DEADLINE_MS)],
                                    env=wine.env, stdout=answer, stderr=subprocess.DEVNULL,
                                    timeout=WINDOW_DEADLINE_MS / 1000 + TOOL_DEADLINE).returncode
            answer.seek(0)
            numbers = answer.read().decode("ascii", "replace").split()
        if status != 0 or len(numbers) != 8:
            self.process.kill()
            raise RuntimeError("the graphics window did not appear (%r)" % numbers)
        self.geometry = Geometry(*(int(n) for n in numbers[:4]))

    # Input
    def click(self, point):
        sx, sy = self.geometry.to_screen(*point)
        subprocess.run(["xdotool", "mousemove", str(sx), str(sy), "click", "1"],
                       env=self.display.env(), check=True, timeout=TOOL_DEADLINE)

    def key(self, keys):
        """Presses keys (xdotool's names, e.g. ctrl+r) with the pointer resting over the
        canvas: without a window manager the keyboard follows the pointer."""
        sx, sy = self.geometry.to_screen(150, 230)
        subprocess.run(["xdotool", "mousemove", str(sx), str(sy), "key", keys],
                       env=self.display.env(), check=True, timeout=TOOL_DEADLINE)

    # Output
    def screenshot(self):
        return Screenshot.take(self.display, self.geometry)

    def x_window(self, title):
        """(left, top, width, height) of a top-level window as X shows it, or None."""
        info = subprocess.run(["xwininfo", "-name", title], env=self.display.env(),
                              capture_output=True, text=True, timeout=TOOL_DEADLINE).stdout
        fields = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s*(-?\d+)",
                                 info, re.M))
        if len(fields) != 4:
            return None
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                int(fields["Width"]), int(fields["Height"]))

    def window_screenshot(self):
        """The graphics window with its menu bar, as X shows it; the client area alone if X
        cannot say where the window is."""
        shot = self.screenshot()
        window = self.x_window(GRAPHICS_TITLE)
        return shot.crop(*window) if window else shot.client_area()

    def open_run_menu(self):
        """Clicks the title of the Run menu at the left end of the menu bar, which lies just
        above the client area."""
        subprocess.run(["xdotool", "mousemove", str(self.geometry.client_x + 15),
                        str(self.geometry.client_y - 10), "click", "1"],
                       env=self.display.env(), check=True, timeout=TOOL_DEADLINE)

    def log_window_has_text(self):
        """Whether the log window shows any black pixel, that is any logged line."""
        window = self.x_window(LOG_TITLE)
        if window is None:
            return False
        return any(pixel == (0, 0, 0)
                   for row in self.screenshot().crop(*window)
                   for pixel in zip(row[0::3], row[1::3], row[2::3]))

    def wait_for_pixels(self, checks, probes, what):
        """Waits until every probe (x, y, colour) shows its colour; reports each one that does
        not by the deadline. Returns the last screenshot."""
        last = [None]

        def all_match():
            last[0] = self.screenshot()
            return all(last[0].pixel(x, y) == rgb for x, y, rgb in probes)

        if not wait_until(all_match, SCREEN_DEADLINE):
            name = re.sub(r"[^A-Za-z0-9]+", "-", what).strip("-") + ".png"
            write_png(os.path.join(self.folder, name), last[0].client_area())
            for x, y, rgb in probes:
                got = last[0].pixel(x, y)
                checks.expect(got == rgb, "%s: pixel at (%d, %d) should be %s, is %s"
                              % (what, x, y, color_name(rgb), color_name(got)))
        return last[0]

    def wait_for_exit(self):
        try:
            return self.process.wait(timeout=EXIT_DEADLINE)
        except subprocess.TimeoutExpired:
            return None
        finally:
            self.log.flush()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


# ---- The replay tool ----

def replay(wine, tool, program, script, out, timeout_s=None, extra=(), cwd=None):
    """Runs the replay tool under Wine; returns its exit status and the lines it wrote to
    standard error (Wine's own messages left out). Its output goes through files, for the same
    reason as the helper's answer in Editor. For a batch, program, script and out are LIST,
    OUT_DIR and None, and extra starts with --batch."""
    command = ["wine", tool] + [a for a in (program, script, out) if a is not None]
    command += list(extra)
    if timeout_s is not None:
        command += ["--timeout", str(timeout_s)]
    deadline = 3 * (timeout_s or REPLAY_DEADLINE) + TOOL_DEADLINE
    with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
        status = subprocess.run(command, env=wine.env, cwd=cwd or os.path.dirname(out),
                                stdout=output, stderr=errors, timeout=deadline).returncode
        errors.seek(0)
        lines = errors.read().decode("utf-8", "replace").splitlines()
    return status, [line for line in lines if line.startswith("zepha_replay:")]


def replay_folders_left(wine):
    """The replay tool's working folders still in the prefix's temporary folders."""
    users = os.path.join(wine.env["WINEPREFIX"], "drive_c", "users")
    left = []
    for user in os.listdir(users) if os.path.isdir(users) else []:
        temp = os.path.join(users, user, "Temp")
        if os.path.isdir(temp):
            left += [name for name in os.listdir(temp) if name.startswith("zepha-replay-")]
    return left


# Probes of the palette: the filled square of the Rect tool, a box outline and empty canvas.
PALETTE_PROBES = [(-275, 225, BLACK), (-295, 100, BLACK), (-275, 210, WHITE), (0, 0, WHITE)]


def parse_arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--editor", required=True, help="the editor's .exe")
    parser.add_argument("--client-origin", required=True,
                        help="the helper .exe that reports where the graphics window is")
    parser.add_argument("--screenshot", help="where to save a picture of the editor (PNG)")
    parser.add_argument("--examples", help="the folder of the example programs' .exe files")
    parser.add_argument("--pictures", help="where to save the documentation's pictures")
    parser.add_argument("--desktop", action="store_true",
                        help="run the programs on a Wine desktop, with frames and captions")
    parser.add_argument("--replay", help="the replay tool's .exe")
    parser.add_argument("--event-stream", help="the event stream example's .exe")
    parser.add_argument("--ends-on-key", help="the helper .exe that ends at its first key event")
    parser.add_argument("--crashes-on-key",
                        help="the helper .exe that crashes at its first key event")
    return parser.parse_args()


def run(test, description):
    """Runs test(checks, start_editor, folder, args) with a private display, Wine prefix
    (args.wine) and working folder, and exits with 0 when every check passed.
    start_editor(exe, probes) starts the editor, or another program, and waits until the probes
    show."""
    args = parse_arguments(description)
    # Stopped from outside (a test timeout), still stop Xvfb, the editor and the wineserver.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    for tool in ("Xvfb", "xdotool", "import", "xwininfo", "wine", "wineserver"):
        if shutil.which(tool) is None:
            print("missing program: %s" % tool)
            sys.exit(1)
    checks = Checks()
    display = XDisplay()
    editors = []
    folder = tempfile.mkdtemp(prefix="zepha-e2e-")
    wine = None
    try:
        wine = Wine(display, desktop=args.desktop)
        args.wine = wine  # for tests that run other programs under Wine beside the editor

        def start_editor(exe=None, probes=PALETTE_PROBES):
            editor = Editor(wine, exe or args.editor, args.client_origin, folder)
            editors.append(editor)
            editor.wait_for_pixels(checks, probes, "%s after start"
                                   % os.path.basename(exe or args.editor))
            return editor

        test(checks, start_editor, folder, args)
    except Exception as error:  # a broken harness is a failed test, reported as such
        checks.expect(False, "test stopped: %s: %s" % (type(error).__name__, error))
    finally:
        for editor in editors:
            editor.kill()
        if wine is not None:
            wine.stop_server()
        display.stop()
        if checks.failures:
            print("the editor's folder, with screenshots of failed waits: " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
    sys.exit(checks.finish())
