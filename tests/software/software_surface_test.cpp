// The renderer's shortcuts leave the pixels the plain way gives: white shapes on a surface just
// erased paint only the border they cover; ovals are computed a walked row at a time for the row
// and its mirror image in the clip, and their rows are kept by size between shapes.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "runtime/pure/pixel_shapes.h"
#include "runtime/pure/raster.h"
#include "runtime/software/software_surface.h"

using namespace zepha;

namespace {

DrawItem shape(int kind, int color, int width, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
               int64_t x3 = 0, int64_t y3 = 0) {
    DrawItem item = {};
    item.kind = kind;
    item.color = color;
    item.width = width;
    item.x1 = x1;
    item.y1 = y1;
    item.x2 = x2;
    item.y2 = y2;
    item.x3 = x3;
    item.y3 = y3;
    return item;
}

// The item painted whole onto a surface in memory, as the renderer does without shortcuts.
void paint_whole(std::vector<uint32_t> &pixels, const DrawItem &item) {
    PixelSurface surface = {pixels.data(), SURFACE_WIDTH, SURFACE_HEIGHT};
    const RasterPoint points[3] = {{g_origin_x + item.x1, g_origin_y - item.y1},
                                   {g_origin_x + item.x2, g_origin_y - item.y2},
                                   {g_origin_x + item.x3, g_origin_y - item.y3}};
    paint_shape(surface, item.kind, color_table[item.color], item.width, points);
}

// The first pixel where the surface differs from the expected picture, or "none".
std::string first_difference(const std::vector<uint32_t> &expected) {
    for (int i = 0; i < SURFACE_WIDTH * SURFACE_HEIGHT; i++)
        if (g_surface_pixels[i] != expected[i])
            return "(" + std::to_string(i % SURFACE_WIDTH) + ", " +
                   std::to_string(i / SURFACE_WIDTH) + "): expected " +
                   std::to_string(expected[i]) + ", got " + std::to_string(g_surface_pixels[i]);
    return "none";
}

using Pixels = std::set<std::pair<int64_t, int64_t>>; // (row, column)

class Collect final : public SpanSink {
  public:
    Pixels pixels;
    std::vector<std::tuple<int64_t, int64_t, int64_t>> spans;
    void span(int64_t row, int64_t left, int64_t right) override {
        spans.emplace_back(row, left, right);
        for (int64_t x = left; x < right; x++)
            pixels.insert({row, x});
    }
};

} // namespace

TEST(SoftwareSurface, WhiteShapesOnAnErasedSurfaceLeaveTheWholePaintsPixels) {
    g_origin_x = 297; // the centre of the client area, as the platforms set it
    g_origin_y = 248;
    const std::vector<std::vector<DrawItem>> sequences = {
        // The editor's background: over the left and top edges of the border.
        {shape(ITEM_RECTANGLE, WHITE, 0, -300, 250, 300, -250)},
        // Over every edge, and inside them all (nothing to paint, so the next one is skipped too).
        {shape(ITEM_RECTANGLE, WHITE, 0, -100, 100, 100, -100),
         shape(ITEM_RECTANGLE, WHITE, 0, -400, 400, 400, -400)},
        // Outlines, a wide pen, an oval across a corner, a triangle, a pixel on the border.
        {shape(ITEM_RECTANGLE, WHITE, 5, -299, 249, 305, -293)},
        {shape(ITEM_LINE, WHITE, 30, 250, 0, 350, 40)},
        {shape(ITEM_OVAL, WHITE, 0, 250, -250, 350, -330)},
        {shape(ITEM_OVAL, WHITE, 3, -330, 290, -250, 230)},
        {shape(ITEM_TRIANGLE, WHITE, 0, -320, 0, 0, 300, 0, -300)},
        {shape(ITEM_PIXEL, WHITE, 0, -297, 0, 0, 0)},
        // Once something else is drawn, white is painted whole again.
        {shape(ITEM_RECTANGLE, RED, 0, -50, 50, 50, -50),
         shape(ITEM_RECTANGLE, WHITE, 0, -300, 250, 300, -250)},
    };
    for (size_t s = 0; s < sequences.size(); s++) {
        software::erase_surface();
        std::vector<uint32_t> expected(g_surface_pixels,
                                       g_surface_pixels + SURFACE_WIDTH * SURFACE_HEIGHT);
        for (const DrawItem &item : sequences[s]) {
            software::render_item(item);
            paint_whole(expected, item);
        }
        EXPECT_EQ("none", first_difference(expected)) << "sequence " << s;
    }
}

// Each oval row comes from its walked row, shared with its mirror image: boxes across every
// edge of the clip give the pixels of the whole oval that lie inside the clip.
TEST(SoftwareSurface, OvalsAcrossTheClipsEdgesAreTheWholeOvalsPixelsInside) {
    const RasterClip clip = {60, 50}, open = {1 << 20, 1 << 20};
    const int64_t far = 1000; // moves the whole oval well inside the open clip
    for (const auto &[w, h] : std::vector<std::pair<int64_t, int64_t>>{
             {3, 3}, {8, 5}, {41, 31}, {40, 30}, {17, 90}, {120, 33}, {75, 75}})
        for (int64_t left = -w; left <= clip.width; left += 7)
            for (int64_t top = -h; top <= clip.height; top += 5)
                for (const bool outline : {false, true}) {
                    Collect clipped, whole;
                    raster_oval({left, top, left + w, top + h}, outline, clip, clipped);
                    raster_oval({left + far, top + far, left + far + w, top + far + h}, outline,
                                open, whole);
                    Pixels inside;
                    for (const auto &[row, column] : whole.pixels)
                        if (row - far >= 0 && row - far < clip.height && column - far >= 0 &&
                            column - far < clip.width)
                            inside.insert({row - far, column - far});
                    ASSERT_EQ(inside, clipped.pixels)
                        << w << " x " << h << " at (" << left << ", " << top << ")"
                        << (outline ? ", outline" : ", filled");
                }
}

// Rows kept by size give the spans the walk gives, wherever the box is and whichever sizes came
// between (more than are kept, so sizes are replaced and walked again), and a box too tall to
// keep is walked each time.
TEST(SoftwareSurface, OvalsFromKnownRowsAreTheOvalsWalked) {
    const RasterClip clip = {601, 540};
    RasterOvalRows known;
    std::vector<std::pair<int64_t, int64_t>> sizes;
    for (int64_t i = 0; i < RASTER_KNOWN_OVALS + 3; i++)
        sizes.push_back({3 + 9 * i, 40 - 3 * i});
    sizes.push_back({50, RASTER_KNOWN_OVAL_ROWS + 1});
    for (int round = 0; round < 3; round++)
        for (const auto &[w, h] : sizes)
            for (const int64_t left : {int64_t(-20), int64_t(280), int64_t(590)})
                for (const int64_t top : {int64_t(-15), int64_t(250), int64_t(530)})
                    for (const bool outline : {false, true}) {
                        Collect walked, kept;
                        const RasterBox box = {left, top, left + w, top + h};
                        raster_oval(box, outline, clip, walked);
                        raster_oval(box, outline, clip, kept, &known);
                        ASSERT_EQ(walked.spans, kept.spans)
                            << w << " x " << h << " at (" << left << ", " << top << ")"
                            << (outline ? ", outline" : ", filled") << ", round " << round;
                    }
}
