// Start-up of the FLTK platform: the graphics window with its menu bar and the view that shows
// the surface, the 100 ms timer, and the pump that hands the wait loop one input per turn.
#include "runtime/runtime_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <chrono>
#include <deque>

// ---- Constants ----

namespace {

constexpr int CLIENT_WIDTH = 595; // the graphics window's client area, as on Windows
constexpr int CLIENT_HEIGHT = 496;
constexpr int MENU_BAR_HEIGHT = 25;
// Showing the surface costs about a millisecond (the whole picture goes to the X server), so it
// is shown at most this often: while input keeps coming (playback, say), a change in between
// waits for the next frame, and a wait that finds nothing to do shows it at once, so what
// stays on the screen is always current.
constexpr double FRAME_INTERVAL_S = 1.0 / 60;

} // namespace

// ---- State ----

HINSTANCE g_instance = nullptr;
Fl_Window *g_graphics_window = nullptr;
Fl_Window *g_log_window = nullptr;
Fl_Menu_Bar *g_menu_bar = nullptr;

namespace {

// Input in the order it arrived. As on Windows, a quit comes after the input queued before it,
// and a timer tick only when nothing else is waiting; ticks not yet taken are one tick.
std::deque<Input> input_queue;
bool tick_waiting = false;
bool quit_posted = false;

Fl_Widget *surface_view = nullptr;
std::chrono::steady_clock::time_point last_frame;

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
    post_quit();
}

// Takes the next input and acts on it as the Windows build acts on its message.
bool take_one_input() {
    if (!input_queue.empty()) {
        const Input input = input_queue.front();
        input_queue.pop_front();
        switch (input.kind) {
        case INPUT_CLICK: on_click(input.a, input.b); break;
        case INPUT_CTRL: g_ctrl_down = input.a; break;
        case INPUT_KEY_DOWN:
            if (g_ctrl_down)
                on_shortcut(static_cast<uintptr_t>(input.a));
            break;
        case INPUT_CHAR: on_char(static_cast<uintptr_t>(input.a)); break;
        case INPUT_COMMAND: on_command(static_cast<uintptr_t>(input.a)); break;
        }
        return true;
    }
    if (quit_posted) {
        quit_posted = false;
        g_event_kind = EV_QUIT;
        return true;
    }
    if (tick_waiting) {
        tick_waiting = false;
        on_timer();
        return true;
    }
    return false;
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

void queue_input(InputKind kind, int a, int b) {
    input_queue.push_back({kind, a, b});
}

void queue_timer_tick() {
    tick_waiting = true;
}

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

bool windows_started() {
    return g_graphics_window != nullptr;
}

bool pump_one_message() {
    Fl::check();
    const bool took = take_one_input();
    if (g_surface_dirty != 0)
        copy_surface_to_window();
    return took;
}

void block_until_message() {
    if (!input_queue.empty() || quit_posted || tick_waiting)
        return;
    if (g_surface_dirty != 0)
        show_surface();
    Fl::wait(1e20);
}

void copy_surface_to_window() {
    if (frame_due())
        show_surface();
}

void post_quit() {
    quit_posted = true;
}

namespace {

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

} // namespace

// ---- Public functions ----

int ZEPHA_start_windows(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/,
                        int show) {
    g_animating = 0;
    g_step_pending = 0;
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
    return 1;
}

int ZEPHA_stop_windows() {
    if (g_surface_dirty != 0)
        show_surface();
    close_script();
    return 1;
}
