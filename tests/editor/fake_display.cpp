#include "fake_display.h"

#include <initializer_list>

// The stand-in sets the display's area fields but has no use for them.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wunused-private-field"
#endif

std::vector<std::string> g_display_calls;
std::deque<FakeEvent> g_display_events;

namespace {

void record(const std::string &name, std::initializer_list<int> args) {
    std::string line = name;
    for (int arg : args)
        line += " " + std::to_string(arg);
    g_display_calls.push_back(line);
}

} // namespace

void reset_fake_display() {
    g_display_calls.clear();
    g_display_events.clear();
}

GraphicsDisplay::GraphicsDisplay() : width(600), height(500) {
    record("construct", {});
}

GraphicsDisplay::~GraphicsDisplay() {
    record("destroy", {});
}

void GraphicsDisplay::clear(int color) {
    record("clear", {color});
}

DisplayEvent GraphicsDisplay::getNextEvent(int &x, int &y, char &key) {
    record("event", {});
    if (g_display_events.empty())
        return DE_QUIT;
    FakeEvent event = g_display_events.front();
    g_display_events.pop_front();
    x = event.x;
    y = event.y;
    key = event.key;
    return event.kind;
}

void GraphicsDisplay::setAnimation(int mode) {
    record("anim", {mode});
}

int GraphicsDisplay::drawText(int x, int y, const char *text, int color, int size) {
    g_display_calls.push_back("text " + std::to_string(x) + " " + std::to_string(y) + " " + text +
                              " " + std::to_string(color) + " " + std::to_string(size));
    return static_cast<int>(std::string(text).size());
}

int GraphicsDisplay::drawRectangle(int x1, int y1, int x2, int y2, int color, int width) {
    record("rect", {x1, y1, x2, y2, color, width});
    return 1;
}

int GraphicsDisplay::drawOval(int x1, int y1, int x2, int y2, int color, int width) {
    record("oval", {x1, y1, x2, y2, color, width});
    return 1;
}

int GraphicsDisplay::drawCircle(int x, int y, int radius, int color) {
    record("circle", {x, y, radius, color});
    return 1;
}
