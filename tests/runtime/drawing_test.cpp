// The Win32 renderer under Wine: no drawing call keeps a GDI object, the pixel geometry used far
// out agrees with GDI's own drawing, and huge shapes need little memory. What the primitives
// draw and log is checked on the headless platform (tests/host/runtime).
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
};

} // namespace

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

// Pixels that differ between two pictures of the surface.
int differing(const std::vector<COLORREF> &a, const std::vector<COLORREF> &b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); i++)
        n += a[i] != b[i];
    return n;
}

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
