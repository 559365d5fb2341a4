// The logical coordinate system: origin at the centre, x to the right, y up, a grid line every
// 50 units with its value, and where a text is placed: its first line stands above the point
// given. Click anywhere to see that point's coordinates; close the window to quit.
#include "display/graphics_display.h"
#include "runtime/graphics_runtime.h"

#include <cstdio>

namespace {

void draw_grid(GraphicsDisplay &display) {
    char label[16];
    for (int x = -300; x <= 300; x += 50) {
        display.drawRectangle(x, 250, x, -250, x == 0 ? BLACK : GRAY_20, 0);
        snprintf(label, sizeof label, "%d", x);
        if (x != 0)
            display.drawText(x + 2, -2, label, GRAY_50, 10);
    }
    for (int y = -250; y <= 250; y += 50) {
        display.drawRectangle(-300, y, 300, y, y == 0 ? BLACK : GRAY_20, 0);
        snprintf(label, sizeof label, "%d", y);
        if (y != 0)
            display.drawText(2, y - 2, label, GRAY_50, 10);
    }
    display.drawText(2, -2, "0", BLACK, 10);
    display.drawText(280, 14, "x", BLACK, 14);
    display.drawText(8, 240, "y", BLACK, 14);
}

// A text drawn at (x, y), with the point marked: the first line's cell ends just above y.
void draw_text_anchor(GraphicsDisplay &display) {
    display.drawCircle(-200, 150, 3, RED);
    display.drawText(-200, 150, "text at (-200, 150)", RED, 16);
    display.drawCircle(100, -150, 3, BLUE);
    display.drawText(100, -150, "two lines at\n(100, -150)", BLUE, 16);
}

} // namespace

int app_main() {
    GraphicsDisplay display;
    int x = 0, y = 0; // the last click
    bool clicked = false;
    for (;;) {
        display.clear(WHITE);
        draw_grid(display);
        draw_text_anchor(display);
        if (clicked) {
            char label[32];
            snprintf(label, sizeof label, "(%d, %d)", x, y);
            display.drawCircle(x, y, 2, GREEN);
            display.drawText(x + 4, y, label, FOREST_GREEN, 12);
        }
        int event_x, event_y;
        char key;
        const DisplayEvent event = display.getNextEvent(event_x, event_y, key);
        if (event == DE_QUIT)
            break;
        if (event == DE_MOUSE) {
            x = event_x;
            y = event_y;
            clicked = true;
        }
    }
    return 0;
}
