// Asks a question in the runtime's text-entry dialog and draws the answer. Type a name and
// press Enter (or Okay); close the window to quit.
#include "display/graphics_display.h"
#include "runtime/graphics_runtime.h"

#include <cstdio>

int app_main() {
    GraphicsDisplay display;
    display.clear(WHITE);
    display.drawText(-280, 200, "Answer the question in the dialog.", BLACK, 16);

    char name[GETS_ANSWER_SIZE]; // the dialog keeps at most 255 characters
    ZEPHA_gets("What is your name?", name);

    char greeting[300];
    snprintf(greeting, sizeof greeting, "Hello, %s!", name[0] != '\0' ? name : "stranger");
    display.clear(WHITE);
    display.drawText(-280, 100, greeting, BLUE, 32);
    display.drawText(-280, 0, "Close the window to quit.", BLACK, 16);

    int x, y;
    char key;
    while (display.getNextEvent(x, y, key) != DE_QUIT) {
    }
    return 0;
}
