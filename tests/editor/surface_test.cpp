// The editor on the real display: what shapes and a redraw leave on the runtime's surface, and
// the drawing calls of one redraw as the runtime logs them. Each test opens the windows, so
// each runs in a process of its own.
#include "editor/editor_state.h"
#include "editor/shape_list.h"
#include "editor/shapes.h"
#include "platform/win32/gdi_guard.h"
#include "platform/win32/win32_state.h"
#include "runtime/generated/zepha_font_data.h"
#include "tests/runtime/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zepha;

namespace {

constexpr COLORREF WHITE_RGB = RGB(255, 255, 255);
constexpr COLORREF BLACK_RGB = RGB(0, 0, 0);
constexpr COLORREF RED_RGB = RGB(255, 0, 0);
constexpr COLORREF GREEN_RGB = RGB(0, 255, 0);
constexpr COLORREF BLUE_RGB = RGB(0, 0, 255);

// The surface pixel at a logical point.
COLORREF pixel(int x, int y) {
    return GetPixel(g_surface_dc, g_origin_x + x, g_origin_y - y);
}

// "#rrggbb", so a failure names the colour the way it is usually written.
std::string hex(COLORREF color) {
    char text[16];
    snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(color), GetGValue(color),
             GetBValue(color));
    return text;
}

struct Probe {
    int x, y;
    COLORREF expected;
};

void expect_pixels(const std::vector<Probe> &probes, const char *what) {
    for (const Probe &p : probes)
        EXPECT_EQ(hex(pixel(p.x, p.y)), hex(p.expected))
            << what << ": pixel at (" << p.x << "," << p.y << ")";
}

// The newest `count` messages of the log ring, oldest first.
std::vector<std::string> last_log_lines(int count) {
    std::vector<std::string> lines;
    for (int i = count; i > 0; --i) {
        HGLOBAL block = g_log_lines[(g_log_next - i + 2 * LOG_RING_SIZE) % LOG_RING_SIZE];
        const char *text = block ? static_cast<const char *>(GlobalLock(block)) : nullptr;
        lines.push_back(text ? text : "<none>");
        if (text)
            GlobalUnlock(block);
    }
    return lines;
}

std::vector<std::string> palette_log_lines() {
    std::vector<std::string> lines;
    char line[160];
    for (int k = 0; k < 12; ++k) {
        snprintf(line, sizeof line,
                 "black rectangle with bounding box (-295,%d) to (-255,%d) with line width 1\n",
                 245 - 40 * k, 205 - 40 * k);
        lines.push_back(line);
    }
    lines.push_back("black rectangle with bounding box (-285,235) to (-265,215), filled\n");
    lines.push_back("black circle at (-275,185), radius 10\n");
    const struct {
        const char *color;
        int x, y;
        const char *text;
    } labels[] = {{"black", -284, 138, "Pick"},  {"black", -286, 98, "Move"},
                  {"black", -290, 58, "Resize"}, {"black", -290, 18, "Delete"},
                  {"black", -285, -22, "Save"},  {"black", -285, -62, "Load"},
                  {"red", -283, -102, "Red"},    {"yellow", -290, -142, "Yellow"},
                  {"blue", -284, -182, "Blue"},  {"black", -288, -222, "Black"}};
    for (const auto &label : labels) {
        snprintf(line, sizeof line, "%s text at (%d,%d), \"%s\"\n", label.color, label.x, label.y,
                 label.text);
        lines.push_back(line);
    }
    return lines;
}

// Starts the runtime as WinMain would have, then opens the one display of this process.
struct StartupArgsFromProcess {
    StartupArgsFromProcess() {
        g_startup_args = {GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL};
    }
};

} // namespace

class EditorSurfaceTest : public ::testing::Test {
  protected:
    StartupArgsFromProcess args;
    GraphicsDisplay display;
};

