// How often this machine fills the runtime's surface (601 x 540 pixels of 32 bits) twice, the
// least an editor redraw that erases the surface and then fills its drawing area costs: with
// std::fill, the plain way, and with the runtime's fill_pixels. The plain fills are taken twice:
// black then white, where the compiler makes the black fill a call to memset, and white twice,
// where it stores the pixels with its own loop (slower here). Built and run by
// scripts/bench-playback beside the playback it compares with; prints figures only:
//   two-fills-per-second BLACK_WHITE WHITE_WHITE FILL_PIXELS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "runtime/pure/pixel_shapes.h"

namespace {

constexpr int WIDTH = 601, HEIGHT = 540, PIXELS = WIDTH * HEIGHT;
uint32_t surface[PIXELS];

// Two fills, the second over all of the first. The barriers keep the compiler from dropping
// the first as overwritten.
__attribute__((noinline)) void black_white_fills() {
    std::fill(surface, surface + PIXELS, 0u);
    asm volatile("" ::: "memory");
    std::fill(surface, surface + PIXELS, 0xffffffu);
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void white_white_fills() {
    std::fill(surface, surface + PIXELS, 0xffffffu);
    asm volatile("" ::: "memory");
    std::fill(surface, surface + PIXELS, 0xffffffu);
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void runtime_fills() {
    zepha::fill_pixels(surface, PIXELS, 0u);
    asm volatile("" ::: "memory");
    zepha::fill_pixels(surface, PIXELS, 0xffffffu);
    asm volatile("" ::: "memory");
}

// Pairs of fills a second over `seconds`.
template <typename Fills> double rate(Fills fills, double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    long pairs = 0;
    double elapsed = 0;
    do {
        for (int i = 0; i < 20; i++)
            fills();
        pairs += 20;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return pairs / elapsed;
}

} // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? atof(argv[1]) : 0.5;
    const double black_white = rate(black_white_fills, seconds);
    const double white_white = rate(white_white_fills, seconds);
    const double runtime = rate(runtime_fills, seconds);
    printf("two-fills-per-second %.0f %.0f %.0f\n", black_white, white_white, runtime);
    return 0;
}
