// A program on ZEPHA as a user writes one: app_main is its entry. It draws, then waits until
// its window is closed.
#include "display/graphics_display.h"
#include "runtime/graphics_runtime.h"

int app_main() {
    GraphicsDisplay display;
    display.clear(WHITE);
    display.drawCircle(0, 0, 60, RED);
    display.drawText(-90, 150, "Hello from GraphicsDisplay", BLACK, 16);
    int x, y;
    char key;
    while (display.getNextEvent(x, y, key) != DE_QUIT) {
    }
    return 0;
}
