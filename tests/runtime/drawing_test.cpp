// Drawing primitives on the real surface: exact pixel geometry, the warnings and description
// lines in the log, and that no call keeps a GDI object or memory block.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "platform/win32/surface_painter.h"
#include "tests/runtime/test_support.h"

#include <psapi.h> // after <windows.h>

namespace {

const COLORREF WHITE_RGB = RGB(255, 255, 255);
const COLORREF BLACK_RGB = RGB(0, 0, 0);
const COLORREF RED_RGB = RGB(255, 0, 0);
const COLORREF BLUE_RGB = RGB(0, 0, 255);
const COLORREF GREEN_RGB = RGB(0, 255, 0);

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

// ---- Far-out coordinates ----

namespace {

int surface_count(COLORREF color) {
    int n = 0;
    for (COLORREF p : surface_pixels())
        n += p == color;
    return n;
}

// Pixels that differ between two pictures of the surface.
int differing(const std::vector<COLORREF> &a, const std::vector<COLORREF> &b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); i++)
        n += a[i] != b[i];
    return n;
}

const int SURFACE_PIXELS = SURFACE_WIDTH * SURFACE_HEIGHT;

// White everywhere, without the erase's border (drawn with whatever pen is selected).
void clear_surface() {
    const RECT all = {0, 0, SURFACE_WIDTH, SURFACE_HEIGHT};
    FillRect(g_surface_dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void select_pen_and_brush(int pen, COLORREF color, bool filled) {
    DeleteObject(SelectObject(g_surface_dc, CreatePen(PS_SOLID, pen, color)));
    HGDIOBJ old =
        SelectObject(g_surface_dc, filled ? CreateSolidBrush(color) : GetStockObject(NULL_BRUSH));
    DeleteObject(old);
}

} // namespace

// Two rectangles a script can make, straight through the primitive: corners near the ends of the
// int range put the rectangle where its true corners are, not mirrored.
TEST_F(Drawing, FarCornersDrawTheVisiblePartOfTheRectangle) {
    for (int far_x : {2147483000, 2147483400, INT_MAX}) {
        ZEPHA_erase();
        ZEPHA_draw_rectangle(BLACK, 0, 0, far_x, -100, 0);
        EXPECT_EQ(BLACK_RGB, pixel_at(100, -50)) << far_x;
        EXPECT_EQ(WHITE_RGB, pixel_at(-100, -50)) << far_x;
        EXPECT_EQ(BLACK_RGB, pixel_at(0, -100)) << far_x;
        EXPECT_EQ(WHITE_RGB, pixel_at(-1, -50)) << far_x;
        EXPECT_EQ(WHITE_RGB, pixel_at(100, 1)) << far_x;
        EXPECT_EQ(WHITE_RGB, pixel_at(100, -101)) << far_x;
    }

    // Corners (INT_MAX, INT_MIN) and (0, 0): the lower right quarter, exactly.
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLACK, INT_MAX, INT_MIN, 0, 0, 0);
    const std::vector<COLORREF> pixels = surface_pixels();
    int wrong = 0;
    for (int row = 1; row < SURFACE_HEIGHT - 1; row++)
        for (int column = 1; column < SURFACE_WIDTH - 1; column++) {
            const bool inside = column - g_origin_x >= 0 && g_origin_y - row <= 0;
            wrong += pixels[row * SURFACE_WIDTH + column] != (inside ? BLACK_RGB : WHITE_RGB);
        }
    EXPECT_EQ(0, wrong) << "pixels outside the lower right quarter, or missing from it";

    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0);
    EXPECT_EQ(SURFACE_PIXELS, surface_count(BLUE_RGB)) << "the whole int range covers it all";

    // An outline: its near edges are drawn with the pen's width, the interior and the far
    // edges stay out of sight.
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -100, 100, INT_MAX, INT_MIN, 3);
    for (int x : {-101, -100, -99})
        EXPECT_EQ(BLUE_RGB, pixel_at(x, 0)) << x;
    for (int y : {101, 100, 99})
        EXPECT_EQ(BLUE_RGB, pixel_at(0, y)) << y;
    EXPECT_EQ(WHITE_RGB, pixel_at(-102, 0));
    EXPECT_EQ(WHITE_RGB, pixel_at(-98, 0));
    EXPECT_EQ(WHITE_RGB, pixel_at(200, -200)) << "the interior is left alone";

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
    EXPECT_EQ(SURFACE_PIXELS, surface_count(RED_RGB)) << "the largest circle covers it all";
}

