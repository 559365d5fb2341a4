// The renderer of platforms that draw in software: one DrawItem onto the surface in memory, with
// the pixels the Windows build's GDI calls give the same item.
#include "runtime/software/software_surface.h"

#include <algorithm>
#include <new>

#include "runtime/pure/pixel_shapes.h"
#include "runtime/pure/raster.h"
#include "runtime/software/text_face.h"

// ---- Types ----

namespace zepha {
namespace {

// Paints white spans onto a surface that is just erased: of a span only the pixels of the black
// border change, so only those are painted. Notes whether it painted any.
class BorderPainter final : public SpanSink {
  public:
    void span(int64_t row, int64_t left, int64_t right) override {
        if (row < 0 || row >= SURFACE_HEIGHT)
            return;
        left = std::max<int64_t>(left, 0);
        right = std::min<int64_t>(right, SURFACE_WIDTH);
        if (left >= right)
            return;
        uint32_t *line = g_surface_pixels + row * SURFACE_WIDTH;
        const uint32_t white = color_table[WHITE];
        if (row == 0 || row == SURFACE_HEIGHT - 1) {
            fill_pixels(line + left, right - left, white);
            painted = true;
            return;
        }
        if (left == 0) {
            line[0] = white;
            painted = true;
        }
        if (right == SURFACE_WIDTH) {
            line[SURFACE_WIDTH - 1] = white;
            painted = true;
        }
    }
    bool painted = false;
};

} // namespace
} // namespace zepha

// ---- State ----

uint32_t g_surface_pixels[SURFACE_WIDTH * SURFACE_HEIGHT] = {};

namespace zepha {
namespace {

// The surface holds exactly what erase_surface leaves, nothing drawn on it since.
bool surface_just_erased = false;
// The rows of the ovals of the sizes drawn last: a program redrawing its picture draws the same
// ovals at every event.
RasterOvalRows known_ovals;

} // namespace

// ---- Internal functions ----

namespace {

// Logical to surface coordinates, in 64 bits, as the Windows renderer maps them.
int64_t limited(int64_t value) {
    return std::min(std::max(value, -RASTER_COORDINATE_LIMIT), RASTER_COORDINATE_LIMIT);
}
RasterPoint surface_point(int64_t x, int64_t y) {
    return {g_origin_x + limited(x), g_origin_y - limited(y)};
}

} // namespace

PixelSurface surface_memory() {
    return {g_surface_pixels, SURFACE_WIDTH, SURFACE_HEIGHT};
}

void software::render_item(const DrawItem &item) {
    PixelSurface surface = surface_memory();
    const ColorValue color = color_table[item.color];
    if (item.kind == ITEM_TEXT) {
        if (const char *text = lock_text_block(item.text_block)) {
            paint_text(surface, g_origin_x, g_origin_y, color, static_cast<int>(item.x2), item.x1,
                       item.y1, text);
            unlock_text_block(item.text_block);
        }
        surface_just_erased = false;
    } else if (item.kind >= ITEM_TRIANGLE && item.kind <= ITEM_PIXEL) {
        const RasterPoint points[3] = {surface_point(item.x1, item.y1),
                                       surface_point(item.x2, item.y2),
                                       surface_point(item.x3, item.y3)};
        // A white shape on a surface just erased (the editor's background, say) changes at
        // most the border: the rest of its pixels are white already.
        if (surface_just_erased && color == color_table[WHITE]) {
            BorderPainter painter;
            paint_shape_spans(item.kind, item.width, points, {SURFACE_WIDTH, SURFACE_HEIGHT},
                              painter, &known_ovals);
            surface_just_erased = !painter.painted;
        } else {
            paint_shape(surface, item.kind, color, item.width, points, &known_ovals);
            surface_just_erased = false;
        }
    }
    g_surface_dirty = 1;
}

// A white surface inside a one-pixel black border: the rows between the top and bottom edges
// filled white in one pass, then their first and last pixels made black. Testing every pixel
// for the border made this eight times slower in WebAssembly, and it runs at every redraw.
void software::erase_surface() {
    const uint32_t black = color_table[BLACK], white = color_table[WHITE];
    uint32_t *const last_row = g_surface_pixels + (SURFACE_HEIGHT - 1) * SURFACE_WIDTH;
    fill_pixels(g_surface_pixels, SURFACE_WIDTH, black);
    fill_pixels(g_surface_pixels + SURFACE_WIDTH, (SURFACE_HEIGHT - 2) * SURFACE_WIDTH, white);
    for (uint32_t *line = g_surface_pixels + SURFACE_WIDTH; line < last_row;
         line += SURFACE_WIDTH) {
        line[0] = black;
        line[SURFACE_WIDTH - 1] = black;
    }
    fill_pixels(last_row, SURFACE_WIDTH, black);
    surface_just_erased = true;
}

// Texts on their way to the renderer, and log messages, live on the heap.
TextBlock new_text_block(const char *text, size_t length) {
    char *block = new (std::nothrow) char[length + 1];
    if (block == nullptr)
        return nullptr;
    std::copy(text, text + length, block);
    block[length] = '\0';
    return block;
}

const char *lock_text_block(TextBlock block) {
    return block;
}

void unlock_text_block(TextBlock) {}

void free_text_block(TextBlock block) {
    delete[] block;
}

} // namespace zepha
