// The far-out pixel geometry on the host, under the sanitizers: the oval rows computed row by
// row against the incremental walk they stand for, and coordinates at the ends of the range.
#include "runtime/pure/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

using namespace zepha;

namespace {

using Pixels = std::set<std::pair<int64_t, int64_t>>; // (row, column)

using Rows = std::map<int64_t, std::pair<int64_t, int64_t>>; // row: [left, right)

class Collect final : public SpanSink {
  public:
    Pixels pixels;
    Rows rows;
    int64_t spans = 0;
    bool keep_pixels = true;
    void span(int64_t row, int64_t left, int64_t right) override {
        spans++;
        rows[row] = {left, right};
        if (keep_pixels)
            for (int64_t x = left; x < right; x++)
                pixels.insert({row, x});
    }
};

// The incremental walk over a w by h box, step by step: the pixels of its outline, and the
// rows of the filled oval (from the outermost pixel of each row to its mirror image).
void walk_oval(int64_t w, int64_t h, Pixels &outline, Rows &filled) {
    const int64_t a = w - 1, b = h - 1;
    auto walk = [&](int64_t stop, auto visit) {
        const int64_t asq = 8 * a * a, bsq = 8 * b * b;
        int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
        int64_t err = dx + dy + a * a * (b % 2);
        int64_t x = a, y = h / 2;
        while (x >= stop) {
            visit(x, y);
            const int64_t e2 = 2 * err;
            if (e2 >= dx) {
                x--;
                err += dx += bsq;
            }
            if (e2 <= dy) {
                y++;
                err += dy += asq;
            }
        }
    };
    walk(w / 2, [&](int64_t x, int64_t y) {
        for (int64_t row : {y, b - y})
            for (int64_t column : {x, a - x})
                outline.insert({row, column});
    });
    std::vector<int64_t> outermost(h, -1);
    walk(a - w / 2, [&](int64_t x, int64_t y) {
        if (y <= b && outermost[y] < 0)
            outermost[y] = x;
    });
    for (int64_t y = h / 2; y <= b; y++)
        if (outermost[y] >= 0 && a - outermost[y] <= outermost[y])
            for (int64_t row : {y, b - y})
                filled[row] = {a - outermost[y], outermost[y] + 1};
}

} // namespace

TEST(Raster, OvalRowsMatchTheStepByStepWalk) {
    const RasterClip clip = {1 << 20, 1 << 20};
    std::vector<std::pair<int64_t, int64_t>> sizes;
    for (int64_t w = 3; w <= 40; w++)
        for (int64_t h = 3; h <= 40; h++)
            sizes.push_back({w, h});
    std::mt19937 random(15);
    for (int i = 0; i < 40; i++)
        sizes.push_back({3 + random() % 3000, 3 + random() % 3000});
    for (const auto &[w, h] : sizes) {
        // Rows the walk never reaches are left out of the reference: the platform leaves them
        // undefined, and only boxes a few pixels wide have them.
        Pixels outline;
        Rows filled;
        walk_oval(w, h, outline, filled);
        Collect drawn_outline, drawn_filled;
        drawn_filled.keep_pixels = false;
        raster_oval({0, 0, w, h}, true, clip, drawn_outline);
        raster_oval({0, 0, w, h}, false, clip, drawn_filled);
        EXPECT_EQ(outline, drawn_outline.pixels) << w << " x " << h;
        for (const auto &[row, span] : filled)
            EXPECT_EQ(span, drawn_filled.rows[row]) << w << " x " << h << ", row " << row;
        if (w >= 8)
            EXPECT_EQ(filled.size(), drawn_filled.rows.size()) << w << " x " << h;
    }
}

// Coordinates at the limit of the range: no overflow (the sanitizers would stop the run), and
// the clip's rows are all that is computed.
TEST(Raster, ShapesAtTheEndsOfTheRange) {
    const RasterClip clip = {601, 540};
    const int64_t limit = RASTER_COORDINATE_LIMIT;

    Collect oval;
    raster_oval({-limit, -limit, limit, limit}, false, clip, oval);
    EXPECT_EQ(601u * 540u, oval.pixels.size()) << "a box of 2^41 covers the surface";
    EXPECT_EQ(540, oval.spans) << "one span a row";
    Collect edge;
    raster_oval({-limit, -limit, limit, limit}, true, clip, edge);
    EXPECT_TRUE(edge.pixels.empty());
    Collect side;
    raster_oval({0, -limit, limit, limit}, true, clip, side); // leftmost column in the clip
    for (int64_t row = 0; row < 540; row++)
        EXPECT_TRUE(side.pixels.count({row, 0})) << row;
    EXPECT_EQ(540u, side.pixels.size());

    Collect line;
    raster_line({-limit, -limit}, {limit, limit}, clip, line);
    EXPECT_EQ(540u, line.pixels.size());
    EXPECT_TRUE(line.pixels.count({100, 100}));

    const RasterPoint triangle[3] = {{-limit, -limit}, {limit, limit}, {-limit, limit}};
    Collect fill;
    raster_polygon(triangle, 3, clip, fill);
    EXPECT_TRUE(fill.pixels.count({539, 0}));
    EXPECT_FALSE(fill.pixels.count({0, 539}));

    RasterPoint band[4];
    raster_wide_segment({-limit, 300}, {limit, 301}, 1 << 20, band);
    Collect wide;
    raster_polygon(band, 4, clip, wide);
    EXPECT_EQ(601u * 540u, wide.pixels.size()) << "a band a million pixels wide covers it";
}
