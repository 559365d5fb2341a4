// A ball that bounces around the window, moved one step at every periodic event (ten a
// second while the animation runs). A click puts the ball where you clicked; Run > Halt
// animation (Ctrl+H) stops it and Run > Animate (Ctrl+A) starts it again. Close the window to
// quit.
#include "display/graphics_display.h"
#include "runtime/graphics_runtime.h"

// The part of the 600 x 500 drawing area that every window shows (the window's frame and menu
// bar take a few pixels of it).
constexpr int LEFT = -290, RIGHT = 290, TOP = 240, BOTTOM = -240;
constexpr int RADIUS = 20;

int app_main() {
    GraphicsDisplay display;
    display.setAnimation(AM_RUN);

    int x = 0, y = 0;   // the ball's centre
    int dx = 7, dy = 5; // its step per periodic event
    for (;;) {
        display.clear(WHITE);
        display.drawText(LEFT, TOP - 20, "Click to move the ball; close the window to quit.",
                         NAVY_BLUE, 14);
        display.drawCircle(x, y, RADIUS, RED);

        int click_x, click_y;
        char key;
        const DisplayEvent event = display.getNextEvent(click_x, click_y, key);
        if (event == DE_QUIT)
            break;
        if (event == DE_MOUSE) {
            x = click_x;
            y = click_y;
        }
        if (event == DE_PERIODIC) {
            x += dx;
            y += dy;
        }
        // Bounce: turn round at an edge and stay inside.
        if (x - RADIUS < LEFT || x + RADIUS > RIGHT)
            dx = x - RADIUS < LEFT ? 7 : -7;
        if (y - RADIUS < BOTTOM || y + RADIUS > TOP - 30)
            dy = y - RADIUS < BOTTOM ? 5 : -5;
    }
    return 0;
}
