// Drawing primitives on the surface in memory: exact pixel geometry, shapes far out, and the
// warnings and description lines in the log.
#include "tests/host/runtime/runtime_checks.h"

#include <algorithm>
#include <climits>

#include "runtime/software/software_surface.h"

namespace {

class Drawing : public StartedRuntime {
  protected:
    void SetUp() override {
        StartedRuntime::SetUp();
        ZEPHA_set_logging(0);
        ZEPHA_erase();
    }
};

// Pixels of the colour inside the logical box (left, top)-(right, bottom).
int count(uint32_t color, int left, int top, int right, int bottom) {
    int n = 0;
    for (int x = left; x <= right; x++)
        for (int y = bottom; y <= top; y++)
            n += pixel_at(x, y) == color;
    return n;
}

// Pixels of the colour on the whole surface.
int surface_count(uint32_t color) {
    return static_cast<int>(
        std::count(g_surface_pixels, g_surface_pixels + SURFACE_WIDTH * SURFACE_HEIGHT, color));
}

std::vector<uint32_t> surface_pixels() {
    return {g_surface_pixels, g_surface_pixels + SURFACE_WIDTH * SURFACE_HEIGHT};
}

// The smallest logical box holding every pixel of the colour around the origin, as
// {left, top, right, bottom}.
std::vector<int> extent(uint32_t color) {
    std::vector<int> box = {1000, -1000, -1000, 1000};
    for (int x = -60; x <= 60; x++)
        for (int y = -60; y <= 60; y++)
            if (pixel_at(x, y) == color)
                box = {std::min(box[0], x), std::max(box[1], y), std::max(box[2], x),
                       std::min(box[3], y)};
    return box;
}

const int SURFACE_PIXELS = SURFACE_WIDTH * SURFACE_HEIGHT;
const int BORDER_PIXELS = 2 * (SURFACE_WIDTH + SURFACE_HEIGHT) - 4;

} // namespace

TEST_F(Drawing, ShapesCoverExactlyTheirBoxes) {
    ZEPHA_draw_rectangle(BLUE, 0, 0, 0, 0, 0);
    EXPECT_EQ(1, count(BLUE_VALUE, -5, 5, 5, -5));
    ZEPHA_draw_circle(RED, 3, 3, 0);
    EXPECT_EQ(1, count(RED_VALUE, -5, 5, 5, -5)) << "radius 0 is one pixel";
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, 0, 5, 0, -4, 0);
    EXPECT_EQ(10, count(BLUE_VALUE, -5, 10, 5, -10)) << "a one-column rectangle";
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, 10, -10, -10, 10, 0);
    EXPECT_EQ(21 * 21, count(BLUE_VALUE, -30, 30, 30, -30)) << "corners in either order";
    EXPECT_EQ((std::vector<int>{-10, 10, 10, -10}), extent(BLUE_VALUE));

    ZEPHA_erase();
    ZEPHA_draw_oval(BLUE, -20, 10, 20, -10, 0);
    EXPECT_EQ((std::vector<int>{-20, 10, 20, -10}), extent(BLUE_VALUE));
    EXPECT_EQ(WHITE_VALUE, pixel_at(-20, 10)) << "an oval leaves its box's corners";
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -20, 20, 20, -20, 3);
    EXPECT_EQ(0, count(BLUE_VALUE, -15, 15, 15, -15)) << "an outline leaves the interior";
}

TEST_F(Drawing, EraseLeavesAWhiteSurfaceInsideABlackBorder) {
    ZEPHA_draw_rectangle(RED, -100, 100, 100, -100, 0);
    g_surface_dirty = 0;
    ZEPHA_erase();
    EXPECT_EQ(1, g_surface_dirty);
    EXPECT_EQ(SURFACE_PIXELS - BORDER_PIXELS, surface_count(WHITE_VALUE));
    EXPECT_EQ(BORDER_PIXELS, surface_count(BLACK_VALUE));
    for (int x : {0, 300, 600})
        for (int y : {0, 270, 539})
            EXPECT_EQ(x == 300 && y == 270 ? WHITE_VALUE : BLACK_VALUE,
                      g_surface_pixels[y * SURFACE_WIDTH + x])
                << x << "," << y;
}

TEST_F(Drawing, TwoLineTextPutsItsFirstLineAboveTheRowOfY) {
    ZEPHA_draw_text(BLACK, -50, 0, 20, "HH\nHH");
    int first_row = 1000, last_row = -1000;
    for (int y = -60; y <= 60; y++)
        for (int x = -50; x < 0; x++)
            if (pixel_at(x, y) == BLACK_VALUE) {
                first_row = std::min(first_row, y);
                last_row = std::max(last_row, y);
            }
    EXPECT_GT(last_row, 0) << "first line above the row of y";
    EXPECT_LT(first_row, 0) << "second line below it";
    EXPECT_LE(last_row, 20);
}

