// app_main against the recording display: the start-up order, a redraw after every event
// (the quit event included), and the display shut down at the end.
#include "editor/editor_state.h"
#include "fake_display.h"

#include <gtest/gtest.h>

int app_main();

using Calls = std::vector<std::string>;

namespace {

Calls palette_calls() {
    Calls calls;
    {
        GraphicsDisplay display;
        g_display_calls.clear();
        drawPalette(display);
        calls = g_display_calls;
    }
    g_display_calls.clear();
    return calls;
}

void append(Calls &to, const Calls &from) {
    to.insert(to.end(), from.begin(), from.end());
}

} // namespace

TEST(EditorMain, StartsClearsRunsAndRedrawsAfterEveryEventUntilQuit) {
    reset_fake_display();
    const Calls palette = palette_calls();
    g_display_events = {{DE_MOUSE, 0, 0, 0},    {DE_MOUSE, 10, -10, 0}, {DE_KEY, 0, 0, 'a'},
                        {DE_PERIODIC, 0, 0, 0}, {DE_NONE, 0, 0, 0},     {DE_QUIT, 0, 0, 0},
                        {DE_MOUSE, 50, 50, 0}};

    EXPECT_EQ(app_main(), 0);

    Calls expected{"construct", "clear 1", "anim 2"};
    append(expected, palette);
    auto turn = [&](const Calls &drawn_by_event, const Calls &shapes) {
        expected.push_back("event");
        append(expected, drawn_by_event);
        expected.push_back("clear 1");
        append(expected, palette);
        append(expected, shapes);
    };
    const Calls rect{"rect 0 0 10 -10 0 0"};
    turn({}, {});
    turn(rect, rect); // the new shape draws itself, then the whole picture is redrawn
    turn({}, rect);
    turn({}, rect);
    turn({}, rect);
    turn({}, rect); // quit: one last redraw
    expected.push_back("destroy");
    EXPECT_EQ(g_display_calls, expected);
    EXPECT_EQ(g_display_events.size(), 1u); // nothing is fetched after the quit
}
