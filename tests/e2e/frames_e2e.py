"""The animation of a headless replay (ZEPHA_FRAMES): the editor draws two rectangles from a
script, and the animated PNG it leaves, read with Pillow, has a frame where the surface
changed, 100 ms for each event since the frame before, and the picture as its last frame."""

import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageSequence

from zepha_e2e import Checks, button

DEADLINE = 60  # seconds for the whole replay

# The first wait shows the palette (one event's worth); the Rect button and two corners draw a
# black rectangle; three ticks, the Red button and two corners draw a red one.
SCRIPT = ("ZEPHA_MOUSE(%d, %d);\nZEPHA_MOUSE(-200, 200);\nZEPHA_MOUSE(-50, 50);\n"
          "ZEPHA_PERIODIC(3);\nZEPHA_MOUSE(%d, %d);\nZEPHA_MOUSE(20, -20);\n"
          "ZEPHA_MOUSE(220, -180);\n") % (button("Rect") + button("Red"))
DELAYS = [100, 300, 600]
FIRST, SECOND = (172, 123), (417, 348)  # pixels inside the two rectangles
WHITE, BLACK, RED = (255, 255, 255), (0, 0, 0), (255, 0, 0)
INSIDE = [(WHITE, WHITE), (BLACK, WHITE), (BLACK, RED)]  # each frame's colours there


def main():
    checks = Checks()
    folder = tempfile.mkdtemp(prefix="zepha-e2e-frames-")
    try:
        with open(os.path.join(folder, "ZEPHA.SCR"), "w") as script:
            script.write(SCRIPT)
        frames_path = os.path.join(folder, "replay.apng")
        env = dict(os.environ, ZEPHA_PLATFORM="headless", ZEPHA_PLAYBACK="1",
                   ZEPHA_PICTURE="picture.png", ZEPHA_REPORT="report", ZEPHA_FRAMES=frames_path)
        result = subprocess.run([os.path.abspath(sys.argv[1])], cwd=folder, env=env, capture_output=True,
                                timeout=DEADLINE)
        checks.expect(result.returncode == 0, "exit status 0, got %d" % result.returncode)
        with open(os.path.join(folder, "report")) as report:
            lines = report.read().splitlines()
        checks.expect("frames " + frames_path in lines,
                      "a report line 'frames %s', got %s" % (frames_path, lines))
        animation = Image.open(frames_path)
        frames = [frame.convert("RGB") for frame in ImageSequence.Iterator(animation)]
        delays = [frame.info.get("duration") for frame in ImageSequence.Iterator(animation)]
        checks.expect(animation.format == "PNG" and delays == DELAYS,
                      "an animated PNG of delays %s ms, got %s with %s" %
                      (DELAYS, animation.format, delays))
        inside = [(frame.getpixel(FIRST), frame.getpixel(SECOND)) for frame in frames]
        checks.expect(inside == INSIDE, "frames coloured %s inside the rectangles, got %s" %
                      (INSIDE, inside))
        picture = Image.open(os.path.join(folder, "picture.png")).convert("RGB")
        checks.expect(frames[-1].tobytes() == picture.tobytes(),
                      "the last frame is the picture, pixel for pixel")
    except Exception as error:  # a broken harness is a failed test, reported as such
        checks.expect(False, "test stopped: %s: %s" % (type(error).__name__, error))
    finally:
        if checks.failures:
            print("the script, report, picture and animation: " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)
    sys.exit(checks.finish())


if __name__ == "__main__":
    main()
