// Shapes against the recording display: what each shape asks the display to draw.
#include "editor/shapes.h"
#include "fake_display.h"

#include <gtest/gtest.h>

using Calls = std::vector<std::string>;

class ShapesTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_fake_display(); }
    GraphicsDisplay display;
    void forget() { g_display_calls.clear(); }
};

TEST_F(ShapesTest, FullConstructorsDrawAtOnceWithOutlineOnlyWhenSelectedIsOne) {
    forget();
    RectShape plain(-10, 20, 30, -40, display, 2, 0);
    EXPECT_EQ(g_display_calls, (Calls{"rect -10 20 30 -40 2 0"}));

    forget();
    RectShape selected(-10, 20, 30, -40, display, 4, 1);
    EXPECT_EQ(g_display_calls, (Calls{"rect -10 20 30 -40 4 0", "rect -10 20 30 -40 3 1"}));

    forget();
    OvalShape oval(5, 6, 7, 8, display, 5, 1); // the outline is the box, not an oval
    EXPECT_EQ(g_display_calls, (Calls{"oval 5 6 7 8 5 0", "rect 5 6 7 8 3 1"}));

    forget();
    OvalShape two(5, 6, 7, 8, display, 0, 2); // only exactly 1 means selected
    RectShape other(1, 2, 3, 4, display, 0, 255);
    EXPECT_EQ(g_display_calls, (Calls{"oval 5 6 7 8 0 0", "rect 1 2 3 4 0 0"}));
}

TEST_F(ShapesTest, DefaultConstructorsDrawNothingAndSettersTakeEffectAtNextDraw) {
    forget();
    RectShape rect;
    OvalShape oval;
    EXPECT_TRUE(g_display_calls.empty());
    EXPECT_EQ(rect.getX1(), 0);
    EXPECT_EQ(oval.getY2(), 0);

    rect.setX1(30); // reversed corners are kept as given
    rect.setY1(-5);
    rect.setX2(-30);
    rect.setY2(5);
    rect.setColor(99); // an index outside the table is passed on unchanged
    rect.setSelected(1);
    EXPECT_TRUE(g_display_calls.empty());
    EXPECT_EQ(rect.getX1(), 30);
    EXPECT_EQ(rect.getY1(), -5);
    EXPECT_EQ(rect.getX2(), -30);
    EXPECT_EQ(rect.getY2(), 5);

    const Shape &shape = rect;
    shape.draw(display);
    rect.setSelected(0);
    shape.draw(display);
    EXPECT_EQ(g_display_calls,
              (Calls{"rect 30 -5 -30 5 99 0", "rect 30 -5 -30 5 3 1", "rect 30 -5 -30 5 99 0"}));
}