// Each kind of item with points at and beyond the ends of the int range.
TEST_F(Drawing, EveryKindOfItemAtTheExtremes) {
    // Circles: a radius of INT_MAX covers everything; a billion-pixel circle whose leftmost
    // pixel is the origin shows its edge there.
    ZEPHA_draw_circle(RED, INT_MIN, INT_MIN, INT_MAX);
    EXPECT_EQ(0, surface_count(RED_RGB)) << "centre far down left: only its far side is near";
    ZEPHA_draw_circle(RED, 1000000000, 0, 1000000000);
    EXPECT_EQ(RED_RGB, pixel_at(0, 0));
    EXPECT_EQ(WHITE_RGB, pixel_at(-1, 0));
    EXPECT_EQ(RED_RGB, pixel_at(1, 100));
    EXPECT_EQ(WHITE_RGB, pixel_at(-1, 100));
    EXPECT_EQ(RED_RGB, pixel_at(200, -200));

    // Ovals over the whole int range: filled, everything; outlined, nothing.
    ZEPHA_erase();
    ZEPHA_draw_oval(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0);
    EXPECT_EQ(SURFACE_PIXELS, surface_count(BLUE_RGB));
    ZEPHA_erase();
    ZEPHA_draw_oval(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 1);
    ZEPHA_draw_oval(BLUE, INT_MIN, INT_MAX, INT_MAX, INT_MIN, 6);
    EXPECT_EQ(0, surface_count(BLUE_RGB));

    // A huge outlined oval whose left edge passes the origin shows the same pen marks there as
    // a smaller one drawn by the platform itself.
    for (int pen : {1, 5}) {
        ZEPHA_erase();
        ZEPHA_draw_oval(BLUE, 0, 10000, 20000, -10000, pen);
        std::vector<COLORREF> small;
        for (int x = -8; x <= 8; x++)
            small.push_back(pixel_at(x, 0));
        ZEPHA_erase();
        ZEPHA_draw_oval(BLUE, 0, 1000000000, 2000000000, -1000000000, pen);
        std::vector<COLORREF> huge;
        for (int x = -8; x <= 8; x++)
            huge.push_back(pixel_at(x, 0));
        EXPECT_EQ(small, huge) << "pen " << pen;
        EXPECT_EQ(BLUE_RGB, pixel_at(0, 200)) << "pen " << pen;
        EXPECT_EQ(WHITE_RGB, pixel_at(20, 0)) << "pen " << pen << ": the interior is left alone";
    }

    // Triangle and lines as records: the diagonal y = x through the surface.
    ZEPHA_erase();
    DrawItem triangle = {ITEM_TRIANGLE, RED,     0,       INT_MIN, INT_MIN,
                         INT_MAX,       INT_MAX, INT_MIN, INT_MAX, nullptr};
    render_item(triangle);
    EXPECT_EQ(RED_RGB, pixel_at(-100, 100));
    EXPECT_EQ(RED_RGB, pixel_at(50, 50)) << "the edge belongs to the triangle";
    EXPECT_EQ(RED_RGB, pixel_at(49, 50));
    EXPECT_EQ(WHITE_RGB, pixel_at(50, 49));
    EXPECT_EQ(WHITE_RGB, pixel_at(100, -100));

    ZEPHA_erase();
    DrawItem line = {ITEM_LINE, BLUE, 0, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, nullptr};
    render_item(line);
    int off_diagonal = 0;
    for (int k = -200; k <= 200; k++) {
        EXPECT_EQ(BLUE_RGB, pixel_at(k, k)) << k;
        off_diagonal += pixel_at(k, k + 1) == BLUE_RGB;
    }
    EXPECT_EQ(0, off_diagonal);
    ZEPHA_erase();
    DrawItem wide = {ITEM_LINE, BLUE, 5, INT_MIN, 0, INT_MAX, 0, 0, 0, nullptr};
    render_item(wide);
    EXPECT_EQ(5 * SURFACE_WIDTH, surface_count(BLUE_RGB)) << "five full rows";
    for (int y = -2; y <= 2; y++)
        EXPECT_EQ(BLUE_RGB, pixel_at(0, y)) << y;

    // A pixel beyond the int range is not on the surface.
    ZEPHA_erase();
    DrawItem pixels[] = {
        {ITEM_PIXEL, RED, 0, int64_t(INT_MAX) + g_origin_x, 0, 0, 0, 0, 0, nullptr},
        {ITEM_PIXEL, RED, 0, 5, INT_MIN, 0, 0, 0, 0, nullptr},
        {ITEM_PIXEL, RED, 0, 5, 5, 0, 0, 0, 0, nullptr}};
    for (const DrawItem &item : pixels)
        render_item(item);
    EXPECT_EQ(1, surface_count(RED_RGB));
    EXPECT_EQ(RED_RGB, pixel_at(5, 5));

    // Texts placed where no character can reach the surface draw nothing; one that starts far
    // to the left but runs into the surface is drawn.
    ZEPHA_erase();
    for (int x : {INT_MAX, INT_MIN, 2147483000, -(1 << 21)})
        ZEPHA_draw_text(BLACK, x, 0, 20, "HHHH");
    ZEPHA_draw_text(BLACK, 0, INT_MIN, 20, "HHHH");
    ZEPHA_draw_text(BLACK, 0, INT_MAX, 20, "HHHH\nHHHH");
    EXPECT_EQ(2 * (SURFACE_WIDTH + SURFACE_HEIGHT) - 4, surface_count(BLACK_RGB))
        << "only the erase's border is black";
    const int border = 2 * (SURFACE_WIDTH + SURFACE_HEIGHT) - 4;
    ZEPHA_draw_text(BLACK, -2000, 0, 20, std::string(300, 'H').c_str());
    const int short_line = surface_count(BLACK_RGB) - border;
    EXPECT_GT(short_line, 0);
    ZEPHA_erase();
    // Some 3 million pixels wide in the runtime's narrow face: it starts 2 million to the left.
    ZEPHA_draw_text(BLACK, -(1 << 21), 0, 127, std::string(50000, 'W').c_str());
    EXPECT_GT(surface_count(BLACK_RGB) - border, 0) << "a line that runs into the surface";
}

