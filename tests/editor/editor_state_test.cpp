// The editor's decisions against the recording display: the palette, click classification and
// every row of the tool, colour and canvas click rules, without any window.
#include "editor/editor_state.h"
#include "editor/shape_list.h"
#include "editor/shapes.h"

#include "alloc_failure.h"
#include "fake_display.h"

#include <gtest/gtest.h>

#include <tuple>

using Calls = std::vector<std::string>;

namespace {

// A point inside box k of the palette (tools 0 to 7, colours 8 to 11).
constexpr int BOX_X = -275;
constexpr int box_y(int k) {
    return 225 - 40 * k;
}

constexpr int RED_BOX = 8, YELLOW_BOX = 9, BLUE_BOX = 10, BLACK_BOX = 11;

auto fields(const EditorState &s) {
    return std::make_tuple(s.done, s.mode, s.currentColor, s.clickPhase, s.pairComplete, s.firstX,
                           s.firstY, s.secondX, s.secondY, s.picked, s.moveArmed, s.resizeArmed,
                           s.currentPick, s.previousPick);
}

std::vector<int> corners(const Shape *shape) {
    return {shape->getX1(), shape->getY1(), shape->getX2(), shape->getY2()};
}

} // namespace

class EditorStateTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_fake_display(); }

    void click(int x, int y) { applyClick(state, x, y, shapes, display); }
    void pressBox(int k) { click(BOX_X, box_y(k)); }
    // Two canvas clicks; returns the shape they made, if any.
    const Shape *drag(int x1, int y1, int x2, int y2) {
        const ShapeNode *before = shapes.front();
        click(x1, y1);
        click(x2, y2);
        return shapes.front() != before ? shapes.front()->shape : nullptr;
    }
    // What drawAll draws now.
    Calls drawn() {
        g_display_calls.clear();
        shapes.drawAll(display);
        return g_display_calls;
    }

    ShapeList shapes;
    GraphicsDisplay display;
    EditorState state;
};

// ---- Palette ----

TEST(EditorPalette, ClassifyClickAtTheBoundaries) {
    struct Case {
        int x, y, region;
    };
    const Case cases[] = {
        {-275, 225, REGION_TOOLS},   {-294, 244, REGION_TOOLS},  {-256, -74, REGION_TOOLS},
        {-275, -100, REGION_COLORS}, {-294, -76, REGION_COLORS}, {-256, -234, REGION_COLORS},
        {-295, 100, REGION_CANVAS},  {-255, 100, REGION_CANVAS}, {-295, -100, REGION_CANVAS},
        {-255, -100, REGION_CANVAS}, {-275, 245, REGION_CANVAS}, {-275, -75, REGION_CANVAS},
        {-275, -235, REGION_CANVAS}, {-275, 246, REGION_CANVAS}, {-275, -236, REGION_CANVAS},
        {-296, 0, REGION_CANVAS},    {-300, 250, REGION_CANVAS}, {0, 0, REGION_CANVAS},
    };
    for (const Case &c : cases)
        EXPECT_EQ(classifyClick(c.x, c.y), c.region) << "(" << c.x << "," << c.y << ")";
}

TEST(EditorPalette, ButtonIndexAndColours) {
    EXPECT_EQ(buttonIndex(-275, 244), 0);
    EXPECT_EQ(buttonIndex(-275, 206), 0);
    EXPECT_EQ(buttonIndex(-275, 205), 1); // the line between boxes 0 and 1 belongs to Oval
    EXPECT_EQ(buttonIndex(-275, -74), 7);
    EXPECT_EQ(buttonIndex(-275, -76), 8);
    EXPECT_EQ(buttonIndex(-275, -195), 11); // the line between Blue and Black is Black
    EXPECT_EQ(buttonIndex(-275, -234), 11);
    EXPECT_EQ(buttonIndex(1000, 100), buttonIndex(-275, 100)); // x does not matter

    EXPECT_EQ(colorForButton(8), 2);
    EXPECT_EQ(colorForButton(9), 5);
    EXPECT_EQ(colorForButton(10), 4);
    for (int other : {11, 0, 7, 12, -1})
        EXPECT_EQ(colorForButton(other), 0) << "button " << other;
}

