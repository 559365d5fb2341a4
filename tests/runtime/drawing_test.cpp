// Drawing primitives on the real surface: exact pixel geometry, the warnings and description
// lines in the log, and that no call keeps a GDI object or memory block.
#include <gtest/gtest.h>

#include <string>

#include "tests/runtime/test_support.h"

namespace {

const COLORREF WHITE_RGB = RGB(255, 255, 255);
const COLORREF BLACK_RGB = RGB(0, 0, 0);
const COLORREF RED_RGB = RGB(255, 0, 0);
const COLORREF BLUE_RGB = RGB(0, 0, 255);

class Drawing : public ::testing::Test {
  protected:
    void SetUp() override {
        start_runtime();
        ZEPHA_set_logging(0);
        ZEPHA_erase();
    }
    // Pixels of the given colour inside the logical box (left, top)-(right, bottom).
    static int count(COLORREF color, int left, int top, int right, int bottom) {
        int n = 0;
        for (int x = left; x <= right; x++)
            for (int y = bottom; y <= top; y++)
                n += pixel_at(x, y) == color;
        return n;
    }
    // The smallest logical box holding every pixel of the colour around the origin.
    static RECT extent(COLORREF color) {
        RECT box = {1000, -1000, -1000, 1000};
        for (int x = -60; x <= 60; x++)
            for (int y = -60; y <= 60; y++)
                if (pixel_at(x, y) == color) {
                    box.left = std::min<LONG>(box.left, x);
                    box.right = std::max<LONG>(box.right, x);
                    box.top = std::max<LONG>(box.top, y);
                    box.bottom = std::min<LONG>(box.bottom, y);
                }
        return box;
    }
};

} // namespace

TEST_F(Drawing, FilledRectanglesIncludeBothCorners) {
    ZEPHA_draw_rectangle(BLUE, 0, 0, 0, 0, 0);
    EXPECT_EQ(1, count(BLUE_RGB, -5, 5, 5, -5));
    EXPECT_EQ(BLUE_RGB, pixel_at(0, 0));
    ZEPHA_draw_circle(RED, 3, 3, 0);
    EXPECT_EQ(1, count(RED_RGB, -5, 5, 5, -5)) << "radius 0 is one pixel";

    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, 0, 5, 0, -4, 0);
    EXPECT_EQ(10, count(BLUE_RGB, -5, 10, 5, -10)) << "a one-column rectangle";

    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -10, 10, 10, -10, 0);
    EXPECT_EQ(21 * 21, count(BLUE_RGB, -30, 30, 30, -30));
    const RECT box = extent(BLUE_RGB);
    EXPECT_EQ(-10, box.left);
    EXPECT_EQ(10, box.top);
    EXPECT_EQ(10, box.right);
    EXPECT_EQ(-10, box.bottom);

    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, 10, -10, -10, 10, 0);
    EXPECT_EQ(21 * 21, count(BLUE_RGB, -30, 30, 30, -30)) << "corners in either order";
    EXPECT_EQ(10, extent(BLUE_RGB).right);
}

TEST_F(Drawing, CirclesOvalsAndOutlines) {
    ZEPHA_draw_circle(RED, 0, 0, 5);
    RECT box = extent(RED_RGB);
    EXPECT_EQ(11, box.right - box.left + 1);
    EXPECT_EQ(11, box.top - box.bottom + 1);

    ZEPHA_erase();
    ZEPHA_draw_oval(BLUE, -20, 10, 20, -10, 0);
    box = extent(BLUE_RGB);
    EXPECT_EQ(-20, box.left);
    EXPECT_EQ(20, box.right);
    EXPECT_EQ(WHITE_RGB, pixel_at(-20, 10)) << "an oval leaves its box's corners";

    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -20, 20, 20, -20, 3);
    EXPECT_EQ(WHITE_RGB, pixel_at(0, 0)) << "an outline leaves the interior";
    EXPECT_EQ(0, count(BLUE_RGB, -15, 15, 15, -15));
    EXPECT_EQ(BLUE_RGB, pixel_at(-20, 0));
    EXPECT_EQ(BLUE_RGB, pixel_at(20, 0));
}

