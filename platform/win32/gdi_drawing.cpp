// The Win32 renderer: one DrawItem onto the off-screen surface with GDI, shapes far outside the
// surface from their exact pixel geometry. Every GDI object is made and released within the call.
#include "platform/win32/win32_state.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/win32/gdi_guard.h"
#include "platform/win32/surface_painter.h"
#include "runtime/pure/pixel_shapes.h"
#include "runtime/pure/raster.h"
#include "runtime/pure/text_layout.h"

// ---- Constants ----

namespace zepha::win32 {
namespace {

// Shapes whose surface coordinates all lie within this distance of the surface go to the
// platform's calls unchanged, so that they keep their pixels exactly. At this size those calls
// are exact and quick; further out they are not: Wine's Ellipse and wide-pen lines take time
// and memory in proportion to the shape (an oval box of 2^20 pixels makes it fail), its
// slanted lines are scaled down beyond 2^28, and Windows documents a device space 2^27 units
// wide. Anything further out is computed here and painted as spans of pixels.
constexpr int64_t DIRECT_REACH = int64_t(1) << 15;
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

// The text's lines through the surface's device context, with its font selected.
class SurfaceTextLines final : public TextLines {
  public:
    int row_height(const char *text) override {
        SIZE extent = {0, 0};
        GetTextExtentPointA(g_surface_dc, text, static_cast<int>(strlen(text)), &extent);
        return extent.cy;
    }
    int64_t line_width(const char *line, int length) override {
        SIZE extent = {0, 0};
        GetTextExtentPointA(g_surface_dc, line, length, &extent);
        return extent.cx;
    }
    void paint_line(int64_t column, int64_t row, const char *line, int length) override {
        TextOutA(g_surface_dc, static_cast<int>(column), static_cast<int>(row), line, length);
    }
};

void render_text(const DrawItem &item) {
    SetTextColor(g_surface_dc, color_table[item.color]);
    const int saved_mode = GetBkMode(g_surface_dc);
    SetBkMode(g_surface_dc, TRANSPARENT);
    {
        SelectedObject<HFONT> font(g_surface_dc,
                                   CreateFontA(-static_cast<int>(item.x2), 0, 0, 0, 400, 0, 0, 0, 0,
                                               0, 0, 0, 0, "ZEPHA-font"),
                                   true);
        const char *text = static_cast<const char *>(lock_text_block(item.text_block));
        if (text != nullptr) {
            SurfaceTextLines lines;
            lay_out_text(surface_x(item.x1), surface_y(item.y1), text, lines);
            unlock_text_block(item.text_block);
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
    raster_oval_band(box, pen_width, SURFACE_CLIP, painter);
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

void erase_surface() {
    SelectedObject<HBRUSH> brush(g_surface_dc, CreateSolidBrush(color_table[WHITE]), true);
    Rectangle(g_surface_dc, 0, 0, SURFACE_WIDTH, SURFACE_HEIGHT);
}

} // namespace zepha::win32
