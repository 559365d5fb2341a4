// What a platform provides to the core: one table of operations per platform, chosen when the
// program first needs it. The core calls nothing else of a platform; a platform calls the core
// through runtime_state.h and, where it queues input, input_queue.h. docs/platforms.md says
// what each operation must do, who calls it and when.
#pragma once

#include "runtime/core/runtime_state.h"

namespace zepha {

struct Platform {
    const char *name; // as ZEPHA_PLATFORM names it: "win32", "fltk", "headless", "web"

    // Start-up and shut-down. The core has reset the animation before start_windows, and closes
    // the script after stop_windows.
    void (*start_windows)(HINSTANCE instance, HINSTANCE previous, int show);
    void (*stop_windows)();
    bool (*windows_started)(); // the graphics window exists

    // Events: one wait of the core takes one input per pump; a pump that took nothing may be
    // followed by a sleep until there is input again.
    bool (*pump_one_message)();    // acts on at most one input; true when it took one
    void (*block_until_message)(); // returns at once when input is waiting
    void (*post_quit)();           // a quit, taken after the input already waiting

    // Surface
    void (*render_item)(const DrawItem &item); // one item onto the surface
    void (*erase_surface)();                   // white inside a one-pixel black border
    void (*copy_surface_to_window)();          // the surface to the window; clears the dirty flag

    // Run menu and log window
    void (*check_menu_item)(int id, bool checked); // a command's check mark
    void (*append_log_line)(char *text); // a message, as the log window's new bottom line;
                                         // the line may be changed (its newline dropped)
    int (*show_log_window)(int show);    // shows or hides it; returns 1 if it was shown

    // Dialog: asks for a line of text, after the core has set g_gets_target to the answer.
    int (*gets)(const char *prompt, char *answer);
};

// The platforms a build may carry; each is defined in its own folder.
extern const Platform WIN32_PLATFORM;
extern const Platform FLTK_PLATFORM;
extern const Platform HEADLESS_PLATFORM;
extern const Platform WEB_PLATFORM;

const Platform &platform();        // the platform this program runs on
const Platform &choose_platform(); // defined per build: the one to use, from what it carries

} // namespace zepha
