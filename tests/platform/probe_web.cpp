// The web platform's side of the tests that run on every platform: input queued as the page's
// handlers queue it, the surface in memory, and the menu's marks as the page shows them.
#include "tests/platform/probe.h"

#include "platform/web/web_state.h"

using namespace zepha;

#include <emscripten.h>

namespace {

// clang-format off
EM_JS(int, page_line_checked, (int id), {
    return zepha.menuLines[id] && zepha.menuLines[id].classList.contains('checked') ? 1 : 0;
});
// clang-format on

} // namespace

void probe_start() {
    ZEPHA_start_windows(nullptr, nullptr, nullptr, 1);
}

uint32_t probe_pixel(int x, int y) {
    return g_surface_pixels[(g_origin_y - y) * SURFACE_WIDTH + g_origin_x + x];
}

void probe_click(int client_x, int client_y) {
    queue_input(INPUT_CLICK, client_x, client_y);
}

void probe_type(char character) {
    queue_input(INPUT_CHAR, static_cast<unsigned char>(character));
}

void probe_ctrl(char letter) {
    queue_input(INPUT_CTRL, 1);
    queue_input(INPUT_KEY_DOWN, letter & ~0x20);
    queue_input(INPUT_CHAR, letter & 0x1F);
    queue_input(INPUT_CTRL, 0);
}

bool probe_checked(int command) {
    return page_line_checked(command) != 0;
}

std::vector<std::string> probe_log_ring() {
    std::vector<std::string> lines;
    for (int slot = g_log_first, n = 0; slot >= 0 && !(slot == g_log_next && n > 0); n++) {
        lines.emplace_back(g_log_lines[slot] != nullptr ? g_log_lines[slot] : "");
        slot = (slot + 1) % LOG_RING_SIZE;
    }
    return lines;
}