TEST_F(Drawing, ReturnValuesAndTheDirtyFlag) {
    g_surface_dirty = 0;
    EXPECT_EQ(1, ZEPHA_draw_text(BLACK, 0, 0, 12, ""));
    EXPECT_EQ(1, g_surface_dirty) << "even an empty text marks the surface";
    EXPECT_EQ(7, ZEPHA_draw_textf(BLACK, 0, 0, 12, "%d-%s", 123, "abc"));
    EXPECT_EQ(1, ZEPHA_draw_text(BLACK, 0, 0, 12, nullptr));
    const std::string long_text(3000, 'w');
    EXPECT_EQ(1023, ZEPHA_draw_textf(BLACK, 0, 0, 12, "%s", long_text.c_str()));
    g_surface_dirty = 0;
    DrawItem odd = {};
    odd.kind = 9;
    render_item(odd);
    EXPECT_EQ(1, g_surface_dirty);

    // Present copies only a dirty surface, and the copy clears the flag.
    ZEPHA_present();
    EXPECT_EQ(0, g_surface_dirty);
    ZEPHA_draw_rectangle(BLUE, 0, 0, 3, 3, 0);
    EXPECT_EQ(1, g_surface_dirty);
    ZEPHA_present();
    EXPECT_EQ(0, g_surface_dirty);
}

TEST_F(Drawing, WarningsComeInEachPrimitivesOrderLoggingOnOrOff) {
    const size_t before = log_ring().size();
    ZEPHA_draw_rectangle(99, -5, 5, 5, -5, -2);
    ZEPHA_draw_oval(99, -5, 5, 5, -5, -2);
    ZEPHA_draw_circle(BLUE, 0, 0, -5);
    ZEPHA_draw_text(BLUE, 0, 0, -200, "x");
    ZEPHA_draw_text(BLUE, 0, 0, 127, "x");
    EXPECT_EQ(RED, check_color(-1));
    EXPECT_EQ(23, check_color(23));
    const std::vector<std::string> expected = {
        "Illegal color 99; using RED.\n",
        "Width of -2 not possible, using width 2\n",
        "Width of -2 not possible, using width 2\n",
        "Illegal color 99; using RED.\n",
        "Radius of -5 not possible, using radius 5\n",
        "ptsize of -200 not possible, using ptsize 200\n",
        "ptsize of 200 not possible, using ptsize 127\n",
        "Illegal color -1; using RED.\n",
    };
    EXPECT_EQ(expected, last_log_lines(expected.size()));
    EXPECT_EQ(before + expected.size(), log_ring().size());
    EXPECT_EQ(RED_VALUE, pixel_at(-5, 5)) << "the bad colour draws in red";
}

TEST_F(Drawing, DescriptionLinesWithLoggingOn) {
    ZEPHA_set_logging(1);
    ZEPHA_draw_rectangle(BLUE, 10, -10, -10, 10, 0);
    ZEPHA_draw_rectangle(RED, 1, 2, 3, 4, 2);
    ZEPHA_draw_oval(GRAY_50, 5, 6, 7, 8, 0);
    ZEPHA_draw_oval(NAVY_BLUE, 8, 7, 6, 5, 3);
    ZEPHA_draw_circle(YELLOW, 10, 20, 5);
    ZEPHA_draw_text(GREEN, -3, 4, 12, "50% \"done\"");
    ZEPHA_draw_textf(BLACK, 1, 1, 9, "n=%d", 5);
    ZEPHA_present();
    ZEPHA_erase();
    const std::vector<std::string> expected = {
        "blue rectangle with bounding box (-10,10) to (10,-10), filled\n",
        "red rectangle with bounding box (1,4) to (3,2) with line width 2\n",
        "50% gray oval with bounding box (5,8) to (7,6), filled\n",
        "navy blue oval with bounding box (6,7) to (8,5), line width 3\n",
        "yellow circle at (10,20), radius 5\n",
        "green text at (-3,4), \"50% \"done\"\"\n",
        "black text at (1,1), \"n=5\"\n",
        "Flushing the graphics window\n",
        "Clearing the graphics window\n",
    };
    EXPECT_EQ(expected, last_log_lines(expected.size()));

    ZEPHA_set_logging(0);
    const size_t held = log_ring().size();
    ZEPHA_draw_rectangle(BLUE, 0, 0, 1, 1, 0);
    ZEPHA_present();
    ZEPHA_erase();
    EXPECT_EQ(held, log_ring().size()) << "logging off: no description lines";
}

// ---- Far-out coordinates ----

