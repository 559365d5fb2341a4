// Times each kind of shape, 20 by 20 pixels about the surface's middle, drawn with a pen of
// 10^7 pixels and, beside it, with a pen of 5: through render_item onto the surface and through
// paint_shape into memory, measured alternately in one run. With --platform it also times the
// 10^7 rectangle drawn by the platform with the whole pen, as render_item drew it before it
// narrowed such pens (over a minute). Prints milliseconds and ratios; it never passes or fails.
#include "runtime/pure/pixel_shapes.h"
#include "platform/win32/win32_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace zepha;

namespace {

double now_ms() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

DrawItem shape(int kind, int pen) {
    return {kind, RED, pen, -10, 10, 9, -9, 9, 10, nullptr};
}

// The median of five timings of one drawing.
template <typename Draw> double median_ms(Draw draw) {
    std::vector<double> times;
    for (int i = 0; i < 5; i++) {
        const double start = now_ms();
        draw();
        times.push_back(now_ms() - start);
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

} // namespace

int main(int argc, char **argv) {
    ZEPHA_start_windows(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    ZEPHA_set_logging(0);
    std::vector<uint32_t> memory(SURFACE_WIDTH * SURFACE_HEIGHT);
    PixelSurface surface = {memory.data(), SURFACE_WIDTH, SURFACE_HEIGHT};
    const char *const names[] = {"triangle", "rectangle", "oval", "line"};
    std::printf("%-10s %14s %14s %14s %14s\n", "pen 10^7", "render_item", "(pen 5)", "paint_shape",
                "(pen 5)");
    for (int kind = ITEM_TRIANGLE; kind <= ITEM_LINE; kind++) {
        const DrawItem wide = shape(kind, 10000000), narrow = shape(kind, 5);
        auto render = [](const DrawItem &item) { return [&item] { render_item(item); }; };
        auto paint = [&](const DrawItem &item) {
            return [&item, &surface] {
                const RasterPoint points[3] = {{g_origin_x + item.x1, g_origin_y - item.y1},
                                               {g_origin_x + item.x2, g_origin_y - item.y2},
                                               {g_origin_x + item.x3, g_origin_y - item.y3}};
                paint_shape(surface, item.kind, color_table[item.color], item.width, points);
            };
        };
        const double rw = median_ms(render(wide)), rn = median_ms(render(narrow));
        const double pw = median_ms(paint(wide)), pn = median_ms(paint(narrow));
        std::printf("%-10s %11.3f ms %11.3f ms %11.3f ms %11.3f ms   ratios %.1f, %.1f\n",
                    names[kind], rw, rn, pw, pn, rw / std::max(rn, 0.001),
                    pw / std::max(pn, 0.001));
    }
    if (argc > 1 && std::strcmp(argv[1], "--platform") == 0) {
        const double start = now_ms();
        HPEN pen = CreatePen(PS_SOLID, 10000000, RGB(255, 0, 0));
        HGDIOBJ old_pen = SelectObject(g_surface_dc, pen);
        HGDIOBJ old_brush = SelectObject(g_surface_dc, GetStockObject(NULL_BRUSH));
        Rectangle(g_surface_dc, g_origin_x - 10, g_origin_y - 10, g_origin_x + 10, g_origin_y + 10);
        SelectObject(g_surface_dc, old_brush);
        DeleteObject(SelectObject(g_surface_dc, old_pen));
        std::printf("rectangle, pen 10^7, the platform's own pen: %.0f ms\n", now_ms() - start);
    }
    ZEPHA_stop_windows();
    return 0;
}