TEST(EditorPalette, DrawPaletteMakesTheTableCallsInOrder) {
    reset_fake_display();
    GraphicsDisplay display;
    g_display_calls.clear();
    drawPalette(display);
    Calls expected;
    for (int k = 0; k < 12; ++k)
        expected.push_back("rect -295 " + std::to_string(245 - 40 * k) + " -255 " +
                           std::to_string(205 - 40 * k) + " 0 1");
    expected.insert(expected.end(), {"rect -285 215 -265 235 0 0", "circle -275 185 10 0",
                                     "text -284 138 Pick 0 12", "text -286 98 Move 0 12",
                                     "text -290 58 Resize 0 12", "text -290 18 Delete 0 12",
                                     "text -285 -22 Save 0 12", "text -285 -62 Load 0 12",
                                     "text -283 -102 Red 2 12", "text -290 -142 Yellow 5 12",
                                     "text -284 -182 Blue 4 12", "text -288 -222 Black 0 12"});
    EXPECT_EQ(g_display_calls, expected);
}

TEST_F(EditorStateTest, RedrawClearsDrawsThePaletteThenTheShapesNewestFirst) {
    drag(0, 0, 10, -10);
    pressBox(1);
    drag(20, 20, 40, 0);
    g_display_calls.clear();
    redraw(display, shapes);
    ASSERT_EQ(g_display_calls.size(), 1u + 24u + 2u);
    EXPECT_EQ(g_display_calls.front(), "clear 1");
    EXPECT_EQ(g_display_calls[1], "rect -295 245 -255 205 0 1");
    EXPECT_EQ(g_display_calls[24], "text -288 -222 Black 0 12");
    EXPECT_EQ(g_display_calls[25], "oval 20 20 40 0 0 0");
    EXPECT_EQ(g_display_calls[26], "rect 0 0 10 -10 0 0");
}

// ---- Corner pairs and new shapes ----

TEST_F(EditorStateTest, RightAfterStartTwoCanvasClicksMakeABlackUnselectedRectangle) {
    EXPECT_EQ(fields(state), fields(EditorState{}));
    EXPECT_EQ(state.done, 0);
    EXPECT_EQ(state.mode, MODE_RECT);
    EXPECT_EQ(state.currentColor, 0);
    EXPECT_EQ(state.clickPhase, 1);
    EXPECT_EQ(state.currentPick, nullptr);

    click(-100, 100);
    EXPECT_EQ(shapes.front(), nullptr);
    EXPECT_EQ(state.clickPhase, 2);
    EXPECT_EQ(state.pairComplete, 0);
    click(50, -60);
    EXPECT_EQ(state.clickPhase, 1);
    EXPECT_EQ(state.pairComplete, 1);
    ASSERT_NE(shapes.front(), nullptr);
    EXPECT_EQ(corners(shapes.front()->shape), (std::vector<int>{-100, 100, 50, -60}));
    // It drew itself at once: black, filled, no outline.
    EXPECT_EQ(g_display_calls, (Calls{"rect -100 100 50 -60 0 0"}));
}

TEST_F(EditorStateTest, AToolOrColourClickBetweenTheCornersDropsTheFirst) {
    click(-100, 100);
    pressBox(RED_BOX);
    EXPECT_EQ(state.currentColor, 2);
    EXPECT_EQ(state.clickPhase, 1);
    EXPECT_EQ(state.mode, MODE_RECT);
    const Shape *red = drag(0, 0, 10, -10);
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(corners(red), (std::vector<int>{0, 0, 10, -10}));

    click(-100, 100);
    pressBox(MODE_OVAL);
    g_display_calls.clear();
    const Shape *oval = drag(30, 30, 60, 0);
    ASSERT_NE(oval, nullptr);
    EXPECT_EQ(g_display_calls, (Calls{"oval 30 30 60 0 2 0"}));
    EXPECT_EQ(shapes.addedCount(), 2);

    pressBox(YELLOW_BOX); // shapes already drawn keep their colours
    EXPECT_EQ(drawn(), (Calls{"oval 30 30 60 0 2 0", "rect 0 0 10 -10 2 0"}));
}

TEST_F(EditorStateTest, SaveAndLoadOnlySetTheModeAndTheyAndDeleteDrawRectangles) {
    const Shape *target = drag(100, 100, 140, 60);
    pressBox(MODE_PICK);
    click(120, 80); // a pick is pending: new shapes are born selected
    const int modes[] = {MODE_SAVE, MODE_LOAD, MODE_DELETE};
    const int colour_box[] = {YELLOW_BOX, BLUE_BOX, BLACK_BOX};
    const std::string colour[] = {"5", "4", "0"};
    for (int i = 0; i < 3; ++i) {
        pressBox(colour_box[i]);
        pressBox(modes[i]);
        EXPECT_EQ(state.mode, modes[i]);
        const bool pending = modes[i] != MODE_DELETE; // Delete uses the pick at once
        EXPECT_EQ(state.picked, pending ? 1 : 0) << "mode " << modes[i];
        EXPECT_EQ(shapes.findAt(120, 80) == target, pending) << "mode " << modes[i];
        g_display_calls.clear();
        drag(0, 10, 20, -10);
        Calls expected{"rect 0 10 20 -10 " + colour[i] + " 0"};
        if (pending)
            expected.push_back("rect 0 10 20 -10 3 1");
        EXPECT_EQ(g_display_calls, expected) << "mode " << modes[i];
    }
    EXPECT_EQ(shapes.addedCount(), 4);
}