// Corners near the ends of the int range put the rectangle where its true corners are, not
// mirrored.
TEST_F(Drawing, FarCornersDrawTheVisiblePartOfTheRectangle) {
    for (int far_x : {2147483000, 2147483400, INT_MAX}) {
        ZEPHA_erase();
        ZEPHA_draw_rectangle(BLACK, 0, 0, far_x, -100, 0);
        EXPECT_EQ(101 * (SURFACE_WIDTH - 1 - g_origin_x),
                  surface_count(BLACK_VALUE) - BORDER_PIXELS)
            << far_x;
        EXPECT_EQ(BLACK_VALUE, pixel_at(0, -100)) << far_x;
    }

    // Corners (INT_MAX, INT_MIN) and (0, 0): the lower right quarter, exactly.
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLACK, INT_MAX, INT_MIN, 0, 0, 0);
    int wrong = 0;
    for (int row = 1; row < SURFACE_HEIGHT - 1; row++)
        for (int column = 1; column < SURFACE_WIDTH - 1; column++) {
            const bool inside = column >= g_origin_x && row >= g_origin_y;
            wrong += g_surface_pixels[row * SURFACE_WIDTH + column] !=
                     (inside ? BLACK_VALUE : WHITE_VALUE);
        }
    EXPECT_EQ(0, wrong) << "pixels outside the lower right quarter, or missing from it";

    ZEPHA_draw_rectangle(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0);
    EXPECT_EQ(SURFACE_PIXELS, surface_count(BLUE_VALUE)) << "the whole int range covers it all";

    // An outline: its near edges are drawn with the pen's width, the interior and the far
    // edges stay out of sight.
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -100, 100, INT_MAX, INT_MIN, 3);
    for (int k : {-1, 0, 1}) {
        EXPECT_EQ(BLUE_VALUE, pixel_at(-100 + k, 0)) << k;
        EXPECT_EQ(BLUE_VALUE, pixel_at(0, 100 + k)) << k;
    }
    EXPECT_EQ(WHITE_VALUE, pixel_at(-102, 0));
    EXPECT_EQ(WHITE_VALUE, pixel_at(-98, 0));
    EXPECT_EQ(WHITE_VALUE, pixel_at(200, -200)) << "the interior is left alone";

    // The log still names the corners as given, normalised.
    ZEPHA_set_logging(1);
    ZEPHA_draw_rectangle(BLACK, INT_MAX, INT_MIN, 0, 0, 0);
    ZEPHA_draw_circle(RED, 0, 0, INT_MIN);
    const std::vector<std::string> expected = {
        "black rectangle with bounding box (0,0) to (2147483647,-2147483648), filled\n",
        "Radius of -2147483648 not possible, using radius 2147483647\n",
        "red circle at (0,0), radius 2147483647\n",
    };
    EXPECT_EQ(expected, last_log_lines(expected.size()));
    EXPECT_EQ(SURFACE_PIXELS, surface_count(RED_VALUE)) << "the largest circle covers it all";
}

