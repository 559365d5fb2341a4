// Start-up of the FLTK platform: the graphics window with its menu bar and the view that shows
// the surface, the 100 ms timer, and the pump that hands the wait loop one input per turn.
#include "platform/fltk/fltk_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#if !defined(__APPLE__)
#include <FL/x.H>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>

// ---- Constants ----

namespace zepha::fltk {
namespace {

constexpr int CLIENT_WIDTH = 595; // the graphics window's client area, as on Windows
constexpr int CLIENT_HEIGHT = 496;
constexpr int MENU_BAR_HEIGHT = 25;
// Showing the surface costs about a millisecond (the whole picture goes to the X server), so it
// is shown at most this often: while input keeps coming (playback, say), a change in between
// waits for the next frame, and a wait that finds nothing to do shows it at once, so what
// stays on the screen is always current.
constexpr double FRAME_INTERVAL_S = 1.0 / 60;
// A look at the toolkit's events costs three system calls; while input keeps the wait loop busy
// (playback, say) it looks at most this often, and a wait that finds nothing to do looks at once.
constexpr double CHECK_INTERVAL_S = 1.0 / 1000;

} // namespace
} // namespace zepha::fltk

// ---- State ----

HINSTANCE g_instance = nullptr;
Fl_Window *g_graphics_window = nullptr;
Fl_Window *g_log_window = nullptr;
Fl_Menu_Bar *g_menu_bar = nullptr;

namespace zepha::fltk {
namespace {

Fl_Widget *surface_view = nullptr;
std::chrono::steady_clock::time_point last_frame;
std::chrono::steady_clock::time_point last_check;

} // namespace

// ---- Internal functions ----

namespace {

// Shows the surface's top-left corner in the client area, as the Windows build copies it.
class SurfaceView : public Fl_Widget {
  public:
    SurfaceView(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}

    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_draw_image(reinterpret_cast<const uchar *>(g_surface_pixels), x(), y(), SURFACE_WIDTH,
                      SURFACE_HEIGHT, 4, SURFACE_WIDTH * 4);
        fl_pop_clip();
    }

    int handle(int event) override {
        switch (event) {
        case FL_PUSH:
            if (Fl::event_button() == FL_LEFT_MOUSE)
                queue_input(INPUT_CLICK, Fl::event_x() - x(), Fl::event_y() - y());
            take_focus();
            return 1;
        case FL_FOCUS:
        case FL_UNFOCUS: return 1;
        case FL_KEYDOWN: queue_key(Fl::event_key(), Fl::event_text()); return 1;
        case FL_KEYUP: queue_key_release(Fl::event_key()); return 1;
        default: return Fl_Widget::handle(event);
        }
    }
};

void on_tick(void *) {
    queue_timer_tick();
    Fl::repeat_timeout(TICK_INTERVAL_MS / 1000.0, on_tick);
}

// Closing the graphics window ends the timer and asks to quit. (The toolkit also calls this for
// Escape, which the surface view takes as a typed character instead.)
void on_close(Fl_Widget *window, void *) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
        return;
    window->hide();
    Fl::remove_timeout(on_tick);
    queue_quit();
}

void show_surface() {
    g_surface_dirty = 0;
    if (surface_view == nullptr)
        return;
    surface_view->damage(FL_DAMAGE_ALL);
    Fl::flush();
    last_frame = std::chrono::steady_clock::now();
}

bool frame_due() {
    return std::chrono::steady_clock::now() - last_frame >=
           std::chrono::duration<double>(FRAME_INTERVAL_S);
}

// The character a key typed, in the 8-bit code the script and events carry: ASCII, and the
// Latin-1 characters; nothing for keys that type no character.
int typed_character(int key, const char *text) {
    if (key == FL_Delete || text == nullptr || text[0] == '\0')
        return -1;
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (first < 0x80)
        return first;
    const unsigned char second = static_cast<unsigned char>(text[1]);
    if ((first & 0xE0) == 0xC0 && (second & 0xC0) == 0x80) {
        const int code = ((first & 0x1F) << 6) | (second & 0x3F);
        return code < 0x100 ? code : -1;
    }
    return -1;
}

} // namespace

