// The shape editor's entry: one display, one shape list, and a loop that applies each event
// and then draws the whole picture again.
#include "display/graphics_display.h"
#include "editor/editor_state.h"
#include "editor/shape_list.h"

// The list is constructed before the display, so the display (and with it the runtime's
// windows) shuts down first and the list releases its shapes afterwards.
int app_main() {
    ShapeList shapes;
    GraphicsDisplay display;
    display.clear(BACKGROUND_COLOR);
    display.setAnimation(AM_RUN);
    drawPalette(display);

    EditorState state;
    while (!state.done) {
        int x = 0, y = 0;
        char key = 0;
        DisplayEvent event = display.getNextEvent(x, y, key);
        applyEvent(state, event, x, y, shapes, display);
        redraw(display, shapes); // after every event, the quit event included
    }
    return 0;
}
