// The Win32 platform's side of the tests that run on every platform: posted window messages
// and GDI's view of the surface.
#include "tests/platform/probe.h"

#include "platform/win32/win32_state.h"

void probe_start() {
    ZEPHA_start_windows(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
}

uint32_t probe_pixel(int x, int y) {
    return GetPixel(g_surface_dc, g_origin_x + x, g_origin_y - y);
}

void probe_click(int client_x, int client_y) {
    PostMessageA(g_graphics_window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client_x, client_y));
}

void probe_type(char character) {
    PostMessageA(g_graphics_window, WM_CHAR, static_cast<unsigned char>(character), 0);
}

// The presses are taken at once, so that the character their translation queues comes while
// Ctrl is still down, as with a real keyboard; the releases are left for the next wait.
void probe_ctrl(char letter) {
    const WPARAM key = static_cast<WPARAM>(letter & ~0x20); // the key of a letter is its capital
    PostMessageA(g_graphics_window, WM_KEYDOWN, VK_CONTROL, 1);
    PostMessageA(g_graphics_window, WM_KEYDOWN, key, 1);
    MSG next;
    while (PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE) && next.message != WM_QUIT)
        pump_one_message(); // a quit its command posts is left for the next wait
    PostMessageA(g_graphics_window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    PostMessageA(g_graphics_window, WM_KEYUP, VK_CONTROL, static_cast<LPARAM>(0xC0000001u));
}

bool probe_checked(int command) {
    return (GetMenuState(g_run_menu, command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

std::vector<std::string> probe_log_ring() {
    std::vector<std::string> lines;
    for (int slot = g_log_first, n = 0; slot >= 0 && !(slot == g_log_next && n > 0); n++) {
        const char *text = static_cast<const char *>(GlobalLock(g_log_lines[slot]));
        lines.emplace_back(text != nullptr ? text : "");
        GlobalUnlock(g_log_lines[slot]);
        slot = (slot + 1) % LOG_RING_SIZE;
    }
    return lines;
}