TEST_F(Drawing, EraseLeavesAWhiteSurfaceInsideABlackBorder) {
    ZEPHA_draw_rectangle(RED, -100, 100, 100, -100, 0);
    g_surface_dirty = 0;
    ZEPHA_erase();
    EXPECT_EQ(1, g_surface_dirty);
    EXPECT_EQ(WHITE_RGB, GetPixel(g_surface_dc, 1, 1));
    EXPECT_EQ(WHITE_RGB, GetPixel(g_surface_dc, 599, 538));
    EXPECT_EQ(WHITE_RGB, pixel_at(0, 0));
    for (POINT p : {POINT{0, 0}, POINT{600, 0}, POINT{0, 539}, POINT{600, 539}, POINT{300, 0},
                    POINT{0, 270}, POINT{600, 270}, POINT{300, 539}})
        EXPECT_EQ(BLACK_RGB, GetPixel(g_surface_dc, p.x, p.y)) << p.x << "," << p.y;
}

TEST_F(Drawing, TwoLineTextPutsItsFirstLineAboveTheRowOfY) {
    ZEPHA_draw_text(BLACK, -50, 0, 20, "HH\nHH");
    int first_row = 1000;
    int last_row = -1000;
    for (int y = -60; y <= 60; y++)
        for (int x = -50; x < 0; x++)
            if (pixel_at(x, y) == BLACK_RGB) {
                first_row = std::min(first_row, y);
                last_row = std::max(last_row, y);
            }
    EXPECT_GT(last_row, 0) << "first line above the row of y";
    EXPECT_LT(first_row, 0) << "second line below it";
    EXPECT_LE(last_row, 20);

    ZEPHA_erase();
    ZEPHA_draw_text(BLACK, -50, 0, 20, "HH");
    for (int y = -30; y <= 0; y++)
        EXPECT_NE(BLACK_RGB, pixel_at(-45, y)) << "one line lies wholly above y, row " << y;
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
}

TEST_F(Drawing, WarningsComeInEachPrimitivesOrderLoggingOnOrOff) {
    const int before = static_cast<int>(log_ring().size());
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
    EXPECT_EQ(before + static_cast<int>(expected.size()), static_cast<int>(log_ring().size()));
    EXPECT_EQ(RED_RGB, pixel_at(-5, 5)) << "the bad colour draws in red";
}

TEST_F(Drawing, DescriptionLinesWithLoggingOn) {
    ZEPHA_set_logging(1);
    ZEPHA_draw_rectangle(BLUE, 10, -10, -10, 10, 0);
    ZEPHA_draw_rectangle(BLUE, -10, 10, 10, -10, 0);
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

TEST_F(Drawing, PresentCopiesOnlyADirtySurface) {
    ZEPHA_present();
    EXPECT_EQ(0, g_surface_dirty);
    ZEPHA_draw_rectangle(BLUE, 0, 0, 3, 3, 0);
    EXPECT_EQ(1, g_surface_dirty);
    ZEPHA_present();
    EXPECT_EQ(0, g_surface_dirty);
}

TEST_F(Drawing, SeventyThousandCallsOfEachKindKeepNoObjects) {
    const DWORD objects_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 70000; i++) {
        ZEPHA_draw_rectangle(i % NUM_COLORS, -5, 5, 5, -5, i % 3);
        ZEPHA_draw_oval(i % NUM_COLORS, -5, 5, 5, -5, i % 3);
        ZEPHA_draw_circle(i % NUM_COLORS, 0, 0, 3);
        ZEPHA_draw_text(i % NUM_COLORS, 0, 0, 10, "t\nu");
        DrawItem item = {ITEM_TRIANGLE + i % 5, i % NUM_COLORS, i % 3, -3, 3, 3, 3, 0, -3, nullptr};
        render_item(item);
    }
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -2, 2, 2, -2, 0);
    EXPECT_EQ(BLUE_RGB, pixel_at(0, 0));
    const DWORD objects_after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_LE(objects_after, objects_before + 2) << "GDI objects kept by drawing calls";
}
