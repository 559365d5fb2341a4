// Drawing primitives: each validates its arguments (correcting bad ones with a warning in the
// log), describes itself in the log while logging is on, and renders one DrawItem onto the
// off-screen surface. Every GDI object is made and released within the call.
#include "runtime/runtime_state.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/gdi_guard.h"

// ---- Constants ----

const COLORREF color_table[NUM_COLORS] = {
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(255, 0, 0),     RGB(0, 255, 0),
    RGB(0, 0, 255),     RGB(255, 255, 0),   RGB(255, 0, 255),   RGB(0, 255, 255),
    RGB(153, 0, 204),   RGB(0, 51, 153),    RGB(153, 102, 153), RGB(153, 255, 255),
    RGB(153, 255, 204), RGB(255, 102, 0),   RGB(153, 102, 51),  RGB(255, 153, 204),
    RGB(255, 255, 153), RGB(204, 153, 51),  RGB(255, 153, 102), RGB(0, 102, 51),
    RGB(51, 204, 153),  RGB(153, 153, 51),  RGB(128, 128, 128), RGB(204, 204, 204),
};

const char *const color_names[NUM_COLORS] = {
    "black",     "white",        "red",       "green",     "blue",       "yellow",
    "magenta",   "cyan",         "purple",    "navy blue", "dusty plum", "ice blue",
    "turquoise", "orange",       "brown",     "pink",      "chalk",      "gold",
    "peach",     "forest green", "sea green", "olive",     "50% gray",   "20% gray",
};

// ---- Internal functions ----

namespace {

int surface_x(int x) {
    return g_origin_x + x;
}
int surface_y(int y) {
    return g_origin_y - y;
}

// A negative size is replaced by its absolute value, with the caller's warning.
int check_not_negative(int value, const char *warning) {
    if (value >= 0)
        return value;
    ZEPHA_log(warning, value, -value);
    return -value;
}

void render_text(const DrawItem &item) {
    SetTextColor(g_surface_dc, color_table[item.color]);
    const int saved_mode = GetBkMode(g_surface_dc);
    SetBkMode(g_surface_dc, TRANSPARENT);
    {
        SelectedObject<HFONT> font(
            g_surface_dc, CreateFontA(-item.x2, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "ZEPHA-font"),
            true);
        const char *text = static_cast<const char *>(GlobalLock(item.text_block));
        if (text != nullptr) {
            SIZE extent = {0, 0};
            GetTextExtentPointA(g_surface_dc, text, static_cast<int>(strlen(text)), &extent);
            const int line_height = extent.cy;
            // Line k has its top at row origin - y1 + (k - 1) * h: the first line sits just
            // above the row of y1, the second starts on it.
            int k = 0;
            for (const char *line = text;; k++) {
                const char *end = strchr(line, '\n');
                const int length = static_cast<int>(end ? end - line : strlen(line));
                if (length > 0)
                    TextOutA(g_surface_dc, surface_x(item.x1),
                             surface_y(item.y1) + (k - 1) * line_height, line, length);
                if (end == nullptr)
                    break;
                line = end + 1;
            }
            GlobalUnlock(item.text_block);
        }
    }
    SetBkMode(g_surface_dc, saved_mode);
}

void render_shape(const DrawItem &item) {
    const COLORREF color = color_table[item.color];
    SelectedObject<HPEN> pen(g_surface_dc, CreatePen(PS_SOLID, item.width, color), true);
    const bool filled = item.width == 0;
    const bool has_brush = item.kind != ITEM_LINE;
    SelectedObject<HBRUSH> brush(g_surface_dc,
                                 !has_brush ? nullptr
                                 : filled   ? CreateSolidBrush(color)
                                            : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)),
                                 filled);
    // Both corners belong to the shape: the platform leaves out the right and bottom edges.
    const int left = surface_x(item.x1);
    const int top = surface_y(item.y1);
    const int right = surface_x(item.x2) + 1;
    const int bottom = surface_y(item.y2) + 1;
    switch (item.kind) {
    case ITEM_TRIANGLE: {
        const POINT points[3] = {{surface_x(item.x1), surface_y(item.y1)},
                                 {surface_x(item.x2), surface_y(item.y2)},
                                 {surface_x(item.x3), surface_y(item.y3)}};
        Polygon(g_surface_dc, points, 3);
        break;
    }
    case ITEM_RECTANGLE:
    case ITEM_OVAL:
        // The platform draws nothing for a one-pixel box; with a one-pixel pen that box is
        // exactly its one pixel.
        if (right - left == 1 && bottom - top == 1 && item.width <= 1)
            SetPixel(g_surface_dc, left, top, color);
        else if (item.kind == ITEM_RECTANGLE)
            Rectangle(g_surface_dc, left, top, right, bottom);
        else
            Ellipse(g_surface_dc, left, top, right, bottom);
        break;
    case ITEM_LINE:
        MoveToEx(g_surface_dc, surface_x(item.x1), surface_y(item.y1), nullptr);
        LineTo(g_surface_dc, surface_x(item.x2), surface_y(item.y2));
        break;
    default: break;
    }
}

} // namespace

int check_color(int index) {
    if (index >= 0 && index < NUM_COLORS)
        return index;
    ZEPHA_log("Illegal color %d; using RED.\n", index);
    return RED;
}

void render_item(const DrawItem &item) {
    switch (item.kind) {
    case ITEM_TRIANGLE:
    case ITEM_RECTANGLE:
    case ITEM_OVAL:
    case ITEM_LINE: render_shape(item); break;
    case ITEM_PIXEL:
        SetPixel(g_surface_dc, surface_x(item.x1), surface_y(item.y1), color_table[item.color]);
        break;
    case ITEM_TEXT: render_text(item); break;
    default: break;
    }
    g_surface_dirty = 1;
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
    item.x1 = x - radius;
    item.y1 = y + radius;
    item.x2 = x + radius;
    item.y2 = y - radius;
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
    const size_t size = strlen(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == nullptr)
        return 1;
    if (void *copy = GlobalLock(block)) {
        memcpy(copy, text, size);
        GlobalUnlock(block);
        DrawItem item = {};
        item.kind = ITEM_TEXT;
        item.color = color;
        item.x1 = x;
        item.y1 = y;
        item.x2 = point_size;
        item.text_block = block;
        render_item(item);
    }
    GlobalFree(block);
    return 1;
}

int ZEPHA_draw_textf(int color, int x, int y, int point_size, const char *format, ...) {
    if (format == nullptr)
        return 0;
    char buffer[LOG_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    const int produced = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // Text longer than the buffer is cut to its first 1023 characters.
    if (produced < 0)
        buffer[0] = '\0';
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
    {
        SelectedObject<HBRUSH> brush(g_surface_dc, CreateSolidBrush(color_table[WHITE]), true);
        Rectangle(g_surface_dc, 0, 0, SURFACE_WIDTH, SURFACE_HEIGHT);
    }
    g_surface_dirty = 1;
    return 1;
}
