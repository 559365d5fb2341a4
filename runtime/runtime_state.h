// Private to the runtime (and its tests): every piece of runtime state and the internal
// functions that the runtime's files share. The display object and the editor never include it.
#pragma once

#include "graphics_runtime.h"
#include "runtime/zepha_font_data.h"

#include <cstdint>
#include <cstdio>

// Constants
constexpr UINT_PTR TIMER_ID = 2;           // the graphics window's only timer
constexpr UINT TICK_INTERVAL_MS = 100;     // its period
constexpr int LOG_RING_SIZE = 25;          // log messages kept for repainting
constexpr int LOG_BUFFER_SIZE = 1024;      // one formatted log message or text, NUL included
extern const char *const SCRIPT_FILE_NAME; // "ZEPHA.SCR" in the current directory

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
    HGLOBAL text_block;
};

// State: start-up, windows and surface
extern HINSTANCE g_instance;     // the program instance, stored by start-up
extern HWND g_graphics_window;   // none until start-up
extern HWND g_log_window;        // the log window
extern HDC g_window_dc;          // the graphics window's own device context
extern HDC g_surface_dc;         // memory device context holding the surface
extern HBITMAP g_surface_bitmap; // the 601 x 540 surface bitmap
extern int32_t g_surface_dirty;  // surface changed since last copied to the window
extern int32_t g_origin_x;       // client x of the logical origin
extern int32_t g_origin_y;       // client y of the logical origin
extern HMENU g_run_menu;         // the "&Run" popup, target of every check mark

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
extern uint8_t g_logging;                  // drawing calls write log lines
extern HGLOBAL g_log_lines[LOG_RING_SIZE]; // ring of the last 25 messages
extern int32_t g_log_first;                // oldest slot; -1 while the ring is empty
extern int32_t g_log_next;                 // slot of the next message

// State: dialog (g_startup_args and g_display_created are in graphics_runtime.h)
extern char *g_gets_target; // the answer buffer of the running text-entry dialog

// Windows (start-up)
LRESULT CALLBACK graphics_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void copy_surface_to_window(); // whole surface to client (0, 0); clears the dirty flag

// Wait loop
int wait_for_event(int *x, int *y, char *key); // one wait; returns the event code
bool pump_one_message();                       // true when it took a message
void on_left_button_down(LPARAM lparam);
void on_char(WPARAM wparam);
void on_timer();

// Run menu
void build_run_menu(HWND window);
void on_command(WPARAM id);
void on_key_down(WPARAM key);
void on_key_up(WPARAM key);

// Script
void record_event(int kind, int x, int y, char key);
int replay_next_event();
void abort_playback();
void close_script();
void start_recording();
void stop_recording();
void start_playback();
void stop_playback();
void play_one_event();

// Log window
LRESULT CALLBACK log_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void append_log_line(char *text);
int show_log_window(int show);

// Drawing
extern const COLORREF color_table[NUM_COLORS];
extern const char *const color_names[NUM_COLORS];
int check_color(int index);
void render_item(const DrawItem &item);

// Dialog
constexpr size_t GETS_TEMPLATE_SIZE = 292;
void build_gets_template(const char *prompt, uint8_t (&buffer)[GETS_TEMPLATE_SIZE]);
INT_PTR CALLBACK gets_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
