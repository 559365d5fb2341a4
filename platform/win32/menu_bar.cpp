// The Run menu on the graphics window's menu bar, its check marks, and the keys that make the
// Ctrl+letter shortcuts.
#include "platform/win32/win32_state.h"

// ---- Internal functions ----

namespace zepha::win32 {

void build_run_menu(HWND window) {
    HMENU bar = CreateMenu();
    g_run_menu = CreatePopupMenu();
    for (const RunMenuEntry &entry : RUN_MENU) {
        switch (entry.kind) {
        case MENU_COMMAND: AppendMenuA(g_run_menu, MF_STRING, entry.id, entry.text); break;
        case MENU_CHECKED_COMMAND: AppendMenuA(g_run_menu, MF_CHECKED, entry.id, entry.text); break;
        case MENU_SEPARATOR: AppendMenuA(g_run_menu, MF_SEPARATOR, 0, nullptr); break;
        case MENU_INFO: AppendMenuA(g_run_menu, MF_GRAYED, entry.id, entry.text); break;
        }
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(g_run_menu), RUN_MENU_TITLE);
    SetMenu(window, bar);
    DrawMenuBar(window);
}

void check_menu_item(int id, bool checked) {
    CheckMenuItem(g_run_menu, id, checked ? MF_CHECKED : MF_UNCHECKED);
}

void on_key_down(WPARAM key) {
    if (key == VK_CONTROL) {
        g_ctrl_down = 1;
        return;
    }
    if (g_ctrl_down)
        on_shortcut(key);
}

void on_key_up(WPARAM key) {
    if (key == VK_CONTROL)
        g_ctrl_down = 0;
}

} // namespace zepha::win32
