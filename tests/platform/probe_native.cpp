// The native platforms' side of the tests that run on every platform: input queued as the
// toolkit's handlers queue it, and the surface in memory. ZEPHA_PLATFORM chooses FLTK or the
// headless platform, as for any program.
#include "tests/platform/probe.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Menu_Bar.H>

#include <cstring>

#include "platform/fltk/fltk_state.h"
#include "platform/headless/headless_state.h"

using namespace zepha;

namespace {

bool on_headless() {
    return strcmp(platform().name, HEADLESS_PLATFORM.name) == 0;
}

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
    if (on_headless()) {
        queue_input(INPUT_CHAR, static_cast<unsigned char>(character));
        return;
    }
    const char text[2] = {character, '\0'};
    fltk::queue_key(static_cast<unsigned char>(character), text);
}

void probe_ctrl(char letter) {
    if (on_headless()) {
        queue_input(INPUT_CTRL, 1);
        queue_input(INPUT_KEY_DOWN, letter & ~0x20);
        queue_input(INPUT_CHAR, letter & 0x1F);
        queue_input(INPUT_CTRL, 0);
        return;
    }
    const char text[2] = {static_cast<char>(letter & 0x1F), '\0'};
    fltk::queue_key(FL_Control_L, "");
    fltk::queue_key(letter | 0x20, text); // the toolkit names a letter key by its small letter
    queue_input(INPUT_CTRL, 0);
}

bool probe_checked(int command) {
    if (on_headless())
        return headless::menu_checked(command);
    for (int i = 0; i < g_menu_bar->size(); i++) {
        const Fl_Menu_Item &item = g_menu_bar->menu()[i];
        if (item.label() != nullptr && item.user_data() == reinterpret_cast<void *>(command))
            return item.value() != 0;
    }
    return false;
}

std::vector<std::string> probe_log_ring() {
    std::vector<std::string> lines;
    for (int slot = g_log_first, n = 0; slot >= 0 && !(slot == g_log_next && n > 0); n++) {
        lines.emplace_back(g_log_lines[slot] != nullptr ? g_log_lines[slot] : "");
        slot = (slot + 1) % LOG_RING_SIZE;
    }
    return lines;
}