// Each kind of item with points at and beyond the ends of the int range.
TEST_F(Drawing, EveryKindOfItemAtTheExtremes) {
    // Circles: a radius of INT_MAX covers everything; a billion-pixel circle whose leftmost
    // pixel is the origin shows its edge there.
    ZEPHA_draw_circle(RED, INT_MIN, INT_MIN, INT_MAX);
    EXPECT_EQ(0, surface_count(RED_VALUE)) << "centre far down left: only its far side is near";
    ZEPHA_draw_circle(RED, 1000000000, 0, 1000000000);
    EXPECT_EQ(RED_VALUE, pixel_at(0, 0));
    EXPECT_EQ(WHITE_VALUE, pixel_at(-1, 0));
    EXPECT_EQ(RED_VALUE, pixel_at(1, 100));
    EXPECT_EQ(WHITE_VALUE, pixel_at(-1, 100));
    EXPECT_EQ(RED_VALUE, pixel_at(200, -200));

    // Ovals over the whole int range: filled, everything; outlined, nothing.
    ZEPHA_erase();
    ZEPHA_draw_oval(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0);
    EXPECT_EQ(SURFACE_PIXELS, surface_count(BLUE_VALUE));
    ZEPHA_erase();
    ZEPHA_draw_oval(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 1);
    ZEPHA_draw_oval(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 6);
    EXPECT_EQ(0, surface_count(BLUE_VALUE));

    // A huge outlined oval whose left edge passes the origin shows the same pen marks there as
    // a smaller one.
    for (int pen : {1, 5}) {
        std::vector<uint32_t> rows[2];
        for (int size : {10000, 1000000000}) {
            ZEPHA_erase();
            ZEPHA_draw_oval(BLUE, 0, size, 2 * size, -size, pen);
            for (int x = -8; x <= 8; x++)
                rows[size > 10000].push_back(pixel_at(x, 0));
        }
        EXPECT_EQ(rows[0], rows[1]) << "pen " << pen;
        EXPECT_EQ(BLUE_VALUE, pixel_at(0, 200)) << "pen " << pen;
        EXPECT_EQ(WHITE_VALUE, pixel_at(20, 0)) << "pen " << pen << ": the interior is left alone";
    }

    // Triangle and lines as records: the diagonal y = x through the surface.
    ZEPHA_erase();
    render_item(
        {ITEM_TRIANGLE, RED, 0, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, nullptr});
    EXPECT_EQ(RED_VALUE, pixel_at(-100, 100));
    EXPECT_EQ(RED_VALUE, pixel_at(50, 50)) << "the edge belongs to the triangle";
    EXPECT_EQ(RED_VALUE, pixel_at(49, 50));
    EXPECT_EQ(WHITE_VALUE, pixel_at(50, 49));
    EXPECT_EQ(WHITE_VALUE, pixel_at(100, -100));

    ZEPHA_erase();
    render_item({ITEM_LINE, BLUE, 0, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, nullptr});
    int on_diagonal = 0, off_diagonal = 0;
    for (int k = -200; k <= 200; k++) {
        on_diagonal += pixel_at(k, k) == BLUE_VALUE;
        off_diagonal += pixel_at(k, k + 1) == BLUE_VALUE;
    }
    EXPECT_EQ(401, on_diagonal);
    EXPECT_EQ(0, off_diagonal);
    ZEPHA_erase();
    render_item({ITEM_LINE, BLUE, 5, INT_MIN, 0, INT_MAX, 0, 0, 0, nullptr});
    EXPECT_EQ(5 * SURFACE_WIDTH, surface_count(BLUE_VALUE)) << "five full rows";
    EXPECT_EQ(5, count(BLUE_VALUE, 0, 2, 0, -2));

    // A pixel beyond the int range is not on the surface.
    ZEPHA_erase();
    for (const DrawItem &item :
         {DrawItem{ITEM_PIXEL, RED, 0, int64_t(INT_MAX) + g_origin_x, 0, 0, 0, 0, 0, nullptr},
          DrawItem{ITEM_PIXEL, RED, 0, 5, INT_MIN, 0, 0, 0, 0, nullptr},
          DrawItem{ITEM_PIXEL, RED, 0, 5, 5, 0, 0, 0, 0, nullptr}})
        render_item(item);
    EXPECT_EQ(1, surface_count(RED_VALUE));
    EXPECT_EQ(RED_VALUE, pixel_at(5, 5));

    // Texts placed where no character can reach the surface draw nothing; one that starts far
    // to the left but runs into the surface is drawn.
    ZEPHA_erase();
    for (int x : {INT_MAX, INT_MIN, 2147483000, -(1 << 21)})
        ZEPHA_draw_text(BLACK, x, 0, 20, "HHHH");
    ZEPHA_draw_text(BLACK, 0, INT_MIN, 20, "HHHH");
    ZEPHA_draw_text(BLACK, 0, INT_MAX, 20, "HHHH\nHHHH");
    EXPECT_EQ(BORDER_PIXELS, surface_count(BLACK_VALUE)) << "only the erase's border is black";
    ZEPHA_draw_text(BLACK, -2000, 0, 20, std::string(300, 'H').c_str());
    EXPECT_GT(surface_count(BLACK_VALUE), BORDER_PIXELS);
    ZEPHA_erase();
    // Some 3 million pixels wide in the runtime's narrow face: it starts 2 million to the left.
    ZEPHA_draw_text(BLACK, -(1 << 21), 0, 127, std::string(50000, 'W').c_str());
    EXPECT_GT(surface_count(BLACK_VALUE), BORDER_PIXELS) << "a line that runs into the surface";
}

// A line's pixels repeat from one lattice point on it to the next, so a line or triangle edge
// of slope 2/3 through the origin, starting on such a point a billion pixels away, must look
// exactly like a short one.
TEST_F(Drawing, FarLinesAndTrianglesKeepThePixelsOfTheirNearPart) {
    const int64_t close = 150, distant = int64_t(1) << 29;
    for (int kind : {ITEM_LINE, ITEM_TRIANGLE})
        for (int pen : {0, 1, kind == ITEM_LINE ? 5 : 3}) {
            std::vector<uint32_t> pictures[2];
            for (int64_t k : {close, distant}) {
                ZEPHA_erase();
                render_item({kind, RED, pen, -3 * k, -2 * k, 3 * k, 2 * k, -3 * k, 2 * k, nullptr});
                pictures[k == distant] = surface_pixels();
            }
            EXPECT_TRUE(pictures[0] == pictures[1]) << "kind " << kind << " pen " << pen;
            EXPECT_GT(surface_count(RED_VALUE), 0) << "kind " << kind << " pen " << pen;
        }
}
