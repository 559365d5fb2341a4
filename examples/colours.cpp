// The runtime's 24 colours as swatches, each with its index and its constant's name. Close
// the window to quit.
#include "display/graphics_display.h"
#include "runtime/graphics_runtime.h"

#include <cstdio>

namespace {

const char *const NAMES[NUM_COLORS] = {
    "BLACK",     "WHITE",        "RED",       "GREEN",     "BLUE",       "YELLOW",
    "MAGENTA",   "CYAN",         "PURPLE",    "NAVY_BLUE", "DUSTY_PLUM", "ICE_BLUE",
    "TURQUOISE", "ORANGE",       "BROWN",     "PINK",      "CHALK",      "GOLD",
    "PEACH",     "FOREST_GREEN", "SEA_GREEN", "OLIVE",     "GRAY_50",    "GRAY_20",
};

} // namespace

int app_main() {
    GraphicsDisplay display;
    display.clear(WHITE);
    // Four columns of six: colour c in column c / 6, row c % 6.
    for (int c = 0; c < NUM_COLORS; c++) {
        const int left = -285 + (c / 6) * 145;
        const int top = 235 - (c % 6) * 78;
        display.drawRectangle(left, top, left + 50, top - 50, c, 0);
        display.drawRectangle(left, top, left + 50, top - 50, BLACK, 1); // white needs an edge
        char label[32];
        snprintf(label, sizeof label, "%d", c);
        display.drawText(left + 56, top - 18, label, BLACK, 14);
        display.drawText(left, top - 66, NAMES[c], BLACK, 11);
    }
    int x, y;
    char key;
    while (display.getNextEvent(x, y, key) != DE_QUIT) {
    }
    return 0;
}
