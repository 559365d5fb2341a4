// Drawing primitives: each validates its arguments (correcting bad ones with a warning in the
// log), describes itself in the log while logging is on, and renders one DrawItem onto the
// off-screen surface. Every GDI object is made and released within the call.
#include "runtime/runtime_state.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "runtime/gdi_guard.h"
#include "runtime/pixel_shapes.h"
#include "runtime/raster.h"
#include "runtime/surface_painter.h"

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

namespace {

// Shapes whose surface coordinates all lie within this distance of the surface go to the
// platform's calls unchanged, so that they keep their pixels exactly. At this size those calls
// are exact and quick; further out they are not: Wine's Ellipse and wide-pen lines take time
// and memory in proportion to the shape (an oval box of 2^20 pixels makes it fail), its
// slanted lines are scaled down beyond 2^28, and Windows documents a device space 2^27 units
// wide. Anything further out is computed here and painted as spans of pixels.
constexpr int64_t DIRECT_REACH = int64_t(1) << 15;
// Texts placed within this distance of the surface are drawn as they are. Further out, a line
// shows only if it runs into the surface: to the right or above and below, one line of
// characters of at most 127 pixels cannot; to the left, its measured width decides.
constexpr int64_t TEXT_REACH = int64_t(1) << 20;
// Pen widths handed to the rectangle's clamping stay below this, so its edges still fit in int.
constexpr int64_t CLAMP_LIMIT = int64_t(1) << 30;
// Wider pens, where no narrower one paints the same, are painted here as spans: the platform's
// time grows with the pen's width and its arithmetic overflows from about 2^20.
constexpr int PLATFORM_PEN_LIMIT = 1 << 16;

const RasterClip SURFACE_CLIP = {SURFACE_WIDTH, SURFACE_HEIGHT};

} // namespace

// ---- Internal functions ----