// A line's pixels repeat from one lattice point on it to the next, so a line or triangle edge
// of slope 2/3 through the origin, starting on such a point a billion pixels away, must look
// exactly like a short one that the platform draws itself.
TEST_F(Drawing, FarLinesAndTrianglesKeepThePixelsOfTheirNearPart) {
    const int64_t close = 150, distant = int64_t(1) << 29;
    auto both = [&](auto draw, const char *what) {
        ZEPHA_erase();
        draw(close);
        const std::vector<COLORREF> expected = surface_pixels();
        ZEPHA_erase();
        draw(distant);
        EXPECT_EQ(0, differing(expected, surface_pixels())) << what;
        EXPECT_GT(surface_count(RED_RGB), 0) << what;
    };
    for (int pen : {0, 1, 5})
        both(
            [&](int64_t k) {
                DrawItem item = {ITEM_LINE, RED, pen, -3 * k, -2 * k, 3 * k, 2 * k, 0, 0, nullptr};
                render_item(item);
            },
            pen == 5 ? "wide line" : "line");
    for (int pen : {0, 1, 3})
        both(
            [&](int64_t k) {
                DrawItem item = {ITEM_TRIANGLE, RED,   pen,    -3 * k, -2 * k,
                                 3 * k,         2 * k, -3 * k, 2 * k,  nullptr};
                render_item(item);
            },
            pen == 0 ? "filled triangle" : "outlined triangle");
}

