// The seam between the core and the platform: the platform in use, the calls the core passes on
// to it, and the halves of start-up, shut-down and the dialog that are the same everywhere.
#include "runtime/core/platform.h"

// ---- Internal functions ----

namespace zepha {

const Platform &platform() {
    static const Platform &chosen = choose_platform();
    return chosen;
}

bool windows_started() {
    return platform().windows_started();
}

void block_until_message() {
    platform().block_until_message();
}

void copy_surface_to_window() {
    platform().copy_surface_to_window();
}

void post_quit() {
    platform().post_quit();
}

void check_menu_item(int id, bool checked) {
    platform().check_menu_item(id, checked);
}

void erase_surface() {
    platform().erase_surface();
}

} // namespace zepha

bool pump_one_message() {
    return zepha::platform().pump_one_message();
}

void render_item(const DrawItem &item) {
    zepha::platform().render_item(item);
}

void append_log_line(char *text) {
    zepha::platform().append_log_line(text);
}

int show_log_window(int show) {
    return zepha::platform().show_log_window(show);
}

// ---- Public functions ----

int ZEPHA_start_windows(HINSTANCE instance, HINSTANCE previous, LPSTR /*command_line*/, int show) {
    g_animating = 0;
    g_step_pending = 0;
    zepha::platform().start_windows(instance, previous, show);
    return 1;
}

int ZEPHA_stop_windows() {
    zepha::platform().stop_windows();
    close_script();
    return 1;
}

int ZEPHA_gets(const char *prompt, char *answer) {
    g_gets_target = answer;
    return zepha::platform().gets(prompt, answer);
}
