// A program on ZEPHA to start from: it draws a greeting, puts a dot wherever you click and
// ends when you close the window or press q. app_main() is the program's entry (not main()).
#include "display/graphics_display.h"
#include "runtime/graphics_runtime.h" // the colour constants

#include <vector>

struct Dot {
    int x, y;
};

int app_main() {
    GraphicsDisplay display; // opens the windows
    std::vector<Dot> dots;
    for (;;) {
        // Draw everything, then wait: the window shows the drawing while the program waits.
        display.clear(WHITE);
        display.drawText(-280, 220, "Hello! Click to draw a dot; press q to quit.", BLACK, 16);
        for (const Dot &dot : dots)
            display.drawCircle(dot.x, dot.y, 8, BLUE);

        int x, y;
        char key;
        const DisplayEvent event = display.getNextEvent(x, y, key);
        if (event == DE_QUIT || (event == DE_KEY && key == 'q'))
            break;
        if (event == DE_MOUSE)
            dots.push_back({x, y});
    }
    return 0;
}
