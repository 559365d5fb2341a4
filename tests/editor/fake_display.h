// A stand-in for the runtime behind GraphicsDisplay: link fake_display.cpp instead of the
// display library and every call on the display is recorded as one line of text, and
// getNextEvent hands out events queued by the test. No window is opened.
#pragma once

#include "display/graphics_display.h"

#include <deque>
#include <string>
#include <vector>

struct FakeEvent {
    DisplayEvent kind;
    int x, y;
    char key;
};

// Calls in order, e.g. "rect -295 245 -255 205 0 1", "oval ...", "circle -275 185 10 0",
// "text -284 138 Pick 0 12", "clear 1", "anim 2", "event", "construct", "destroy"
extern std::vector<std::string> g_display_calls;
// Events that getNextEvent returns in turn; once empty it returns DE_QUIT
extern std::deque<FakeEvent> g_display_events;

void reset_fake_display(); // forgets the recorded calls and the queued events