// The pixel geometry used far out agrees with the platform's own drawing wherever the platform
// can draw: random shapes across the surface, drawn both ways.
TEST_F(Drawing, FarGeometryAgreesWithThePlatformsOwnDrawing) {
    std::mt19937 random(15);
    auto coordinate = [&](int lo, int hi) {
        return lo + static_cast<int>(random() % (hi - lo + 1));
    };
    const RasterClip clip = {SURFACE_WIDTH, SURFACE_HEIGHT};
    static RasterDisc disc;
    int compared = 0;
    for (int i = 0; i < 160; i++) {
        const int kind = i % 4;
        const int pen = i % 8 < 4 ? i % 2 : 2 + static_cast<int>(random() % 9);
        std::string what;
        clear_surface();
        select_pen_and_brush(pen, RED_RGB, false);
        win32::SurfacePainter painter(RED_RGB);
        std::vector<COLORREF> platform;
        if (kind == 0 || kind == 3) {
            // Ovals: no taller than four times their width, where the platform's own filled
            // regions stay inside their boxes.
            const int w = coordinate(3, 1500), h = coordinate(3, std::min(1500, 4 * w));
            const int left = coordinate(-w + 1, SURFACE_WIDTH - 1);
            const int top = coordinate(-h + 1, SURFACE_HEIGHT - 1);
            const int oval_pen = kind == 0 ? 1 + pen : pen;
            select_pen_and_brush(oval_pen, RED_RGB, oval_pen == 0);
            what = "oval " + std::to_string(left) + "," + std::to_string(top) + " " +
                   std::to_string(w) + "x" + std::to_string(h) + " pen " + std::to_string(oval_pen);
            Ellipse(g_surface_dc, left, top, left + w, top + h);
            platform = surface_pixels();
            clear_surface();
            const RasterBox box = {left, top, left + w, top + h};
            if (oval_pen <= 1) {
                raster_oval(box, oval_pen == 1, clip, painter);
            } else {
                ASSERT_TRUE(win32::pen_disc(oval_pen, disc)) << what;
                raster_oval_wide(box, disc, oval_pen, clip, painter);
            }
        } else {
            // Lines (kind 1) and triangles (kind 2), outlined with one- and wide-pixel pens.
            const int count = kind == 1 ? 2 : 3;
            POINT p[3];
            RasterPoint r[3];
            for (int k = 0; k < count; k++) {
                p[k] = {coordinate(-1500, 2100), coordinate(-1500, 2000)};
                r[k] = {p[k].x, p[k].y};
                what += "(" + std::to_string(p[k].x) + "," + std::to_string(p[k].y) + ") ";
            }
            what += "pen " + std::to_string(pen);
            if (kind == 1) {
                MoveToEx(g_surface_dc, p[0].x, p[0].y, nullptr);
                LineTo(g_surface_dc, p[1].x, p[1].y);
            } else {
                Polygon(g_surface_dc, p, 3);
            }
            platform = surface_pixels();
            clear_surface();
            for (int k = 0; k < (kind == 1 ? 1 : 3); k++) {
                if (pen <= 1) {
                    raster_line(r[k], r[(k + 1) % count], clip, painter);
                    continue;
                }
                RasterPoint band[4];
                raster_wide_segment(r[k], r[(k + 1) % count], pen, band);
                raster_polygon(band, 4, clip, painter);
            }
            if (pen > 1)
                for (int k = 0; k < count; k++)
                    painter.disc(r[k], pen);
        }
        EXPECT_EQ(0, differing(platform, surface_pixels())) << what;
        compared += std::count(platform.begin(), platform.end(), RED_RGB) > 0;
    }
    EXPECT_GT(compared, 100) << "most shapes crossed the surface";
}

// Huge ovals are drawn row by row on the surface only, so hundreds of them need little time
// (this test finishes well within its timeout) and no memory in proportion to their size: the
// platform's own Ellipse needs memory in proportion to the box and fails from about 2^20.
TEST_F(Drawing, HugeOvalsNeedLittleTimeAndMemory) {
    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    const DWORD objects_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 50; i++) {
        ZEPHA_erase();
        ZEPHA_draw_circle(RED, i, -i, INT_MAX - i);
        EXPECT_EQ(RED_RGB, pixel_at(0, 0)) << i;
        ZEPHA_draw_oval(BLUE, -(1 << 20) - i, 1 << 20, 1 << 20, -(1 << 20), 0);
        EXPECT_EQ(BLUE_RGB, pixel_at(100, 100)) << i;
        ZEPHA_draw_oval(RED, -(1 << 30), 1 << 30, i, -(1 << 30), 1);
        ZEPHA_draw_oval(GREEN, i + 50, 1 << 30, 1 << 30, -(1 << 30), 9);
        EXPECT_EQ(RED_RGB, pixel_at(i, 0)) << i << ": the outline's rightmost pixel";
        EXPECT_EQ(BLUE_RGB, pixel_at(i + 1, 0)) << i;
        EXPECT_EQ(GREEN_RGB, pixel_at(i + 46, 100)) << i << ": the wide outline's leftmost pixels";
        EXPECT_EQ(GREEN_RGB, pixel_at(i + 54, 100)) << i;
        EXPECT_EQ(BLUE_RGB, pixel_at(i + 60, 100)) << i;
    }
    PROCESS_MEMORY_COUNTERS after = {};
    after.cb = sizeof after;
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + (16 << 20))
        << "peak working set grew from " << (before.PeakWorkingSetSize >> 10) << " KB to "
        << (after.PeakWorkingSetSize >> 10) << " KB";
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects_before + 2);
}
