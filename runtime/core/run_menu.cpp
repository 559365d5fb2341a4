// The Run menu's lines, its commands, and the Ctrl+letter shortcuts, the same on every platform;
// the platform shows the menu and its check marks.
#include "runtime/core/runtime_state.h"

// ---- Constants ----

// The contact address of this project, shown in the grayed information lines.
#define ZEPHA_CONTACT "zepha@example.org"

namespace zepha {

const char RUN_MENU_TITLE[] = "&Run";

const RunMenuEntry RUN_MENU[RUN_MENU_ENTRIES] = {
    {MENU_COMMAND, IDM_ANIMATE, "&Animate\tCtrl+A"},
    {MENU_COMMAND, IDM_HALT, "&Halt animation\tCtrl+H"},
    {MENU_COMMAND, IDM_STEP, "Advance one &frame\tCtrl+F"},
    {MENU_SEPARATOR, 0, nullptr},
    {MENU_CHECKED_COMMAND, IDM_LOGGING, "&Logging\tCtrl+L"},
    {MENU_SEPARATOR, 0, nullptr},
    {MENU_COMMAND, IDM_RECORD, "&Record Script\tCtrl+R"},
    {MENU_COMMAND, IDM_PLAYBACK, "&Playback Script\tCtrl+P"},
    {MENU_COMMAND, IDM_PLAY_ONE, "Play &One Script\tCtrl+O"},
    {MENU_SEPARATOR, 0, nullptr},
    {MENU_COMMAND, IDM_QUIT, "&Quit\tCtrl+Q"},
    {MENU_SEPARATOR, 0, nullptr},
    {MENU_INFO, IDM_INFO, "ZEPHA graphics runtime"},
    {MENU_INFO, IDM_INFO, "MAC: " ZEPHA_CONTACT},
    {MENU_INFO, IDM_INFO, "WINDOWS: " ZEPHA_CONTACT},
    {MENU_INFO, IDM_INFO, "UPDATES: " ZEPHA_CONTACT},
};

namespace {

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

void on_command(uintptr_t id) {
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
        check_menu_item(IDM_LOGGING, g_logging != 0);
        break;
    case IDM_RECORD: g_recording ? stop_recording() : start_recording(); break;
    case IDM_PLAYBACK: g_playing ? stop_playback() : start_playback(); break;
    case IDM_PLAY_ONE: play_one_event(); break;
    case IDM_QUIT: post_quit(); break;
    default: break;
    }
}

bool on_shortcut(uintptr_t letter) {
    for (const Shortcut &shortcut : SHORTCUTS) {
        if (letter == static_cast<uintptr_t>(shortcut.letter) ||
            letter == static_cast<uintptr_t>(shortcut.letter + ('a' - 'A'))) {
            on_command(shortcut.command);
            return true;
        }
    }
    return false;
}

} // namespace zepha
