// GraphicsDisplay: forwards to the runtime, reordering the arguments (colour first there).
#include "display/graphics_display.h"

#include <cstdlib>

#include "runtime/graphics_runtime.h"

// ---- Internal functions ----

namespace {

// Ends the process after telling the user that a second display was asked for.
[[noreturn]] void refuse_second_display() {
    char reply[GETS_ANSWER_SIZE];
    ZEPHA_gets("Error: Attempted to instantiate multiple ZEPHA displays", reply);
    exit(-1);
}

} // namespace

// ---- Public functions ----

GraphicsDisplay::GraphicsDisplay() : width(600), height(500) {
    if (g_display_created)
        refuse_second_display();
    g_display_created = 1;
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
}

GraphicsDisplay::~GraphicsDisplay() {
    ZEPHA_stop_windows();
}

void GraphicsDisplay::clear(int color) {
    ZEPHA_present();
    ZEPHA_erase();
    drawRectangle(-(width / 2), -(height / 2), width / 2, height / 2, color, 0);
}

DisplayEvent GraphicsDisplay::getNextEvent(int &x, int &y, char &key) {
    const int kind = ZEPHA_next_event(&x, &y, &key);
    return kind >= DE_MOUSE && kind <= DE_QUIT ? static_cast<DisplayEvent>(kind) : DE_NONE;
}

void GraphicsDisplay::setAnimation(int mode) {
    ZEPHA_set_animation(mode == AM_QUIT ? ANIM_QUIT : mode);
}

int GraphicsDisplay::drawText(int x, int y, const char *text, int color, int size) {
    if (text == nullptr)
        return 0;
    return ZEPHA_draw_textf(color, x, y, size, "%s", text);
}

int GraphicsDisplay::drawRectangle(int x1, int y1, int x2, int y2, int color, int width) {
    return ZEPHA_draw_rectangle(color, x1, y1, x2, y2, width);
}

int GraphicsDisplay::drawOval(int x1, int y1, int x2, int y2, int color, int width) {
    return ZEPHA_draw_oval(color, x1, y1, x2, y2, width);
}

int GraphicsDisplay::drawCircle(int x, int y, int radius, int color) {
    return ZEPHA_draw_circle(color, x, y, radius);
}
