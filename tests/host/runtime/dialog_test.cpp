// The text-entry dialog's answers on the headless platform, and the display object over the
// runtime: what each method hands to the runtime, and the end of a process that asks for a
// second display.
#include "tests/host/runtime/runtime_checks.h"

#include <cstdlib>
#include <cstring>

#include "display/graphics_display.h"

using Dialog = FreshRuntime;
using Display = FreshRuntime;

TEST_F(Dialog, AnswersComeInTheirOrderCutToTheBufferAndTheirEndEndsTheProgram) {
    const std::string long_answer(300, 'z');
    setenv("ZEPHA_ANSWERS", ("hello, world\r\n\n" + long_answer).c_str(), 1);
    start_runtime();
    char answer[GETS_ANSWER_SIZE + 16];
    EXPECT_EQ(1, ZEPHA_gets("Your greeting?", answer));
    EXPECT_STREQ("hello, world", answer);
    EXPECT_EQ(answer, g_gets_target);
    EXPECT_EQ(1, ZEPHA_gets("Nothing?", answer));
    EXPECT_STREQ("", answer);
    memset(answer, '#', sizeof answer);
    EXPECT_EQ(1, ZEPHA_gets("Long?", answer));
    EXPECT_EQ(std::string(GETS_ANSWER_SIZE - 1, 'z'), answer);
    EXPECT_EQ('#', answer[GETS_ANSWER_SIZE]) << "written past the 256-byte answer";
    EXPECT_EXIT(ZEPHA_gets("More?", answer), testing::ExitedWithCode(headless::NO_ANSWER_STATUS),
                "no answer for the text-entry dialog");
}

TEST_F(Display, ConstructionOpensTheWindowsWithLoggingOff) {
    GraphicsDisplay display;
    EXPECT_TRUE(windows_started());
    EXPECT_EQ(1, g_display_created);
    EXPECT_EQ(0, g_logging);
    EXPECT_FALSE(checked(IDM_LOGGING));
}

TEST_F(Display, ClearWritesThreeLinesAndFillsTheArea) {
    GraphicsDisplay display;
    ZEPHA_set_logging(1);
    display.clear(WHITE);
    const std::vector<std::string> expected = {
        "Flushing the graphics window\n",
        "Clearing the graphics window\n",
        "white rectangle with bounding box (-300,250) to (300,-250), filled\n",
    };
    EXPECT_EQ(expected, last_log_lines(3));

    ZEPHA_set_logging(0);
    display.clear(30);
    EXPECT_EQ("Illegal color 30; using RED.\n", log_ring().back());
    // The area reaches past the client area's left and top edges; the surface's right and
    // bottom margins show where it ends.
    EXPECT_EQ(RED_VALUE, pixel_at(0, 0));
    EXPECT_EQ(RED_VALUE, g_surface_pixels[0]);
    EXPECT_EQ(RED_VALUE, pixel_at(300, -250));
    EXPECT_NE(RED_VALUE, pixel_at(301, 0));
    EXPECT_NE(RED_VALUE, pixel_at(0, -251));
}

TEST_F(Display, DrawingMethodsReorderTheirArgumentsForTheRuntime) {
    GraphicsDisplay display;
    ZEPHA_set_logging(1);
    EXPECT_EQ(1, display.drawCircle(10, 20, 5, RED));
    EXPECT_EQ(1, display.drawRectangle(1, 2, 3, 4, BLUE, 2));
    EXPECT_EQ(1, display.drawOval(-1, -2, 3, 4, GREEN, 0));
    EXPECT_EQ(9, display.drawText(7, 8, "100% sure", YELLOW, 14));
    const std::vector<std::string> expected = {
        "red circle at (10,20), radius 5\n",
        "blue rectangle with bounding box (1,4) to (3,2) with line width 2\n",
        "green oval with bounding box (-1,4) to (3,-2), filled\n",
        "yellow text at (7,8), \"100% sure\"\n",
    };
    EXPECT_EQ(expected, last_log_lines(4));
}

TEST_F(Display, EventsAndAnimationModes) {
    GraphicsDisplay display;
    int x = 0, y = 0;
    char key = 0;
    type('q');
    EXPECT_EQ(DE_KEY, display.getNextEvent(x, y, key));
    EXPECT_EQ('q', key);
    click_at(5, 6);
    EXPECT_EQ(DE_MOUSE, display.getNextEvent(x, y, key));
    EXPECT_EQ(5, x);
    EXPECT_EQ(6, y);

    display.setAnimation(AM_STEP);
    EXPECT_EQ(DE_PERIODIC, display.getNextEvent(x, y, key));
    display.setAnimation(4);
    EXPECT_EQ(0, g_quit_pending);
    display.setAnimation(AM_QUIT);
    EXPECT_EQ(1, g_quit_pending);
    queue_input(INPUT_CLICK, 0, 0);
    EXPECT_EQ(DE_QUIT, display.getNextEvent(x, y, key));
}

// The dialog of a second display shows its message and takes no answer; the program ends.
TEST_F(Display, SecondDisplayShowsTheErrorAndExitsWithMinusOne) {
    GraphicsDisplay first;
    EXPECT_EXIT({ GraphicsDisplay second; }, testing::ExitedWithCode(255),
                "ZEPHA_gets: Error: Attempted to instantiate multiple ZEPHA displays");
}
