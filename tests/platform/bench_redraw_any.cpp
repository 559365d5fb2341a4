// Times one full redraw of the editor (clear, palette, every shape) with 0 to 10,000 shapes on
// the platform it is built for, so that the platforms' figures can be set side by side. Prints
// the medians; it never passes or fails.
#include <chrono>
#include <cstdio>

#include "editor/editor_state.h"
#include "runtime/graphics_runtime.h"
#include "tests/editor/bench_plan.h"

int app_main() {
    GraphicsDisplay display;
    printf("%8s %6s %12s\n", "shapes", "runs", "redraw ms");
    for (int count : {0, 100, 1000, 10000}) {
        ShapeList list;
        bench::fill_list(list, bench::plan_shapes(count));
        const int runs = count <= 100 ? 201 : count <= 1000 ? 51 : 15;
        std::vector<double> times;
        redraw(display, list); // once first, to warm up
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            redraw(display, list);
            ZEPHA_present();
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        printf("%8d %6d %12.3f\n", count, runs, bench::median(times));
        fflush(stdout);
    }
    return 0;
}
