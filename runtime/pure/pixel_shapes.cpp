// The drawing primitives' shapes in software. Each shape takes the path the Win32 runtime's
// render_shape takes (runtime/core/drawing.cpp): near the surface, what the platform's drawing call
// paints there, worked out here pixel by pixel; further out, the same pixel geometry that
// render_shape paints itself. Only rows and columns of the surface are painted; the work grows
// with the surface, not the shape, but for the walks along an oval near the surface and along
// a pen's disc, some hundred thousand steps at most.
#include "runtime/pure/pixel_shapes.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <utility>

namespace zepha {

// ---- Constants ----

namespace {

// The distances of runtime/core/drawing.cpp: shapes within DIRECT_REACH of the surface go to the
// platform's drawing calls, and a rectangle's edges are clamped to the pen's width beyond it,
// at most CLAMP_LIMIT.
constexpr int64_t DIRECT_REACH = int64_t(1) << 15;
constexpr int64_t CLAMP_LIMIT = int64_t(1) << 30;
// Coordinates beyond any render_shape computes are first brought within the range the pixel
// geometry works in.
constexpr int64_t POINT_LIMIT = RASTER_COORDINATE_LIMIT + (int64_t(1) << 20);

enum { TRIANGLE, RECTANGLE, OVAL, LINE, PIXEL };

constexpr int64_t SHORT_RUN = 32; // pixels that fill_pixels stores itself

} // namespace

// ---- Types ----

namespace {

// Paints spans of one colour into the surface.
class MemoryPainter final : public SpanSink {
  public:
    MemoryPainter(PixelSurface &surface, uint32_t rgb) : surface_(surface), rgb_(rgb) {}
    void span(int64_t row, int64_t left, int64_t right) override {
        if (row < 0 || row >= surface_.height)
            return;
        left = std::max<int64_t>(left, 0);
        right = std::min<int64_t>(right, surface_.width);
        if (left < right)
            fill_pixels(surface_.pixels + row * surface_.width + left, right - left, rgb_);
    }
    void column(int64_t x, int64_t top, int64_t bottom) override {
        if (x < 0 || x >= surface_.width)
            return;
        top = std::max<int64_t>(top, 0);
        bottom = std::min<int64_t>(bottom, surface_.height);
        for (uint32_t *pixel = surface_.pixels + top * surface_.width + x; top < bottom;
             top++, pixel += surface_.width)
            *pixel = rgb_;
    }

