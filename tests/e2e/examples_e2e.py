#!/usr/bin/env python3
"""The example programs end to end: each one started under Wine, used with real clicks and
keys, checked on screenshots and ended with Ctrl+Q or its close box; then the shape editor with
logging on and its Run menu open. With --pictures the screenshots become the documentation's
pictures: one per example, and the two windows of a running program."""

import os
import subprocess

from zepha_e2e import (BLACK, BLUE, RED, SCREEN_DEADLINE, TOOL_DEADLINE, WHITE, button,
                       read_png, replay, run, wait_until, write_png)

ORANGE = (255, 102, 0)
GREEN = (0, 255, 0)
GRAY_20 = (204, 204, 204)

# The colour table, index by index, as the colours example shows it.
COLOR_TABLE = [
    (0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
    (255, 0, 255), (0, 255, 255), (153, 0, 204), (0, 51, 153), (153, 102, 153), (153, 255, 255),
    (153, 255, 204), (255, 102, 0), (153, 102, 51), (255, 153, 204), (255, 255, 153),
    (204, 153, 51), (255, 153, 102), (0, 102, 51), (51, 204, 153), (153, 153, 51),
    (128, 128, 128), (204, 204, 204),
]


def swatch_centre(index):
    """Where the colours example puts the middle of colour index's swatch."""
    return (-285 + (index // 6) * 145 + 25, 235 - (index % 6) * 78 - 25)


def count_pixels(shot, color, left, top, right, bottom):
    """How many pixels of the logical box (left, top)-(right, bottom) show the colour."""
    return sum(1 for x in range(left, right + 1) for y in range(bottom, top + 1)
               if shot.pixel(x, y) == color)


def save_picture(args, name, rows):
    if args.pictures:
        write_png(os.path.join(args.pictures, name), rows)


def quit_with_ctrl_q(checks, program, name):
    program.key("ctrl+q")
    status = program.wait_for_exit()
    checks.expect(status == 0, "%s should end with status 0 on Ctrl+Q, ended with %r"
                  % (name, status))


def colours(checks, start, args):
    program = start("colours", [(*swatch_centre(i), rgb) for i, rgb in enumerate(COLOR_TABLE)])
    save_picture(args, "examples/colours.png", program.window_screenshot())
    quit_with_ctrl_q(checks, program, "colours")


def coordinates(checks, start, args):
    program = start("coordinates", [
        (0, 120, BLACK), (120, 0, BLACK),  # the axes
        (50, 120, GRAY_20), (120, -50, GRAY_20),  # grid lines
        (-200, 150, RED), (100, -150, BLUE),  # the points where the two texts are drawn
    ])
    shot = program.screenshot()
    checks.expect(count_pixels(shot, RED, -200, 170, -60, 152) > 20,
                  "the first line of a text should stand above the point it is drawn at")
    checks.expect(count_pixels(shot, RED, -190, 148, -60, 130) == 0,
                  "a one-line text should leave the rows below its point alone")
    save_picture(args, "examples/coordinates.png", program.window_screenshot())
    program.click((-150, -100))
    program.wait_for_pixels(checks, [(-150, -100, GREEN)], "the clicked point, marked")
    quit_with_ctrl_q(checks, program, "coordinates")


def bouncing_ball(checks, start, args):
    program = start("bouncing_ball", [])
    program.key("ctrl+h")  # halt the animation, then put the ball at a known place
    program.click((120, 60))
    program.wait_for_pixels(checks, [(120, 60, RED), (120, 78, RED), (120, 82, WHITE),
                                     (-120, 60, WHITE)], "the ball where it was clicked")
    save_picture(args, "examples/bouncing_ball.png", program.window_screenshot())
    program.key("ctrl+a")
    checks.expect(wait_until(lambda: program.screenshot().pixel(120, 60) == WHITE,
                             SCREEN_DEADLINE), "the ball should move on once Ctrl+A animates")
    quit_with_ctrl_q(checks, program, "bouncing_ball")


def ask_name(checks, start, args):
    program = start("ask_name", [])
    dialog = wait_until(lambda: program.x_window("ZEPHA_gets"), SCREEN_DEADLINE)
    if not checks.expect(dialog is not None, "ask_name should show the question's dialog"):
        return
    left, top, width, height = dialog
    # The keyboard follows the pointer; the edit control has the focus.
    subprocess.run(["xdotool", "mousemove", str(left + width // 2), str(top + height // 2),
                    "type", "--delay", "50", "Ada"], env=program.display.env(), check=True,
                   timeout=TOOL_DEADLINE)
    subprocess.run(["xdotool", "key", "Return"], env=program.display.env(), check=True,
                   timeout=TOOL_DEADLINE)
    checks.expect(wait_until(lambda: count_pixels(program.screenshot(), BLUE,
                                                  -280, 130, 0, 100) > 50, SCREEN_DEADLINE),
                  "the answer should be drawn in blue after Enter")
    save_picture(args, "examples/ask_name.png", program.window_screenshot())
    quit_with_ctrl_q(checks, program, "ask_name")


def event_stream(checks, start, args):
    program = start("event_stream", [])
    program.click((100, -50))
    program.wait_for_pixels(checks, [(100, -50, RED)], "the click, marked")
    program.key("k")
    checks.expect(wait_until(lambda: count_pixels(program.screenshot(), BLACK,
                                                  -280, 175, 0, 160) > 20, SCREEN_DEADLINE),
                  "the key should be shown")
    checks.expect(program.log_window_has_text(), "the log window should list the events")
    quit_with_ctrl_q(checks, program, "event_stream")

    # Its picture counts periodic events, so it comes from a replay: the same every time.
    script = os.path.join(args.folder, "event_stream.scr")
    with open(script, "w", newline="\n") as file:
        file.write("ZEPHA_PERIODIC(25);\nZEPHA_MOUSE(100, -50);\nZEPHA_KBD(107);\n")
    out = os.path.join(args.folder, "event_stream.png")
    exe = os.path.join(args.examples, "zepha_event_stream.exe")
    status, lines = replay(args.wine, args.replay, exe, script, out)
    if checks.expect(status == 0 and os.path.exists(out),
                     "the replay of event_stream should end with 0, ended with %d %r"
                     % (status, lines)):
        picture = read_png(out)
        checks.expect(picture.pixel(100, -50) == RED, "the replayed click should be marked")
        save_picture(args, "examples/event_stream.png", picture.client_area())


def primitives(checks, start, args):
    program = start("primitives", [
        (-220, 185, RED), (-100, 185, WHITE), (30, 185, GREEN), (-220, 60, ORANGE),
        (-270, -100, RED), (-220, -100, WHITE),  # colour 99 and width -2: a red outline
    ])
    checks.expect(program.log_window_has_text(), "the log window should describe the calls")
    shot = program.screenshot()
    save_picture(args, "examples/primitives.png", shot.crop(0, 0, shot.width, shot.height))
    quit_with_ctrl_q(checks, program, "primitives")


def editor_layout(checks, start, args):
    """The editor with two shapes, logging on and the Run menu open: both windows."""
    editor = start(None, None)
    for point in (button("Red"), (40, 200), (260, 80), button("Oval"), button("Blue"),
                  (-20, 20), (200, -180)):
        editor.click(point)
    editor.wait_for_pixels(checks, [(150, 140, RED), (90, -80, BLUE)], "two shapes")
    editor.key("ctrl+l")
    checks.expect(wait_until(editor.log_window_has_text, SCREEN_DEADLINE),
                  "Ctrl+L should fill the log window")
    editor.key("ctrl+h")  # no more redraws, so the log stands still
    previous = [None]

    def unchanged():
        data = editor.screenshot().data
        same, previous[0] = data == previous[0], data
        return same

    checks.expect(wait_until(unchanged, SCREEN_DEADLINE), "the screen should settle after Ctrl+H")
    before = editor.screenshot()
    editor.open_run_menu()
    g = editor.geometry
    checks.expect(wait_until(lambda: editor.screenshot().crop(g.client_x, g.client_y, 150, 200)
                             != before.crop(g.client_x, g.client_y, 150, 200), SCREEN_DEADLINE),
                  "the Run menu should open below its title")
    shot = editor.screenshot()
    save_picture(args, "layout.png", shot.crop(0, 0, shot.width, shot.height))
    # Escape closes the menu, and a second one leaves the menu bar.
    subprocess.run(["xdotool", "key", "Escape", "Escape"], env=editor.display.env(), check=True,
                   timeout=TOOL_DEADLINE)
    quit_with_ctrl_q(checks, editor, "the editor")


def examples_test(checks, start_editor, folder, args):
    args.folder = folder
    def start(name, probes):
        exe = os.path.join(args.examples, "zepha_%s.exe" % name) if name else None
        checks.step(name or "zepha_editor")
        return start_editor(exe, probes) if probes is not None else start_editor(exe)

    for example in (colours, coordinates, bouncing_ball, ask_name, event_stream, primitives,
                    editor_layout):
        example(checks, start, args)


if __name__ == "__main__":
    run(examples_test, __doc__)