namespace {

// Logical to surface coordinates, in 64 bits. A record's coordinates beyond any the public
// calls produce are first brought within the range the pixel geometry works in.
int64_t limited(int64_t value) {
    return std::min(std::max(value, -RASTER_COORDINATE_LIMIT), RASTER_COORDINATE_LIMIT);
}
int64_t surface_x(int64_t x) {
    return g_origin_x + limited(x);
}
int64_t surface_y(int64_t y) {
    return g_origin_y - limited(y);
}

bool within(int64_t value, int64_t reach) {
    return value >= -reach && value <= reach;
}
bool within(RasterPoint p, int64_t reach) {
    return within(p.x, reach) && within(p.y, reach);
}
int64_t clamp_to(int64_t value, int64_t reach) {
    return std::min(std::max(value, -reach), reach);
}

// A negative size is replaced by its absolute value, with the caller's warning. The most
// negative int has no absolute value in an int: it becomes the largest int.
int check_not_negative(int value, const char *warning) {
    if (value >= 0)
        return value;
    const int positive = value == INT_MIN ? INT_MAX : -value;
    ZEPHA_log(warning, value, positive);
    return positive;
}

// Whether a line of text starting at this surface column can put a character on the surface.
bool reaches_surface(int64_t column, const char *line, int length) {
    if (within(column, TEXT_REACH))
        return true;
    if (column > 0 || column < INT_MIN)
        return false;
    SIZE extent = {0, 0};
    GetTextExtentPointA(g_surface_dc, line, length, &extent);
    return column + extent.cx >= -TEXT_REACH;
}

void render_text(const DrawItem &item) {
    SetTextColor(g_surface_dc, color_table[item.color]);
    const int saved_mode = GetBkMode(g_surface_dc);
    SetBkMode(g_surface_dc, TRANSPARENT);
    {
        SelectedObject<HFONT> font(g_surface_dc,
                                   CreateFontA(-static_cast<int>(item.x2), 0, 0, 0, 400, 0, 0, 0, 0,
                                               0, 0, 0, 0, "ZEPHA-font"),
                                   true);
        const char *text = static_cast<const char *>(GlobalLock(item.text_block));
        if (text != nullptr) {
            SIZE extent = {0, 0};
            GetTextExtentPointA(g_surface_dc, text, static_cast<int>(strlen(text)), &extent);
            const int line_height = extent.cy;
            const int64_t column = surface_x(item.x1);
            // Line k has its top at row origin - y1 + (k - 1) * h: the first line sits just
            // above the row of y1, the second starts on it.
            int k = 0;
            for (const char *line = text;; k++) {
                const char *end = strchr(line, '\n');
                const int length = static_cast<int>(end ? end - line : strlen(line));
                const int64_t row = surface_y(item.y1) + int64_t(k - 1) * line_height;
                if (length > 0 && within(row, TEXT_REACH) && reaches_surface(column, line, length))
                    TextOutA(g_surface_dc, static_cast<int>(column), static_cast<int>(row), line,
                             length);
                if (end == nullptr)
                    break;
                line = end + 1;
            }
            GlobalUnlock(item.text_block);
        }
    }
    SetBkMode(g_surface_dc, saved_mode);
}

// Rectangles keep every visible pixel when their edges are clamped to a range far outside the
// surface, wider than the pen so that a moved edge's outline stays out of sight too.
void draw_rectangle(const RasterBox &box, int pen_width) {
    const int64_t reach = std::min(DIRECT_REACH + pen_width, CLAMP_LIMIT);
    Rectangle(g_surface_dc, static_cast<int>(clamp_to(box.left, reach)),
              static_cast<int>(clamp_to(box.top, reach)),
              static_cast<int>(clamp_to(box.right, reach)),
              static_cast<int>(clamp_to(box.bottom, reach)));
}

void draw_oval(const RasterBox &box, int pen_width, COLORREF color) {
    if (within(box.left, DIRECT_REACH) && within(box.top, DIRECT_REACH) &&
        within(box.right, DIRECT_REACH) && within(box.bottom, DIRECT_REACH)) {
        Ellipse(g_surface_dc, static_cast<int>(box.left), static_cast<int>(box.top),
                static_cast<int>(box.right), static_cast<int>(box.bottom));
        return;
    }
    // The platform draws an oval box two pixels wide or high as its rectangle.
    if (box.right - box.left <= 2 || box.bottom - box.top <= 2) {
        draw_rectangle(box, pen_width);
        return;
    }
    const int64_t margin = int64_t(pen_width) + 1;
    if (box.right < -margin || box.left > SURFACE_WIDTH + margin || box.bottom < -margin ||
        box.top > SURFACE_HEIGHT + margin)
        return;
    SurfacePainter painter(color);
    if (pen_width <= 1) {
        raster_oval(box, pen_width == 1, SURFACE_CLIP, painter);
        return;
    }
    RasterDisc disc;
    if (pen_disc(pen_width, disc)) {
        raster_oval_wide(box, disc, pen_width, SURFACE_CLIP, painter);
        return;
    }
    // A pen too wide to trace disc by disc: the band between the ovals its disc's edges trace.
    const int64_t before = pen_width / 2, after = (pen_width + 1) / 2;
    const RasterBox outer = {box.left - before, box.top - before, box.right + after - 1,
                             box.bottom + after - 1};
    const RasterBox inner = {box.left + after, box.top + after, box.right - 1 - before,
                             box.bottom - 1 - before};
    raster_oval_ring(outer, inner, SURFACE_CLIP, painter);
}

// A line, or the edges of a polygon, beyond the platform's reach: one-pixel lines pixel by
// pixel, wide ones as their bands with a disc at each end.
void draw_far_lines(const RasterPoint *points, int count, bool closed, int pen_width,
                    COLORREF color) {
    SurfacePainter painter(color);
    const int segments = closed ? count : count - 1;
    for (int i = 0; i < segments; i++) {
        const RasterPoint from = points[i], to = points[(i + 1) % count];
        if (pen_width <= 1) {
            raster_line(from, to, SURFACE_CLIP, painter);
            continue;
        }
        RasterPoint band[4];
        raster_wide_segment(from, to, pen_width, band);
        raster_polygon(band, 4, SURFACE_CLIP, painter);
    }
    if (pen_width > 1)
        for (int i = 0; i < count; i++)
            painter.disc(points[i], pen_width);
}

// A pen whose disc at one of the shape's points covers the whole surface paints all of it, and
// so does a narrower one whose disc still covers it: the platform, whose time grows with the
// pen's width, gets that one.
int platform_pen_width(const DrawItem &item, const RasterPoint (&points)[3]) {
    RasterPoint centre;
    if (!pen_centre(item.kind, item.width, points, centre))
        return item.width;
    return raster_covering_pen(centre, item.width, SURFACE_CLIP);
}

void render_shape(const DrawItem &item) {
    const COLORREF color = color_table[item.color];
    const RasterPoint points[3] = {{surface_x(item.x1), surface_y(item.y1)},
                                   {surface_x(item.x2), surface_y(item.y2)},
                                   {surface_x(item.x3), surface_y(item.y3)}};
    const int pen_width = platform_pen_width(item, points);
    if (pen_width > PLATFORM_PEN_LIMIT) {
        SurfacePainter painter(color);
        paint_shape_spans(item.kind, item.width, points, SURFACE_CLIP, painter);
        return;
    }
    SelectedObject<HPEN> pen(g_surface_dc, CreatePen(PS_SOLID, pen_width, color), true);
    const bool filled = item.width == 0;
    const bool has_brush = item.kind != ITEM_LINE;
    SelectedObject<HBRUSH> brush(g_surface_dc,
                                 !has_brush ? nullptr
                                 : filled   ? CreateSolidBrush(color)
                                            : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)),
                                 filled);
    // Both corners belong to the shape: the platform leaves out the right and bottom edges.
    const RasterBox box = {surface_x(item.x1), surface_y(item.y1), surface_x(item.x2) + 1,
                           surface_y(item.y2) + 1};
    switch (item.kind) {
    case ITEM_TRIANGLE: {
        if (within(points[0], DIRECT_REACH) && within(points[1], DIRECT_REACH) &&
            within(points[2], DIRECT_REACH)) {
            const POINT direct[3] = {
                {static_cast<LONG>(points[0].x), static_cast<LONG>(points[0].y)},
                {static_cast<LONG>(points[1].x), static_cast<LONG>(points[1].y)},
                {static_cast<LONG>(points[2].x), static_cast<LONG>(points[2].y)}};
            Polygon(g_surface_dc, direct, 3);
            break;
        }
        if (filled) {
            SurfacePainter painter(color);
            raster_polygon(points, 3, SURFACE_CLIP, painter);
        }
        draw_far_lines(points, 3, true, pen_width, color);
        break;
    }
    case ITEM_RECTANGLE:
    case ITEM_OVAL:
        // The platform draws nothing for a one-pixel box; with a one-pixel pen that box is
        // exactly its one pixel.
        if (box.right - box.left == 1 && box.bottom - box.top == 1 && item.width <= 1) {
            if (within(box.left, INT_MAX) && within(box.top, INT_MAX))
                SetPixel(g_surface_dc, static_cast<int>(box.left), static_cast<int>(box.top),
                         color);
        } else if (item.kind == ITEM_RECTANGLE) {
            draw_rectangle(box, item.width);
        } else {
            draw_oval(box, item.width, color);
        }
        break;
    case ITEM_LINE:
        if (within(points[0], DIRECT_REACH) && within(points[1], DIRECT_REACH)) {
            MoveToEx(g_surface_dc, static_cast<int>(points[0].x), static_cast<int>(points[0].y),
                     nullptr);
            LineTo(g_surface_dc, static_cast<int>(points[1].x), static_cast<int>(points[1].y));
        } else {
            draw_far_lines(points, 2, false, pen_width, color);
        }
        break;
    default: break;
    }
}

} // namespace

