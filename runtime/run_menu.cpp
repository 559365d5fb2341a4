// The Run menu of the graphics window, its commands, and the Ctrl+letter shortcuts.
#include "runtime/runtime_state.h"

// ---- Constants ----

namespace {

struct MenuItem {
    UINT flags;
    UINT_PTR id;
    const char *text;
};

// The contact address of this project, shown in the grayed information lines.
#define ZEPHA_CONTACT "zepha@example.org"

const MenuItem RUN_MENU_ITEMS[] = {
    {MF_STRING, IDM_ANIMATE, "&Animate\tCtrl+A"},
    {MF_STRING, IDM_HALT, "&Halt animation\tCtrl+H"},
    {MF_STRING, IDM_STEP, "Advance one &frame\tCtrl+F"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_CHECKED, IDM_LOGGING, "&Logging\tCtrl+L"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_STRING, IDM_RECORD, "&Record Script\tCtrl+R"},
    {MF_STRING, IDM_PLAYBACK, "&Playback Script\tCtrl+P"},
    {MF_STRING, IDM_PLAY_ONE, "Play &One Script\tCtrl+O"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_STRING, IDM_QUIT, "&Quit\tCtrl+Q"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_GRAYED, IDM_INFO, "ZEPHA graphics runtime"},
    {MF_GRAYED, IDM_INFO, "MAC: " ZEPHA_CONTACT},
    {MF_GRAYED, IDM_INFO, "WINDOWS: " ZEPHA_CONTACT},
    {MF_GRAYED, IDM_INFO, "UPDATES: " ZEPHA_CONTACT},
};

// Which command each Ctrl+letter shortcut stands for.
struct Shortcut {
    char letter;
    int command;
};
const Shortcut SHORTCUTS[] = {
    {'A', IDM_ANIMATE}, {'H', IDM_HALT},     {'F', IDM_STEP},     {'L', IDM_LOGGING},
    {'R', IDM_RECORD},  {'P', IDM_PLAYBACK}, {'O', IDM_PLAY_ONE}, {'Q', IDM_QUIT},
};

} // namespace

// ---- Internal functions ----

void build_run_menu(HWND window) {
    HMENU bar = CreateMenu();
    g_run_menu = CreatePopupMenu();
    for (const MenuItem &item : RUN_MENU_ITEMS)
        AppendMenuA(g_run_menu, item.flags, item.id, item.text);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(g_run_menu), "&Run");
    SetMenu(window, bar);
    DrawMenuBar(window);
}

void on_command(WPARAM id) {
    switch (id) {
    case IDM_ANIMATE: g_animating = 1; break;
    case IDM_HALT: g_animating = 0; break;
    case IDM_STEP:
        g_animating = 0;
        g_step_pending = 1;
        break;
    case IDM_LOGGING:
        // Toggles the flag and its check mark; unlike ZEPHA_set_logging it never shows the window.
        g_logging = g_logging == 1 ? 0 : 1;
        CheckMenuItem(g_run_menu, IDM_LOGGING, g_logging ? MF_CHECKED : MF_UNCHECKED);
        break;
    case IDM_RECORD: g_recording ? stop_recording() : start_recording(); break;
    case IDM_PLAYBACK: g_playing ? stop_playback() : start_playback(); break;
    case IDM_PLAY_ONE: play_one_event(); break;
    case IDM_QUIT: PostQuitMessage(0); break;
    default: break;
    }
}

void on_key_down(WPARAM key) {
    if (key == VK_CONTROL) {
        g_ctrl_down = 1;
        return;
    }
    if (!g_ctrl_down)
        return;
    for (const Shortcut &shortcut : SHORTCUTS) {
        if (key == static_cast<WPARAM>(shortcut.letter) ||
            key == static_cast<WPARAM>(shortcut.letter + ('a' - 'A'))) {
            on_command(shortcut.command);
            return;
        }
    }
}

void on_key_up(WPARAM key) {
    if (key == VK_CONTROL)
        g_ctrl_down = 0;
}
