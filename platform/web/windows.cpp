// Start-up of the web platform: the page's canvas, the 100 ms tick, and the pump that hands the
// wait loop one input per turn. The input itself waits in page.js, whose handlers collect it
// while the program runs; the runtime hands the browser its turn only inside the wait (and the
// dialog), so the program's own loop keeps running as it is.
#include "platform/web/web_state.h"

#include <emscripten.h>

// ---- Constants ----

namespace zepha::web {
namespace {

// A busy wait (a script playing, say) hands the browser a turn this often, so the page shows
// the picture and takes input meanwhile.
constexpr double BUSY_TURN_MS = 15;

} // namespace
} // namespace zepha::web

// ---- State ----

HINSTANCE g_instance = nullptr;
bool g_page_started = false;

namespace zepha::web {
namespace {

// The client area as the canvas takes it: bytes red, green, blue and an opaque alpha, which is
// the surface's 0x00BBGGRR with the top byte set, in WebAssembly's little-endian memory.
uint32_t client_pixels[CLIENT_WIDTH * CLIENT_HEIGHT];
bool surface_to_show = false;
bool canvas_painted = false;
double last_turn_ms = 0;

} // namespace

// ---- The page's side (page.js) ----

namespace {

// clang-format off
EM_JS(void, page_start, (int show, int width, int height, const void *script_file), {
    zepha.start(show, width, height, script_file);
});
EM_JS(int, page_take_input, (int *a, int *b), {
    const input = zepha.queue.shift();
    if (input === undefined)
        return -1;
    HEAP32[a >> 2] = input[1];
    HEAP32[b >> 2] = input[2];
    return input[0];
});
EM_JS(int, page_take_tick, (), {
    const tick = zepha.tick;
    zepha.tick = false;
    return tick ? 1 : 0;
});
EM_JS(void, page_show_pixels, (const uint32_t *pixels), { zepha.showPixels(pixels); });
// Sleeps until there is input or a tick.
EM_ASYNC_JS(void, page_wait_for_input, (), { await zepha.waitForInput(); });
// One turn of the browser's own work (painting, input handlers), then on at once.
EM_ASYNC_JS(void, page_take_turn, (), { await zepha.takeTurn(); });
// clang-format on

// Moves what the page's handlers collected into the core's queue.
void take_page_input() {
    int a = 0, b = 0;
    for (int kind; (kind = page_take_input(&a, &b)) >= 0;)
        queue_input(static_cast<InputKind>(kind), a, b);
    if (page_take_tick() != 0)
        queue_timer_tick();
}

} // namespace

// A picture the same as the one shown (a program that redraws at every tick, say) is not put on
// the canvas again: the browser would composite the page anew for nothing.
void show_surface_now() {
    if (!surface_to_show)
        return;
    surface_to_show = false;
    bool changed = !canvas_painted;
    for (int row = 0; row < CLIENT_HEIGHT; row++) {
        const uint32_t *from = g_surface_pixels + row * SURFACE_WIDTH;
        uint32_t *to = client_pixels + row * CLIENT_WIDTH;
        for (int column = 0; column < CLIENT_WIDTH; column++) {
            const uint32_t pixel = from[column] | 0xFF000000u;
            changed = changed || to[column] != pixel;
            to[column] = pixel;
        }
    }
    if (changed)
        page_show_pixels(client_pixels);
    canvas_painted = true;
}

namespace {

bool windows_started() {
    return g_page_started;
}

bool pump_one_message() {
    const double now = emscripten_get_now();
    if (now - last_turn_ms >= BUSY_TURN_MS) {
        show_surface_now();
        page_take_turn();
        last_turn_ms = emscripten_get_now();
    }
    take_page_input();
    const bool took = take_one_input();
    if (g_surface_dirty != 0)
        copy_surface_to_window();
    return took;
}

void block_until_message() {
    take_page_input();
    if (input_waiting())
        return;
    show_surface_now();
    page_wait_for_input();
    last_turn_ms = emscripten_get_now();
}

// The canvas takes the picture when the browser next gets its turn: the browser shows nothing
// earlier, and a busy program presents many times between two turns.
void copy_surface_to_window() {
    g_surface_dirty = 0;
    surface_to_show = true;
}

void start_windows(HINSTANCE instance, HINSTANCE /*previous*/, int show) {
    // The logical origin is the centre of the client area.
    g_origin_x = CLIENT_WIDTH / 2;
    g_origin_y = CLIENT_HEIGHT / 2;
    page_start(show, CLIENT_WIDTH, CLIENT_HEIGHT, &g_script_file);
    build_menu_bar();
    build_log_window(show);
    g_instance = instance;
    g_page_started = true;
    last_turn_ms = emscripten_get_now();
}

void stop_windows() {}

} // namespace
} // namespace zepha::web

namespace zepha {

const Platform WEB_PLATFORM = {
    "web",
    web::start_windows,
    web::stop_windows,
    web::windows_started,
    web::pump_one_message,
    web::block_until_message,
    queue_quit,
    software::render_item,
    software::erase_surface,
    web::copy_surface_to_window,
    web::check_menu_item,
    web::append_log_line,
    web::show_log_window,
    web::gets,
};

} // namespace zepha