TEST_F(EditorStateTest, AShapeThatCannotBeAllocatedMakesNoEntryAndTheEditorCarriesOn) {
    click(0, 0);
    {
        FailNothrowAllocation fail(1);
        click(10, -10);
        EXPECT_EQ(fail.seen(), 1);
    }
    EXPECT_EQ(shapes.front(), nullptr);
    EXPECT_EQ(state.clickPhase, 1);
    {
        FailNothrowAllocation fail(2); // the shape is made, its list node is not
        drag(0, 0, 10, -10);
        EXPECT_EQ(fail.seen(), 2);
    }
    EXPECT_EQ(shapes.front(), nullptr);
    EXPECT_NE(drag(0, 0, 10, -10), nullptr);
}

TEST_F(EditorStateTest, EventsOtherThanClicksAndQuitChangeNothing) {
    click(5, 5);
    const auto before = fields(state);
    for (DisplayEvent event : {DE_NONE, DE_KEY, DE_PERIODIC})
        applyEvent(state, event, 10, 10, shapes, display);
    EXPECT_EQ(fields(state), before);
    EXPECT_EQ(shapes.front(), nullptr);

    applyEvent(state, DE_MOUSE, 20, -20, shapes, display);
    EXPECT_NE(shapes.front(), nullptr);
    applyEvent(state, DE_QUIT, 0, 0, shapes, display);
    EXPECT_EQ(state.done, 1);
}

// ---- Pick, Move, Resize, Delete ----

TEST_F(EditorStateTest, PickSelectsTheShapeAndLaterShapesAreCreatedSelected) {
    const Shape *first = drag(0, 0, 40, -40);
    const Shape *second = drag(100, 0, 140, -40);
    pressBox(MODE_PICK);
    click(20, -20);
    EXPECT_EQ(state.currentPick, first);
    EXPECT_EQ(state.previousPick, nullptr);
    EXPECT_EQ(state.picked, 1);
    EXPECT_EQ(state.clickPhase, 2); // corners keep alternating in Pick mode, unread

    click(120, -20); // picking another deselects the old pick
    EXPECT_EQ(state.currentPick, second);
    EXPECT_EQ(state.previousPick, first);
    EXPECT_EQ(state.clickPhase, 1);
    EXPECT_EQ(drawn(),
              (Calls{"rect 100 0 140 -40 0 0", "rect 100 0 140 -40 3 1", "rect 0 0 40 -40 0 0"}));

    pressBox(MODE_RECT); // picked is still 1: a new shape is born selected
    g_display_calls.clear();
    drag(200, 0, 220, -20);
    EXPECT_EQ(g_display_calls, (Calls{"rect 200 0 220 -20 0 0", "rect 200 0 220 -20 3 1"}));
}

TEST_F(EditorStateTest, PickOnTheCurrentPickSelectsThenDeselectsItButKeepsItPicked) {
    const Shape *shape = drag(0, 0, 40, -40);
    pressBox(MODE_PICK);
    click(20, -20);
    click(20, -20);
    EXPECT_EQ(state.currentPick, shape);
    EXPECT_EQ(state.previousPick, shape);
    EXPECT_EQ(state.picked, 1);
    EXPECT_EQ(drawn(), (Calls{"rect 0 0 40 -40 0 0"})); // no outline

    pressBox(MODE_MOVE); // still the target
    EXPECT_EQ(state.moveArmed, 1);
    click(100, 100);
    EXPECT_EQ(corners(shape), (std::vector<int>{100, 100, 140, 60}));
}

