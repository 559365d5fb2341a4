// Drawing primitives: each validates its arguments (correcting bad ones with a warning in the
// log), describes itself in the log while logging is on, and hands one DrawItem to the
// platform's renderer, which draws it onto the off-screen surface.
#include "runtime/core/runtime_state.h"

#include <climits>
#include <cstdarg>
#include <cstring>
#include <utility>

using namespace zepha;

// ---- Constants ----

// A colour value, red in the low byte.
#define ZEPHA_RGB(r, g, b) static_cast<ColorValue>((r) | ((g) << 8) | ((b) << 16))

const ColorValue color_table[NUM_COLORS] = {
    ZEPHA_RGB(0, 0, 0),       ZEPHA_RGB(255, 255, 255), ZEPHA_RGB(255, 0, 0),
    ZEPHA_RGB(0, 255, 0),     ZEPHA_RGB(0, 0, 255),     ZEPHA_RGB(255, 255, 0),
    ZEPHA_RGB(255, 0, 255),   ZEPHA_RGB(0, 255, 255),   ZEPHA_RGB(153, 0, 204),
    ZEPHA_RGB(0, 51, 153),    ZEPHA_RGB(153, 102, 153), ZEPHA_RGB(153, 255, 255),
    ZEPHA_RGB(153, 255, 204), ZEPHA_RGB(255, 102, 0),   ZEPHA_RGB(153, 102, 51),
    ZEPHA_RGB(255, 153, 204), ZEPHA_RGB(255, 255, 153), ZEPHA_RGB(204, 153, 51),
    ZEPHA_RGB(255, 153, 102), ZEPHA_RGB(0, 102, 51),    ZEPHA_RGB(51, 204, 153),
    ZEPHA_RGB(153, 153, 51),  ZEPHA_RGB(128, 128, 128), ZEPHA_RGB(204, 204, 204),
};

const char *const color_names[NUM_COLORS] = {
    "black",     "white",        "red",       "green",     "blue",       "yellow",
    "magenta",   "cyan",         "purple",    "navy blue", "dusty plum", "ice blue",
    "turquoise", "orange",       "brown",     "pink",      "chalk",      "gold",
    "peach",     "forest green", "sea green", "olive",     "50% gray",   "20% gray",
};

// ---- Internal functions ----

namespace {

// A negative size is replaced by its absolute value, with the caller's warning. The most
// negative int has no absolute value in an int: it becomes the largest int.
int check_not_negative(int value, const char *warning) {
    if (value >= 0)
        return value;
    const int positive = value == INT_MIN ? INT_MAX : -value;
    ZEPHA_log(warning, value, positive);
    return positive;
}

} // namespace

int check_color(int index) {
    if (index >= 0 && index < NUM_COLORS)
        return index;
    ZEPHA_log("Illegal color %d; using RED.\n", index);
    return RED;
}

// ---- Public functions ----

int ZEPHA_draw_circle(int color, int x, int y, int radius) {
    color = check_color(color);
    radius = check_not_negative(radius, "Radius of %d not possible, using radius %d\n");
    if (g_logging)
        ZEPHA_log("%s circle at (%d,%d), radius %d\n", color_names[color], x, y, radius);
    DrawItem item = {};
    item.kind = ITEM_OVAL;
    item.color = color;
    item.x1 = int64_t(x) - radius;
    item.y1 = int64_t(y) + radius;
    item.x2 = int64_t(x) + radius;
    item.y2 = int64_t(y) - radius;
    render_item(item);
    return 1;
}

namespace {

// Puts the corners in order: (x1, y1) upper left, (x2, y2) lower right.
void normalise_corners(int &x1, int &y1, int &x2, int &y2) {
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 < y2)
        std::swap(y1, y2);
}

void render_box(int kind, int color, int x1, int y1, int x2, int y2, int width) {
    DrawItem item = {};
    item.kind = kind;
    item.color = color;
    item.width = width;
    item.x1 = x1;
    item.y1 = y1;
    item.x2 = x2;
    item.y2 = y2;
    render_item(item);
}

const char WIDTH_WARNING[] = "Width of %d not possible, using width %d\n";

} // namespace

int ZEPHA_draw_rectangle(int color, int x1, int y1, int x2, int y2, int width) {
    normalise_corners(x1, y1, x2, y2);
    color = check_color(color);
    width = check_not_negative(width, WIDTH_WARNING);
    if (g_logging && width == 0)
        ZEPHA_log("%s rectangle with bounding box (%d,%d) to (%d,%d), filled\n", color_names[color],
                  x1, y1, x2, y2);
    else if (g_logging)
        ZEPHA_log("%s rectangle with bounding box (%d,%d) to (%d,%d) with line width %d\n",
                  color_names[color], x1, y1, x2, y2, width);
    render_box(ITEM_RECTANGLE, color, x1, y1, x2, y2, width);
    return 1;
}

int ZEPHA_draw_oval(int color, int x1, int y1, int x2, int y2, int width) {
    normalise_corners(x1, y1, x2, y2);
    width = check_not_negative(width, WIDTH_WARNING);
    color = check_color(color);
    if (g_logging && width == 0)
        ZEPHA_log("%s oval with bounding box (%d,%d) to (%d,%d), filled\n", color_names[color], x1,
                  y1, x2, y2);
    else if (g_logging)
        ZEPHA_log("%s oval with bounding box (%d,%d) to (%d,%d), line width %d\n",
                  color_names[color], x1, y1, x2, y2, width);
    render_box(ITEM_OVAL, color, x1, y1, x2, y2, width);
    return 1;
}

int ZEPHA_draw_text(int color, int x, int y, int point_size, const char *text) {
    static const char SIZE_WARNING[] = "ptsize of %d not possible, using ptsize %d\n";
    point_size = check_not_negative(point_size, SIZE_WARNING);
    if (point_size > 127) {
        ZEPHA_log(SIZE_WARNING, point_size, 127);
        point_size = 127;
    }
    color = check_color(color);
    if (text == nullptr)
        return 1;
    if (g_logging)
        ZEPHA_log("%s text at (%d,%d), \"%s\"\n", color_names[color], x, y, text);

    // The text travels to the renderer in a block of its own; without one it is not drawn.
    TextBlock block = new_text_block(text, strlen(text));
    if (block == nullptr)
        return 1;
    {
        DrawItem item = {};
        item.kind = ITEM_TEXT;
        item.color = color;
        item.x1 = x;
        item.y1 = y;
        item.x2 = point_size;
        item.text_block = block;
        render_item(item);
    }
    free_text_block(block);
    return 1;
}

int ZEPHA_draw_textf(int color, int x, int y, int point_size, const char *format, ...) {
    if (format == nullptr)
        return 0;
    char buffer[LOG_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    format_into(buffer, format, args);
    va_end(args);
    ZEPHA_draw_text(color, x, y, point_size, buffer);
    return static_cast<int>(strlen(buffer));
}

int ZEPHA_present() {
    if (g_logging)
        ZEPHA_log("Flushing the graphics window\n");
    if (g_surface_dirty)
        copy_surface_to_window();
    return 1;
}

int ZEPHA_erase() {
    if (g_logging)
        ZEPHA_log("Clearing the graphics window\n");
    erase_surface();
    g_surface_dirty = 1;
    return 1;
}