TEST_F(EditorSurfaceTest, ShapesPaintTheirBodyAndTheGreenOutlineOnlyWhenSelectedIsOne) {
    display.clear(BACKGROUND_COLOR);
    RectShape plain(-150, 100, -110, 60, display, 2, 0);
    RectShape selected(-90, 100, -50, 60, display, 2, 1);
    RectShape two(-30, 100, 10, 60, display, 2, 2);
    RectShape reversed(70, 60, 30, 100, display, 4, 1); // corners given the other way round
    expect_pixels({{-150, 100, RED_RGB},
                   {-110, 60, RED_RGB},
                   {-130, 80, RED_RGB},
                   {-151, 80, WHITE_RGB},
                   {-109, 80, WHITE_RGB},
                   {-130, 101, WHITE_RGB},
                   {-130, 59, WHITE_RGB}},
                  "plain red rectangle");
    expect_pixels({{-90, 100, GREEN_RGB},
                   {-50, 60, GREEN_RGB},
                   {-90, 80, GREEN_RGB},
                   {-50, 80, GREEN_RGB},
                   {-70, 100, GREEN_RGB},
                   {-70, 60, GREEN_RGB},
                   {-89, 99, RED_RGB},
                   {-70, 80, RED_RGB},
                   {-49, 80, WHITE_RGB}},
                  "selected red rectangle");
    expect_pixels({{-30, 100, RED_RGB}, {10, 60, RED_RGB}, {-30, 80, RED_RGB}},
                  "rectangle with selected 2");
    expect_pixels(
        {{30, 100, GREEN_RGB}, {70, 60, GREEN_RGB}, {50, 80, BLUE_RGB}, {71, 80, WHITE_RGB}},
        "reversed blue rectangle");

    // An oval's outline is its bounding rectangle, not an oval.
    display.clear(BACKGROUND_COLOR);
    OvalShape oval(-50, 50, 50, -50, display, 4, 0);
    expect_pixels({{0, 0, BLUE_RGB},
                   {-48, 0, BLUE_RGB},
                   {0, -48, BLUE_RGB},
                   {-50, 50, WHITE_RGB},
                   {-45, 45, WHITE_RGB},
                   {50, -50, WHITE_RGB}},
                  "plain blue oval");
    oval.setSelected(1);
    oval.draw(display);
    expect_pixels({{0, 0, BLUE_RGB},
                   {-50, 50, GREEN_RGB},
                   {50, -50, GREEN_RGB},
                   {0, 50, GREEN_RGB},
                   {-45, 45, WHITE_RGB},
                   {45, -45, WHITE_RGB}},
                  "selected blue oval");
}

// The ring keeps 25 messages and one redraw writes more, so it is read in three parts that
// overlap: the clear, then the clear's fill followed by the palette, then the palette's end
// followed by the shapes.
TEST_F(EditorSurfaceTest, ARedrawLogsTheClearThePaletteThenTheShapesNewestFirst) {
    ShapeList shapes;
    auto *older = new RectShape; // built without drawing
    older->setX1(-100);
    older->setY1(100);
    older->setX2(0);
    older->setY2(0);
    older->setColor(2);
    older->setSelected(1);
    auto *newer = new OvalShape;
    newer->setX1(100);
    newer->setY1(-100);
    newer->setX2(50);
    newer->setY2(0);
    newer->setColor(4);
    ShapeList empty;
    ZEPHA_set_logging(1);

    const std::vector<std::string> clear_lines = {
        "Flushing the graphics window\n", "Clearing the graphics window\n",
        "white rectangle with bounding box (-300,250) to (300,-250), filled\n"};
    display.clear(BACKGROUND_COLOR);
    EXPECT_EQ(last_log_lines(3), clear_lines);

    std::vector<std::string> expected = {clear_lines.back()};
    const std::vector<std::string> palette = palette_log_lines();
    expected.insert(expected.end(), palette.begin(), palette.end());
    redraw(display, empty);
    EXPECT_EQ(last_log_lines(25), expected);

    shapes.pushFront(older);
    shapes.pushFront(newer);
    redraw(display, shapes);
    expected.assign(palette.end() - 22, palette.end());
    expected.push_back("blue oval with bounding box (50,0) to (100,-100), filled\n");
    expected.push_back("red rectangle with bounding box (-100,100) to (0,0), filled\n");
    expected.push_back("green rectangle with bounding box (-100,100) to (0,0) with line width 1\n");
    EXPECT_EQ(last_log_lines(25), expected);
}

