// Times paint_shape natively for each kind of shape, 20 by 20 pixels about the middle of a
// surface of the runtime's size, with a pen of 10^7 pixels beside a pen of 5. Built without the
// sanitizers by scripts/bench; prints milliseconds and ratios, never passes or fails.
#include "runtime/pure/pixel_shapes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace zepha;

namespace {

template <typename Draw> double median_ms(Draw draw) {
    std::vector<double> times;
    for (int i = 0; i < 5; i++) {
        const auto start = std::chrono::steady_clock::now();
        draw();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

} // namespace

int main() {
    const int width = 601, height = 540, x = 300, y = 270;
    std::vector<uint32_t> memory(width * height);
    PixelSurface surface = {memory.data(), width, height};
    const RasterPoint points[3] = {{x - 10, y - 10}, {x + 9, y + 9}, {x + 9, y - 10}};
    const char *const names[] = {"triangle", "rectangle", "oval", "line"};
    std::printf("%-10s %14s %14s\n", "paint_shape", "pen 10^7", "pen 5");
    for (int kind = 0; kind <= 3; kind++) {
        const double wide = median_ms([&] { paint_shape(surface, kind, 255, 10000000, points); });
        const double narrow = median_ms([&] { paint_shape(surface, kind, 255, 5, points); });
        std::printf("%-10s %11.3f ms %11.3f ms   ratio %.1f\n", names[kind], wide, narrow,
                    wide / std::max(narrow, 0.001));
    }
    return 0;
}