TEST_F(EditorStateTest, PickOnEmptyCanvasForgetsTheTargetButKeepsOutlineAndPicked) {
    const Shape *shape = drag(0, 0, 40, -40);
    pressBox(MODE_PICK);
    click(20, -20);
    click(200, 200);
    EXPECT_EQ(state.currentPick, nullptr);
    EXPECT_EQ(state.previousPick, shape);
    EXPECT_EQ(state.picked, 1);
    EXPECT_EQ(drawn(), (Calls{"rect 0 0 40 -40 0 0", "rect 0 0 40 -40 3 1"}));

    pressBox(MODE_DELETE); // consumes the pick, removes nothing
    EXPECT_EQ(state.picked, 0);
    EXPECT_EQ(shapes.front()->shape, shape);

    pressBox(MODE_PICK); // pick nothing again, then arm Move and Resize: no target to act on
    click(20, -20);
    click(200, 200);
    pressBox(MODE_MOVE);
    click(-100, -100);
    EXPECT_EQ(state.moveArmed, 0);
    EXPECT_EQ(corners(shape), (std::vector<int>{0, 0, 40, -40}));
}

TEST_F(EditorStateTest, MoveAndResizeArmOnlyWithAPendingPickAndActOnOneClick) {
    Shape *shape = const_cast<Shape *>(drag(0, 0, 40, -40));

    pressBox(MODE_MOVE); // nothing picked: only the mode changes
    EXPECT_EQ(state.mode, MODE_MOVE);
    EXPECT_EQ(state.moveArmed, 0);
    click(100, 100);
    EXPECT_EQ(state.clickPhase, 1);
    EXPECT_EQ(corners(shape), (std::vector<int>{0, 0, 40, -40}));

    pressBox(MODE_PICK);
    click(20, -20);
    pressBox(MODE_MOVE);
    EXPECT_EQ(state.picked, 0);
    EXPECT_EQ(state.moveArmed, 1);
    click(100, 100);
    EXPECT_EQ(corners(shape), (std::vector<int>{100, 100, 140, 60}));
    EXPECT_EQ(state.moveArmed, 0);
    EXPECT_EQ(state.clickPhase, 1);
    click(-100, -100); // one click per arming
    EXPECT_EQ(corners(shape), (std::vector<int>{100, 100, 140, 60}));
    EXPECT_EQ(drawn(), (Calls{"rect 100 100 140 60 0 0", "rect 100 100 140 60 3 1"}));

    pressBox(MODE_RESIZE); // the pick was used by the Move
    EXPECT_EQ(state.resizeArmed, 0);
    pressBox(MODE_PICK);
    click(120, 80);
    pressBox(MODE_RESIZE);
    EXPECT_EQ(state.resizeArmed, 1);
    pressBox(MODE_RECT); // an unused arming survives other tool clicks...
    pressBox(MODE_MOVE);
    EXPECT_EQ(state.resizeArmed, 1);
    click(0, 0); // ...and a click in another mode
    EXPECT_EQ(corners(shape), (std::vector<int>{100, 100, 140, 60}));
    pressBox(MODE_RESIZE);
    click(90, 110);
    EXPECT_EQ(corners(shape), (std::vector<int>{90, 110, 140, 60}));
    EXPECT_EQ(state.resizeArmed, 0);
    click(0, 0);
    EXPECT_EQ(corners(shape), (std::vector<int>{90, 110, 140, 60}));
}

TEST_F(EditorStateTest, DeleteRemovesThePickOnTheButtonClickAndOnlyOnce) {
    Shape *older = const_cast<Shape *>(drag(0, 0, 40, -40));
    const Shape *newer = drag(100, 0, 140, -40);
    pressBox(MODE_PICK);
    click(20, -20);
    pressBox(MODE_DELETE);
    EXPECT_EQ(state.picked, 0);
    EXPECT_EQ(state.currentPick, older); // still refers to the removed shape
    EXPECT_EQ(drawn(), (Calls{"rect 100 0 140 -40 0 0"}));

    pressBox(MODE_DELETE);
    EXPECT_EQ(drawn(), (Calls{"rect 100 0 140 -40 0 0"}));

    pressBox(MODE_PICK); // a later pick deselects the removed shape without harm
    click(120, -20);
    EXPECT_EQ(state.currentPick, newer);
    EXPECT_EQ(state.previousPick, older);
    g_display_calls.clear();
    older->draw(display);
    EXPECT_EQ(g_display_calls, (Calls{"rect 0 0 40 -40 0 0"}));
    EXPECT_EQ(drawn(), (Calls{"rect 100 0 140 -40 0 0", "rect 100 0 140 -40 3 1"}));
}

TEST_F(EditorStateTest, OverlappingShapesPickTheNewerOne) {
    drag(-50, 50, 50, -50);
    const Shape *newer = drag(0, 20, 100, -20);
    pressBox(MODE_PICK);
    click(10, 0);
    EXPECT_EQ(state.currentPick, newer);
}
