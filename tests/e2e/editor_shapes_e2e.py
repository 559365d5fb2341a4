#!/usr/bin/env python3
"""The shape editor end to end: draw rectangles and ovals in several colours with real clicks,
pick, move, resize and delete a shape, checking the screen after each step; turn logging on
from the Run menu with the mouse; then close the window and expect the process to end with
status 0."""

from zepha_e2e import (BLACK, BLUE, GREEN, RED, SCREEN_DEADLINE, WHITE, YELLOW, button, run,
                       wait_until, write_png)

# The shapes, by their two corners as clicked (logical coordinates).
RED_RECT = ((-200, 200), (-50, 50))
BLUE_OVAL = ((20, -20), (220, -180))
YELLOW_RECT = ((60, 220), (260, 80))
BLACK_OVAL = ((60, 60), (260, 0))


def draw(editor, tool, color, corners):
    editor.click(button(color))
    editor.click(button(tool))
    editor.click(corners[0])
    editor.click(corners[1])


def shapes_test(checks, start_editor, folder, args):
    editor = start_editor()

    checks.step("a red rectangle")
    draw(editor, "Rect", "Red", RED_RECT)
    editor.wait_for_pixels(checks, [
        (-125, 125, RED), (-200, 200, RED), (-50, 50, RED),  # inside and both corners
        (-201, 125, WHITE), (-49, 125, WHITE), (-125, 201, WHITE), (-125, 49, WHITE),
    ], "red rectangle")

    checks.step("a blue oval")
    draw(editor, "Oval", "Blue", BLUE_OVAL)
    editor.wait_for_pixels(checks, [
        (120, -100, BLUE), (30, -100, BLUE), (120, -30, BLUE),
        (25, -25, WHITE), (215, -175, WHITE),  # corners of the box lie outside the oval
        (-125, 125, RED),
    ], "blue oval")

    checks.step("a yellow rectangle and a black oval")
    draw(editor, "Rect", "Yellow", YELLOW_RECT)
    draw(editor, "Oval", "Black", BLACK_OVAL)
    editor.wait_for_pixels(checks, [
        (160, 150, YELLOW), (160, 30, BLACK), (65, 55, WHITE), (120, -100, BLUE),
    ], "four shapes")

    checks.step("pick the red rectangle")
    editor.click(button("Pick"))
    editor.click((-125, 125))
    editor.wait_for_pixels(checks, [
        (-200, 125, GREEN), (-50, 125, GREEN), (-125, 200, GREEN), (-125, 50, GREEN),
        (-199, 125, RED), (-125, 125, RED),
        (160, 150, YELLOW), (160, 30, BLACK), (120, -100, BLUE),
    ], "picked rectangle")
    if args.screenshot:
        write_png(args.screenshot, editor.window_screenshot())

    checks.step("move it: its first corner goes to the click, its size stays")
    editor.click(button("Move"))
    editor.click((-220, -20))  # the rectangle becomes (-220, -20) to (-70, -170)
    editor.wait_for_pixels(checks, [
        (-125, 125, WHITE), (-60, 60, WHITE),  # where it was
        (-145, -95, RED), (-75, -165, RED),
        (-220, -95, GREEN), (-70, -95, GREEN),  # it keeps its selection outline
        (-221, -95, WHITE), (-69, -95, WHITE), (-145, -171, WHITE),
        (120, -100, BLUE),
    ], "moved rectangle")

    checks.step("pick it again, then resize: the first corner goes to the click")
    editor.click(button("Pick"))
    editor.click((-145, -95))  # the current pick: selected, then deselected, still picked
    editor.wait_for_pixels(checks, [(-220, -95, RED), (-70, -95, RED)],
                           "second pick of the same shape, drawn without outline")
    editor.click(button("Resize"))
    editor.click((-150, 100))  # the rectangle becomes (-150, 100) to (-70, -170)
    editor.wait_for_pixels(checks, [
        (-110, 50, RED), (-150, 100, RED), (-70, -170, RED),
        (-200, -100, WHITE), (-151, 0, WHITE), (-110, 101, WHITE), (-69, 0, WHITE),
        (160, 150, YELLOW), (160, 30, BLACK), (120, -100, BLUE),
    ], "resized rectangle")

    checks.step("pick it and delete it")
    editor.click(button("Pick"))
    editor.click((-110, 50))
    editor.click(button("Delete"))
    editor.wait_for_pixels(checks, [
        (-110, 50, WHITE), (-110, -100, WHITE), (-150, 100, WHITE), (-70, -170, WHITE),
        (160, 150, YELLOW), (160, 30, BLACK), (120, -100, BLUE),
        (-275, 225, BLACK),  # the palette is still drawn
    ], "after delete")

    checks.step("Logging from the Run menu, with the mouse: the log shows the drawing calls")
    checks.expect(not editor.log_window_has_text(),
                  "the log window should be empty while logging is off")
    editor.open_run_menu()
    editor.key("l")  # the item's mnemonic, in the open menu
    checks.expect(wait_until(editor.log_window_has_text, SCREEN_DEADLINE),
                  "the log window should fill once Logging is chosen in the Run menu")

    checks.step("close the window")
    editor.key("alt+F4")
    status = editor.wait_for_exit()
    checks.expect(status == 0, "the editor should end with status 0 when its window is "
                  "closed, ended with %r" % (status,))


if __name__ == "__main__":
    run(shapes_test, __doc__)