// A key press as the Windows build sees it: Ctrl, or a key (its letter for the shortcuts),
// then the character it typed.
void queue_key(int key, const char *text) {
    if (key == FL_Control_L || key == FL_Control_R) {
        queue_input(INPUT_CTRL, 1);
        return;
    }
    if (key >= 'a' && key <= 'z')
        queue_input(INPUT_KEY_DOWN, key - 'a' + 'A');
    const int character = typed_character(key, text);
    if (character >= 0)
        queue_input(INPUT_CHAR, character);
}

void queue_key_release(int key) {
    if (key == FL_Control_L || key == FL_Control_R)
        queue_input(INPUT_CTRL, 0);
}

namespace {

bool windows_started() {
    return g_graphics_window != nullptr;
}

void copy_surface_to_window() {
    if (frame_due())
        show_surface();
}

bool pump_one_message() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_check >= std::chrono::duration<double>(CHECK_INTERVAL_S)) {
        Fl::check();
        last_check = now;
    }
    const bool took = take_one_input();
    if (g_surface_dirty != 0)
        copy_surface_to_window();
    return took;
}

void block_until_message() {
    if (input_waiting())
        return;
    if (g_surface_dirty != 0)
        show_surface();
    Fl::wait(1e20);
}

void build_graphics_window() {
    g_graphics_window =
        new Fl_Window(0, 0, CLIENT_WIDTH, MENU_BAR_HEIGHT + CLIENT_HEIGHT, "ZEPHA Graphics");
    build_menu_bar(CLIENT_WIDTH);
    surface_view = new SurfaceView(0, MENU_BAR_HEIGHT, CLIENT_WIDTH, CLIENT_HEIGHT);
    g_graphics_window->end();
    // The menu bar and the view cover the whole window, so it paints no background of its own:
    // a repaint of the client area then writes each pixel once, with the surface's colour, and
    // never shows a grey fill before the picture (nor has the X server fill exposed parts).
    g_graphics_window->box(FL_NO_BOX);
    g_graphics_window->callback(on_close);
    // The logical origin is the centre of the client area.
    g_origin_x = CLIENT_WIDTH / 2;
    g_origin_y = CLIENT_HEIGHT / 2;
}

// Without an X display the toolkit would end the program with a message of its own; this says
// what the user can do instead.
void open_display() {
#if !defined(__APPLE__)
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char *name = getenv("DISPLAY");
        fprintf(stderr,
                "ZEPHA: this program needs an X display (DISPLAY is %s); "
                "ZEPHA_PLATFORM=headless runs it without one\n",
                name != nullptr && name[0] != '\0' ? "not reachable" : "unset");
        exit(1);
    }
    fl_open_display(display);
#endif
}

void start_windows(HINSTANCE instance, HINSTANCE /*previous*/, int show) {
    open_display();
    Fl::visual(FL_RGB);
    build_graphics_window();
    build_log_window(show);
    g_instance = instance;
    if (show != 0) {
        g_graphics_window->show();
        surface_view->take_focus();
    }
    Fl::add_timeout(TICK_INTERVAL_MS / 1000.0, on_tick);
    Fl::flush();
}

void stop_windows() {
    if (g_surface_dirty != 0)
        show_surface();
}

} // namespace
} // namespace zepha::fltk

namespace zepha {

const Platform FLTK_PLATFORM = {
    "fltk",
    fltk::start_windows,
    fltk::stop_windows,
    fltk::windows_started,
    fltk::pump_one_message,
    fltk::block_until_message,
    queue_quit,
    software::render_item,
    software::erase_surface,
    fltk::copy_surface_to_window,
    fltk::check_menu_item,
    fltk::append_log_line,
    fltk::show_log_window,
    fltk::gets,
};

} // namespace zepha