  private:
    PixelSurface &surface_;
    uint32_t rgb_;
};

} // namespace

// ---- Internal functions ----

namespace {

bool within(int64_t value, int64_t reach) {
    return value >= -reach && value <= reach;
}
int64_t clamp_to(int64_t value, int64_t reach) {
    return std::min(std::max(value, -reach), reach);
}

// Both corners belong to the shape: the box leaves out its right and bottom edges.
RasterBox box_of(const RasterPoint (&points)[3]) {
    return {points[0].x, points[0].y, points[1].x + 1, points[1].y + 1};
}

bool near_box(const RasterBox &box) {
    return within(box.left, DIRECT_REACH) && within(box.top, DIRECT_REACH) &&
           within(box.right, DIRECT_REACH) && within(box.bottom, DIRECT_REACH);
}

// The box the platform's rectangle call gets: edges clamped far beyond the surface.
RasterBox clamped(const RasterBox &box, int pen_width) {
    const int64_t reach = std::min(DIRECT_REACH + pen_width, CLAMP_LIMIT);
    return {clamp_to(box.left, reach), clamp_to(box.top, reach), clamp_to(box.right, reach),
            clamp_to(box.bottom, reach)};
}

// The box in order, as the platform's rectangle and oval calls take it.
RasterBox ordered(RasterBox box) {
    if (box.left > box.right)
        std::swap(box.left, box.right);
    if (box.top > box.bottom)
        std::swap(box.top, box.bottom);
    return box;
}

// A polyline: one-pixel pens pixel by pixel without the end points, wide ones as the bands of
// the segments and the pen's disc at every point.
void paint_lines(const RasterPoint *points, int count, bool closed, int pen_width,
                 const RasterClip &clip, SpanSink &sink) {
    const int segments = closed ? count : count - 1;
    for (int i = 0; i < segments; i++) {
        const RasterPoint from = points[i], to = points[(i + 1) % count];
        if (pen_width <= 1) {
            raster_line(from, to, clip, sink);
            continue;
        }
        RasterPoint band[4];
        raster_wide_segment(from, to, pen_width, band);
        raster_polygon(band, 4, clip, sink);
    }
    if (pen_width <= 1)
        return;
    const RasterPen pen(pen_width);
    const int64_t reach = int64_t(pen_width) + 1;
    for (int i = 0; i < count; i++)
        if (points[i].x >= -reach && points[i].x <= clip.width + reach && points[i].y >= -reach &&
            points[i].y <= clip.height + reach)
            pen.paint(points[i], clip, sink);
}

// The platform's rectangle: the outline through the four corner pixels, closed, and for a
// filled one the interior.
void platform_rectangle(const RasterBox &edges, int pen_width, bool filled, const RasterClip &clip,
                        SpanSink &sink) {
    const RasterBox box = ordered(edges);
    if (box.left == box.right || box.top == box.bottom)
        return;
    // Filled, the outline and the interior make up the whole box: one span a row.
    if (filled && pen_width <= 1 && box.right - box.left >= 2 && box.bottom - box.top >= 2) {
        const int64_t left = std::max<int64_t>(box.left, 0), end = std::min(box.right, clip.width);
        if (left < end)
            for (int64_t y = std::max<int64_t>(box.top, 0); y < std::min(box.bottom, clip.height);
                 y++)
                sink.span(y, left, end);
        return;
    }
    const int64_t right = box.right - 1, bottom = box.bottom - 1;
    const RasterPoint corners[4] = {
        {right, box.top}, {box.left, box.top}, {box.left, bottom}, {right, bottom}};
    paint_lines(corners, 4, true, pen_width, clip, sink);
    const int64_t left = std::max<int64_t>(box.left + 1, 0), end = std::min(right, clip.width);
    if (filled && left < end)
        for (int64_t y = std::max<int64_t>(box.top + 1, 0); y < std::min(bottom, clip.height); y++)
            sink.span(y, left, end);
}

// The platform's oval: boxes two pixels wide or high as rectangles.
void platform_oval(const RasterBox &edges, int pen_width, bool filled, const RasterClip &clip,
                   SpanSink &sink, RasterOvalRows *known) {
    const RasterBox box = ordered(edges);
    if (box.left == box.right || box.top == box.bottom)
        return;
    if (box.right - box.left <= 2 || box.bottom - box.top <= 2) {
        platform_rectangle(box, pen_width, filled, clip, sink);
        return;
    }
    if (pen_width <= 1) {
        raster_oval(box, !filled, clip, sink, known);
        return;
    }
    const RasterPen pen(pen_width);
    if (pen_width <= RASTER_DISC_ROWS) {
        RasterDisc disc;
        pen.fill(disc);
        raster_oval_wide(box, disc, pen_width, clip, sink);
        return;
    }
    raster_oval_pen(box, pen, clip, sink);
}

// An oval beyond the platform's reach, as render_shape paints it.
void far_oval(const RasterBox &box, int pen_width, const RasterClip &clip, SpanSink &sink) {
    if (box.right - box.left <= 2 || box.bottom - box.top <= 2) {
        platform_rectangle(clamped(box, pen_width), pen_width, pen_width == 0, clip, sink);
        return;
    }
    const int64_t margin = int64_t(pen_width) + 1;
    if (box.right < -margin || box.left > clip.width + margin || box.bottom < -margin ||
        box.top > clip.height + margin)
        return;
    if (pen_width <= 1) {
        raster_oval(box, pen_width == 1, clip, sink);
        return;
    }
    if (pen_width <= RASTER_DISC_ROWS) {
        RasterDisc disc;
        RasterPen(pen_width).fill(disc);
        raster_oval_wide(box, disc, pen_width, clip, sink);
        return;
    }
    raster_oval_band(box, pen_width, clip, sink);
}

} // namespace

// ---- Public functions ----

// Where wchar_t is 32 bits wide (Linux, macOS, WebAssembly), wmemset fills the pixels: the C
// library's own is written for the processor, where GCC at -O2 stores a run of a length known
// only at run time one pixel at a time (on x86-64 with glibc, wmemset filled the surface about
// twice as fast). Runs shorter than SHORT_RUN (an outline's edge, a small shape's row) are
// stored here: the call would cost more than the stores.
void fill_pixels(uint32_t *first, int64_t count, uint32_t rgb) {
    if (count < 4) {
        for (int64_t i = 0; i < count; i++)
            first[i] = rgb;
        return;
    }
    if (count < SHORT_RUN) {
        // Four pixels a store (the copies compile to single 16-byte stores), the last four
        // stored again where the count is not a multiple of four.
        const uint32_t four[4] = {rgb, rgb, rgb, rgb};
        for (int64_t i = 0; i + 4 <= count; i += 4)
            memcpy(first + i, four, sizeof four);
        memcpy(first + count - 4, four, sizeof four);
        return;
    }
    if constexpr (sizeof(wchar_t) == sizeof(uint32_t))
        wmemset(reinterpret_cast<wchar_t *>(first), static_cast<wchar_t>(rgb),
                static_cast<size_t>(count));
    else
        std::fill(first, first + count, rgb);
}

bool pen_centre(int kind, int pen_width, const RasterPoint (&points)[3], RasterPoint &centre) {
    if (pen_width <= 1)
        return false;
    if (kind == TRIANGLE || kind == LINE) {
        centre = points[0];
        return true;
    }
    if (kind != RECTANGLE && kind != OVAL)
        return false;
    const RasterBox box = box_of(points);
    const bool near = kind == OVAL && near_box(box);
    if (kind == OVAL && !near && box.right - box.left > 2 && box.bottom - box.top > 2)
        return false; // painted by render_shape itself
    const RasterBox edges = ordered(near ? box : clamped(box, pen_width));
    const int64_t w = edges.right - edges.left, h = edges.bottom - edges.top;
    if (w == 0 || h == 0)
        return false;
    // The first pixel of an oval's edge; a rectangle's top left corner.
    centre = near && w > 2 && h > 2 ? RasterPoint{edges.left + w - 1, edges.top + h / 2}
                                    : RasterPoint{edges.left, edges.top};
    return true;
}

void paint_shape_spans(int kind, int pen_width, const RasterPoint (&given)[3],
                       const RasterClip &clip, SpanSink &sink, RasterOvalRows *known) {
    if (clip.width <= 0 || clip.height <= 0)
        return;
    if (pen_width < 0)
        pen_width = pen_width == INT_MIN ? INT_MAX : -pen_width;
    RasterPoint points[3];
    for (int i = 0; i < 3; i++)
        points[i] = {clamp_to(given[i].x, POINT_LIMIT), clamp_to(given[i].y, POINT_LIMIT)};
    auto pixel = [&](RasterPoint p) {
        if (p.x >= 0 && p.x < clip.width && p.y >= 0 && p.y < clip.height)
            sink.span(p.y, p.x, p.x + 1);
    };
    if (kind == PIXEL) {
        pixel(points[0]);
        return;
    }
    // A pen whose disc at one of the shape's points covers the clip paints all of it.
    RasterPoint centre;
    if (pen_centre(kind, pen_width, points, centre) && RasterPen(pen_width).covers(centre, clip)) {
        for (int64_t y = 0; y < clip.height; y++)
            sink.span(y, 0, clip.width);
        return;
    }
    const bool filled = pen_width == 0;
    switch (kind) {
    case TRIANGLE:
        if (filled)
            raster_polygon(points, 3, clip, sink);
        paint_lines(points, 3, true, pen_width, clip, sink);
        break;
    case RECTANGLE:
    case OVAL: {
        const RasterBox box = box_of(points);
        if (box.right - box.left == 1 && box.bottom - box.top == 1 && pen_width <= 1)
            pixel(points[0]); // the platform draws nothing for it
        else if (kind == RECTANGLE)
            platform_rectangle(clamped(box, pen_width), pen_width, filled, clip, sink);
        else if (near_box(box))
            platform_oval(box, pen_width, filled, clip, sink, known);
        else
            far_oval(box, pen_width, clip, sink);
        break;
    }
    case LINE: paint_lines(points, 2, false, pen_width, clip, sink); break;
    default: break;
    }
}

void paint_shape(PixelSurface &surface, int kind, uint32_t rgb, int pen_width,
                 const RasterPoint (&points)[3], RasterOvalRows *known) {
    if (surface.pixels == nullptr || surface.width <= 0 || surface.height <= 0)
        return;
    MemoryPainter painter(surface, rgb);
    paint_shape_spans(kind, pen_width, points, {surface.width, surface.height}, painter, known);
}

} // namespace zepha