bool pen_disc(int pen_width, RasterDisc &disc) {
    if (pen_width > RASTER_DISC_ROWS)
        return false;
    HRGN region = create_pen_disc(pen_width);
    if (region == nullptr)
        return false;
    bool ok = false;
    RECT bounds;
    const DWORD size = GetRegionData(region, 0, nullptr);
    char *buffer = size > 0 ? new (std::nothrow) char[size] : nullptr;
    if (buffer != nullptr && GetRgnBox(region, &bounds) != ERROR &&
        bounds.bottom - bounds.top <= RASTER_DISC_ROWS &&
        GetRegionData(region, size, reinterpret_cast<RGNDATA *>(buffer)) == size) {
        const RGNDATA *data = reinterpret_cast<const RGNDATA *>(buffer);
        const RECT *rects = reinterpret_cast<const RECT *>(data->Buffer);
        disc.top = bounds.top;
        disc.rows = bounds.bottom - bounds.top;
        for (int k = 0; k < disc.rows; k++) {
            disc.left[k] = 0;
            disc.right[k] = 0;
        }
        for (DWORD i = 0; i < data->rdh.nCount; i++)
            for (LONG row = rects[i].top; row < rects[i].bottom; row++) {
                const int k = row - bounds.top;
                const bool empty = disc.right[k] <= disc.left[k];
                disc.left[k] =
                    empty ? rects[i].left : std::min<int64_t>(disc.left[k], rects[i].left);
                disc.right[k] =
                    empty ? rects[i].right : std::max<int64_t>(disc.right[k], rects[i].right);
            }
        ok = true;
    }
    delete[] buffer;
    DeleteObject(region);
    return ok;
}

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
    case ITEM_PIXEL: {
        // A pixel outside the int range is off the surface.
        const int64_t x = surface_x(item.x1), y = surface_y(item.y1);
        if (within(x, INT_MAX) && within(y, INT_MAX))
            SetPixel(g_surface_dc, static_cast<int>(x), static_cast<int>(y),
                     color_table[item.color]);
        break;
    }
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
