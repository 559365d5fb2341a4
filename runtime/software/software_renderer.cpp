// The renderer of platforms that draw in software: one DrawItem onto the surface in memory, with
// the pixels the Windows build's GDI calls give the same item.
#include "runtime/software/software_surface.h"

#include <algorithm>
#include <new>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#endif

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

namespace zepha {
namespace {

// The surface until it is first drawn on: black, as the surface starts.
uint32_t initial_pixels[SURFACE_WIDTH * SURFACE_HEIGHT] = {};
bool surface_placed = false; // g_surface_pixels is where the surface is drawn

} // namespace
} // namespace zepha

uint32_t *g_surface_pixels = zepha::initial_pixels;

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

// Where the surface is drawn, chosen when it is first drawn on. On Linux, a 2 MiB page of its own
// where the system gives one on request (transparent huge pages): its first erase then takes one
// page fault rather than the 317 of small pages, which were a tenth of a short headless replay
// (measured). Elsewhere, or without such a page, the initial pixels. Nothing but this renderer
// writes the surface, so nothing is on it yet: the new page is as black as the initial pixels.
void place_surface() {
    surface_placed = true;
#if defined(__linux__) && !defined(__EMSCRIPTEN__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t SURFACE_PAGE = uintptr_t{2} << 20;
    static_assert(sizeof initial_pixels <= SURFACE_PAGE, "the surface fits in one page");
    void *const mapped =
        mmap(nullptr, 2 * SURFACE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return;
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t page = (start + SURFACE_PAGE - 1) & ~(SURFACE_PAGE - 1);
    if (page > start)
        munmap(mapped, page - start);
    if (page + SURFACE_PAGE < start + 2 * SURFACE_PAGE)
        munmap(reinterpret_cast<void *>(page + SURFACE_PAGE), start + SURFACE_PAGE - page);
    madvise(reinterpret_cast<void *>(page), SURFACE_PAGE, MADV_HUGEPAGE);
    g_surface_pixels = reinterpret_cast<uint32_t *>(page);
#endif
}

// Logical to surface coordinates, in 64 bits, as the Windows renderer maps them.
int64_t limited(int64_t value) {
    return std::min(std::max(value, -RASTER_COORDINATE_LIMIT), RASTER_COORDINATE_LIMIT);
}
RasterPoint surface_point(int64_t x, int64_t y) {
    return {g_origin_x + limited(x), g_origin_y - limited(y)};
}

} // namespace

PixelSurface surface_memory() {
    if (!surface_placed)
        place_surface();
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
    if (!surface_placed)
        place_surface();
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
