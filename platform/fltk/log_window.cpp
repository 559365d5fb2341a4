// The log window: each message drawn as the new bottom line as it is logged, the lines above it
// moving up one line, in a fixed-width face. Keys pressed there go to the graphics window.
#include "platform/fltk/fltk_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <cstring>
#include <deque>
#include <string>

// ---- Constants ----

namespace zepha::fltk {
namespace {

constexpr int LINES_KEPT = 200; // more than the window has room for on any screen
constexpr int TEXT_LEFT = 5;
constexpr Fl_Font LOG_FONT = FL_COURIER;
constexpr int LOG_FONT_SIZE = 13;

} // namespace

// ---- State ----

namespace {

// What the window shows, oldest first: the last line is the bottom one.
std::deque<std::string> lines_shown;

} // namespace

// ---- Internal functions ----

namespace {

class LogView : public Fl_Widget {
  public:
    LogView(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}

    void draw() override {
        fl_color(FL_WHITE);
        fl_rectf(x(), y(), w(), h());
        fl_font(LOG_FONT, LOG_FONT_SIZE);
        fl_color(FL_BLACK);
        const int line_height = fl_height();
        int baseline = y() + h() - fl_descent();
        for (auto line = lines_shown.rbegin(); line != lines_shown.rend() && baseline > y();
             ++line, baseline -= line_height)
            fl_draw(line->c_str(), static_cast<int>(line->size()), x() + TEXT_LEFT, baseline);
    }

    int handle(int event) override {
        switch (event) {
        case FL_PUSH:
        case FL_FOCUS:
        case FL_UNFOCUS: return 1;
        case FL_KEYDOWN: queue_key(Fl::event_key(), Fl::event_text()); return 1;
        case FL_KEYUP: queue_key_release(Fl::event_key()); return 1;
        default: return Fl_Widget::handle(event);
        }
    }
};

Fl_Widget *log_view = nullptr;

} // namespace

// Along the bottom third of the screen, the whole screen wide.
void build_log_window(int show) {
    int screen_x, screen_y, screen_width, screen_height;
    Fl::screen_xywh(screen_x, screen_y, screen_width, screen_height);
    g_log_window = new Fl_Window(0, (2 * screen_height) / 3 + 1, screen_width, screen_height / 3,
                                 "ZEPHA Text");
    log_view = new LogView(0, 0, screen_width, screen_height / 3);
    g_log_window->end();
    g_log_window->resizable(log_view);
    if (show != 0)
        g_log_window->show();
}

void append_log_line(char *text) {
    // Before start-up the ring alone keeps the message.
    if (g_log_window == nullptr)
        return;
    size_t length = strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[--length] = '\0';
    lines_shown.emplace_back(text, length);
    if (lines_shown.size() > LINES_KEPT)
        lines_shown.pop_front();
    log_view->redraw();
}

int show_log_window(int show) {
    if (g_log_window == nullptr)
        return 0;
    const int was_shown = g_log_window->shown() && g_log_window->visible() ? 1 : 0;
    show ? g_log_window->show() : g_log_window->hide();
    return was_shown;
}

} // namespace zepha::fltk
