// Private to the runtime (and its tests): the platform-free core's state (the pending event,
// animation, script and log) and the internal functions that the runtime's files share. The
// display object and the editor never include it. Each platform's own state (windows, surface,
// menu) is declared by that platform's header, in its folder.
#pragma once

#include "../graphics_runtime.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Types the platform chooses: a block of memory holding one text (a log message, or a text on
// its way to the renderer) and a colour value, red in the low byte.
#if defined(_WIN32)
using TextBlock = HGLOBAL; // movable global memory
using ColorValue = COLORREF;
#else
using TextBlock = char *; // from the C++ heap
using ColorValue = uint32_t;
#endif

// Constants
constexpr unsigned TICK_INTERVAL_MS = 100; // the period of the graphics window's timer
constexpr int LOG_RING_SIZE = 25;          // log messages kept for repainting
constexpr int LOG_BUFFER_SIZE = 1024;      // one formatted log message or text, NUL included
namespace zepha {
extern const char *const SCRIPT_FILE_NAME; // "ZEPHA.SCR" in the current directory
}

enum {
    IDM_ANIMATE = 1,
    IDM_HALT = 2,
    IDM_STEP = 3,
    IDM_LOGGING = 4,
    IDM_RECORD = 5,
    IDM_PLAYBACK = 6,
    IDM_PLAY_ONE = 7,
    IDM_QUIT = 8,
    IDM_INFO = 9, // grayed information lines; never a command
};

enum { IDC_GETS_OKAY = 101, IDC_GETS_TEXT = 102, IDC_GETS_PROMPT = 103 };

enum {
    ITEM_TRIANGLE = 0,
    ITEM_RECTANGLE = 1,
    ITEM_OVAL = 2,
    ITEM_LINE = 3,
    ITEM_PIXEL = 4,
    ITEM_TEXT = 5,
};

// Types
// One thing to draw, in logical coordinates. The points are 64-bit: a circle's box (centre
// plus or minus the radius) reaches past the int range. For a text, x2 carries the point size
// and text_block the handle of the block holding the text.
struct DrawItem {
    int32_t kind;
    int32_t color;
    int32_t width;
    int64_t x1, y1;
    int64_t x2, y2;
    int64_t x3, y3;
    TextBlock text_block;
};

// One line of the Run menu, in its order: a command (checked or not), a separator, or a grayed
// information line. The text holds the mnemonic's '&' and, after a tab, the shortcut's text.
enum RunMenuEntryKind { MENU_COMMAND, MENU_CHECKED_COMMAND, MENU_SEPARATOR, MENU_INFO };
struct RunMenuEntry {
    RunMenuEntryKind kind;
    int id;
    const char *text;
};
constexpr int RUN_MENU_ENTRIES = 16;
namespace zepha {
extern const RunMenuEntry RUN_MENU[RUN_MENU_ENTRIES];
extern const char RUN_MENU_TITLE[]; // "&Run"
} // namespace zepha

// State: surface
extern int32_t g_surface_dirty; // surface changed since last copied to the window
extern int32_t g_origin_x;      // client x of the logical origin
extern int32_t g_origin_y;      // client y of the logical origin

// State: pending event
extern int32_t g_event_kind; // EV_* of the pending event
extern int32_t g_event_x;    // logical x of a mouse event, else 0
extern int32_t g_event_y;    // logical y of a mouse event, else 0
extern char g_event_key;     // character of a key event, else 0

// State: animation
extern uint8_t g_animating;    // a periodic event at every timer tick
extern uint8_t g_step_pending; // one periodic event requested
extern int32_t g_tick_pending; // a tick has arrived since the last periodic event was prepared
extern uint8_t g_quit_pending; // every wait now ends with EV_QUIT; never cleared

// State: script
extern uint8_t g_recording;    // delivered events are written to the script
extern uint8_t g_playing;      // events come from the script
extern uint8_t g_play_one;     // one event is to come from the script
extern FILE *g_script_file;    // the open script file, if any
extern int32_t g_periodic_run; // periodic events counted (recording) or still due (playback)
extern int32_t g_ctrl_down;    // the Ctrl key is held

// State: log
extern uint8_t g_logging;                    // drawing calls write log lines
extern TextBlock g_log_lines[LOG_RING_SIZE]; // ring of the last 25 messages
extern int32_t g_log_first;                  // oldest slot; -1 while the ring is empty
extern int32_t g_log_next;                   // slot of the next message

// State: dialog (g_startup_args and g_display_created are in graphics_runtime.h)
extern char *g_gets_target; // the answer buffer of the running text-entry dialog

// Wait loop
int wait_for_event(int *x, int *y, char *key); // one wait; returns the event code
namespace zepha {
void on_click(int client_x, int client_y); // a left click at a client pixel
void on_char(uintptr_t character);         // a typed character, in the low 8 bits
void on_timer();                           // a timer tick

// Run menu
void on_command(uintptr_t id);      // runs one IDM_ command
bool on_shortcut(uintptr_t letter); // Ctrl+letter (either case): runs its command if it has one
} // namespace zepha

// Script
void record_event(int kind, int x, int y, char key); // writes one event's line
int replay_next_event();                             // reads the next event; 1 if there was one
void abort_playback();                               // playback off after a failure
void close_script();                                 // closes the script file if it is open
void start_recording();
void stop_recording();
void start_playback();
void stop_playback();
void play_one_event();
namespace zepha {
// Why playback last ended, for whoever watches a replay
enum PlaybackEnd {
    PLAYBACK_NONE,
    PLAYBACK_END_OF_FILE,
    PLAYBACK_BAD_LINE,
    PLAYBACK_NO_FILE,
    PLAYBACK_STOPPED
};
extern PlaybackEnd playback_end;
extern int32_t played_events; // events played back from the script since the program started
} // namespace zepha

// Drawing
extern const ColorValue color_table[NUM_COLORS];
extern const char *const color_names[NUM_COLORS];
int check_color(int index);

// What the platform provides (runtime/core/platform.h): the core calls these, and they pass the
// call on to the platform the program runs on.
bool pump_one_message();                // takes at most one input; true when it took one
void render_item(const DrawItem &item); // draws one item onto the surface
void append_log_line(char *text);       // draws a message as the log window's new bottom line
int show_log_window(int show);          // shows or hides the log window; returns 1 if it was shown

namespace zepha {
bool windows_started();                     // the graphics window exists
void block_until_message();                 // sleeps until there is input again
void copy_surface_to_window();              // whole surface to client (0, 0); clears the dirty flag
void post_quit();                           // a quit event follows the input already queued
void check_menu_item(int id, bool checked); // the Run menu's check mark of a command
void erase_surface();                       // white surface inside a one-pixel black border

// Blocks holding texts, of the type the build chooses (TextBlock)
TextBlock new_text_block(const char *text, size_t length); // a copy of the text, or none
const char *lock_text_block(TextBlock block);              // its text, or nullptr
void unlock_text_block(TextBlock block);
void free_text_block(TextBlock block);

// A log message or text as printf formats it, cut to the buffer (1023 characters); empty when
// the format cannot be used
void format_into(char (&buffer)[LOG_BUFFER_SIZE], const char *format, va_list args);
} // namespace zepha