// Texts ask for the face "ZEPHA-font" and get the runtime's own, whatever fonts the machine has;
// in it each palette label's ink lies inside its box, centred on the column.
TEST_F(EditorSurfaceTest, PaletteLabelsInTheRuntimesOwnFaceLieInsideTheirBoxesCentred) {
    {
        SelectedObject<HFONT> font(
            g_surface_dc, CreateFontA(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "ZEPHA-font"),
            true);
        char face[LF_FACESIZE] = "";
        GetTextFaceA(g_surface_dc, sizeof face, face);
        EXPECT_STREQ("ZEPHA-font", face) << "the face selected for \"ZEPHA-font\"";
        // The whole font file behind the selected face is the one built into the runtime.
        const DWORD size = GetFontData(g_surface_dc, 0, 0, nullptr, 0);
        std::vector<unsigned char> file(size == GDI_ERROR ? 0 : size);
        if (!file.empty())
            GetFontData(g_surface_dc, 0, 0, file.data(), size);
        EXPECT_TRUE(file == std::vector<unsigned char>(FONT_DATA, FONT_DATA + FONT_DATA_SIZE))
            << "selected font file of " << file.size() << " bytes, the runtime's has "
            << FONT_DATA_SIZE;
    }

    display.clear(BACKGROUND_COLOR);
    drawPalette(display);
    const char *const labels[] = {"Pick", "Move", "Resize", "Delete", "Save",
                                  "Load", "Red",  "Yellow", "Blue",   "Black"};
    constexpr int LEFT = -295, RIGHT = -255, CENTRE = -275;
    for (int k = 2; k < 12; ++k) {
        const char *label = labels[k - 2];
        const int top = 245 - 40 * k, bottom = 205 - 40 * k;
        // Ink is every pixel that is neither white nor the box's black outline, in the box's
        // rows, from the column left of the outline (the next one is the surface's black border)
        // to well right of it. Coloured ink on the outline would show there; black ink would
        // not, so the rows and columns just inside the outline must stay clear as well.
        int ink_left = 1000, ink_right = -1000, near_or_beyond = 0, outline_not_black = 0;
        for (int y = bottom; y <= top; ++y)
            for (int x = LEFT - 1; x <= RIGHT + 20; ++x) {
                const COLORREF color = pixel(x, y);
                const bool on_outline =
                    x >= LEFT && x <= RIGHT && (x == LEFT || x == RIGHT || y == top || y == bottom);
                if (on_outline) {
                    outline_not_black += color != BLACK_RGB;
                    continue;
                }
                if (color == WHITE_RGB)
                    continue;
                near_or_beyond +=
                    x <= LEFT + 1 || x >= RIGHT - 1 || y >= top - 1 || y <= bottom + 1;
                ink_left = std::min(ink_left, x);
                ink_right = std::max(ink_right, x);
            }
        EXPECT_EQ(0, outline_not_black) << label << ": pixels of the box's outline not black";
        EXPECT_EQ(0, near_or_beyond)
            << label << ": ink pixels on, next to or beyond the outline; ink from x = " << ink_left
            << " to " << ink_right << ", the box's outline at " << LEFT << " and " << RIGHT;
        ASSERT_LE(ink_left, ink_right) << label << ": no ink";
        EXPECT_LE(std::abs(ink_left + ink_right - 2 * CENTRE), 6)
            << label << ": ink from x = " << ink_left << " to " << ink_right
            << ", its centre is more than 3 from " << CENTRE;
    }
}

// A picked shape moved a canvas click near the end of the int range away leaves the canvas:
// the redraw shows the palette on an empty drawing area, not a band across it.
TEST_F(EditorSurfaceTest, AShapeMovedToTheFarRightLeavesTheDrawingArea) {
    ShapeList shapes;
    EditorState state;
    redraw(display, shapes);
    const std::vector<COLORREF> empty_area = surface_pixels();

    auto click = [&](int x, int y) { applyEvent(state, DE_MOUSE, x, y, shapes, display); };
    click(-275, -95); // Red
    click(-100, 100); // the two corners of a rectangle
    click(0, 0);
    click(-275, 145); // Pick
    click(-50, 50);
    click(-275, 105); // Move
    click(2147483300, 100);
    ASSERT_NE(nullptr, state.currentPick);
    EXPECT_EQ(2147483300, state.currentPick->getX1());
    EXPECT_EQ(100, state.currentPick->getY1());
    EXPECT_EQ(2147483400, state.currentPick->getX2());
    EXPECT_EQ(0, state.currentPick->getY2());

    redraw(display, shapes);
    const std::vector<COLORREF> moved = surface_pixels();
    int differing = 0;
    for (size_t i = 0; i < moved.size(); i++)
        differing += moved[i] != empty_area[i];
    EXPECT_EQ(0, differing) << "pixels the far-away shape changed";
    expect_pixels({{-200, 50, WHITE_RGB}, {200, 50, WHITE_RGB}, {-275, 50, WHITE_RGB}},
                  "the band the shape used to leave");
}
