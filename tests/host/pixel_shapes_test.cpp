// The software shapes on the host, under the sanitizers: the pen's disc row by row against the
// platform's region walk it stands for, at every width the computation changes method, and
// hostile arguments, which must finish and stay within the surface.
#include "runtime/pure/pixel_shapes.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

using namespace zepha;

namespace {

// The platform's elliptic region of a pen's box, w by w, step by step: for each row from the
// middle down, the columns it loses at either end. In 128 bits, as the walk's terms outgrow 64
// bits from about 2^20.
std::vector<int64_t> region_insets(int64_t w) {
    using Big = __int128;
    const Big a = w - 1, b = w - 1, asq = 8 * a * a, bsq = 8 * b * b;
    Big dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2), err = dx + dy + a * a * (b % 2);
    std::vector<int64_t> insets(static_cast<size_t>(w - w / 2), -1);
    int64_t x = 0, y = w / 2;
    insets[0] = 0;
    while (x <= w / 2) {
        const Big e2 = 2 * err;
        if (e2 >= dx) {
            x++;
            err += dx += bsq;
        }
        if (e2 <= dy) {
            y++;
            err += dy += asq;
            if (y < w)
                insets[static_cast<size_t>(y - w / 2)] = x;
        }
    }
    return insets;
}

} // namespace

TEST(PixelShapes, PenDiscRowsFollowTheRegionWalk) {
    std::vector<int64_t> widths;
    for (int64_t w = 2; w <= 64; w++)
        widths.push_back(w);
    // Either side of 2^19, where the rows stop being computed ahead, and far beyond it.
    for (int64_t w : {1023, 1024, 1025, 524287, 524288, 524289, 524290, 3000001, 10000000})
        widths.push_back(w);
    for (int64_t w : widths) {
        const std::vector<int64_t> insets = region_insets(w);
        const RasterPen pen(static_cast<int>(w));
        ASSERT_EQ(-(w / 2), pen.top());
        const int64_t step = w <= 4096 ? 1 : w / 997;
        for (int64_t i = 0; i < w; i += (i < 40 || w - i < 40 ? 1 : step)) {
            const int64_t y = i >= w / 2 ? i : w - 1 - i;
            const int64_t inset = insets[static_cast<size_t>(y - w / 2)];
            ASSERT_GE(inset, 0) << "the walk reaches every row of a pen's disc, width " << w;
            int64_t left, right;
            pen.row(pen.top() + i, left, right);
            ASSERT_EQ(-(w / 2) + inset, left) << "width " << w << ", row " << i;
            ASSERT_EQ((w + 1) / 2 - inset, right) << "width " << w << ", row " << i;
        }
    }
}

// Coordinates at and past the ends of the 64-bit range, pens up to INT_MAX and below zero,
// unknown kinds, surfaces down to nothing: every call returns and paints only its surface,
// which is fenced by pixels that must stay untouched.
TEST(PixelShapes, HostileArgumentsStayWithinTheSurface) {
    const int64_t big = INT64_MAX, small = INT64_MIN, limit = RASTER_COORDINATE_LIMIT;
    const int64_t values[] = {small, -limit - 5, -(int64_t(1) << 31), -40000, -3, 0, 7,
                              300,   40000,      limit + 9,           big};
    const int pens[] = {INT_MIN, -3, 0, 1, 2, 7, 1025, 70000, 10000000, INT_MAX};
    const uint32_t fence = 0xdeadbeef;
    std::vector<uint32_t> memory;
    unsigned calls = 0;
    for (const auto &size : {std::pair<int, int>{601, 540}, {61, 54}, {1, 1}, {0, 5}}) {
        const size_t count = static_cast<size_t>(size.first) * static_cast<size_t>(size.second);
        memory.assign(count + 2, fence);
        PixelSurface surface = {memory.data() + 1, size.first, size.second};
        for (int kind = -1; kind <= 6; kind++)
            for (int pen : pens)
                for (int64_t u : values)
                    for (int64_t v : {small, int64_t(-9), int64_t(20), big}) {
                        const RasterPoint points[3] = {
                            {u, v}, {v, u}, {u / 2 + 3, v == small ? big : -v}};
                        paint_shape(surface, kind, 0x123456, pen, points);
                        calls++;
                    }
        EXPECT_EQ(fence, memory.front());
        EXPECT_EQ(fence, memory.back());
    }
    EXPECT_EQ(4u * 8u * 10u * 11u * 4u, calls);
    PixelSurface none = {nullptr, 10, 10};
    const RasterPoint origin[3] = {{0, 0}, {5, 5}, {0, 5}};
    paint_shape(none, 0, 0, 0, origin);
}
