// The ZEPHA graphics runtime: two windows, an off-screen surface in logical coordinates
// (origin at the centre of the graphics window, y up), one stream of events, a log window
// and a handful of drawing primitives. Every function runs on the program's one thread.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX // keeps std::min and std::max usable in programs that include this header
#endif
#include <windows.h>
#else
// Elsewhere the header itself supplies the Windows types a program meets here: the fields of
// the start-up record and the display flag. They hold nothing the runtime reads there.
typedef void *HINSTANCE;
typedef char *LPSTR;
typedef unsigned char BYTE;
#endif

// printf-style functions: the compiler checks their arguments against the format. The runtime
// formats with C99 rules, which GCC calls gnu_printf and clang printf.
#if defined(__clang__)
#define ZEPHA_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#elif defined(__GNUC__)
#define ZEPHA_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define ZEPHA_PRINTF(fmt, args)
#endif

// Events
enum {
    EV_NONE = -1,    // no event ready yet; never returned
    EV_MOUSE = 1,    // left click at (x, y)
    EV_KEY = 2,      // character typed while Ctrl is not held
    EV_PERIODIC = 3, // animation tick, or one requested frame
    EV_QUIT = 4,     // quit requested
};

// Animation
enum {
    ANIM_HALT = 0, // stop the animation and drop a requested frame
    ANIM_STEP = 1, // request one periodic event
    ANIM_RUN = 2,  // a periodic event at every timer tick
    ANIM_QUIT = 5, // every later wait ends with EV_QUIT
};

// Colours: indices into the runtime's colour table
enum {
    BLACK,
    WHITE,
    RED,
    GREEN,
    BLUE,
    YELLOW,
    MAGENTA,
    CYAN,
    PURPLE,
    NAVY_BLUE,
    DUSTY_PLUM,
    ICE_BLUE,
    TURQUOISE,
    ORANGE,
    BROWN,
    PINK,
    CHALK,
    GOLD,
    PEACH,
    FOREST_GREEN,
    SEA_GREEN,
    OLIVE,
    GRAY_50,
    GRAY_20,
    NUM_COLORS // 24
};

// Surface
constexpr int SURFACE_WIDTH = 601;  // off-screen bitmap width, also the window's outer width
constexpr int SURFACE_HEIGHT = 540; // off-screen bitmap height, also the window's outer height

// Application entry, called by the program entry (WinMain on Windows, main elsewhere) once the
// start-up arguments are stored
int app_main();

// Process state shared with the display object
struct StartupArgs {
    HINSTANCE instance;
    HINSTANCE previous;
    LPSTR command_line;
    int show;
};
extern StartupArgs g_startup_args;    // what the program entry received, in WinMain's order
extern BYTE g_display_created;        // a display object has been constructed
constexpr int GETS_ANSWER_SIZE = 256; // the text-entry dialog's answer, NUL included

// Start-up
int ZEPHA_start_windows(HINSTANCE instance, HINSTANCE previous, LPSTR command_line,
                        int show); // opens both windows, the surface and the timer; returns 1
int ZEPHA_stop_windows();          // releases the window's device context, closes the script

// Events
int ZEPHA_next_event(int *x, int *y, char *key); // waits for the next event; returns its code
int ZEPHA_set_animation(int mode);               // one of ANIM_*; 0 before start-up, else 1

// Log
int ZEPHA_log(const char *format, ...) ZEPHA_PRINTF(1, 2); // adds one line; returns its length
int ZEPHA_set_logging(int on); // logging of drawing calls on or off; 0 before start-up

// Drawing (colour first; corners in either order; width 0 fills)
int ZEPHA_draw_circle(int color, int x, int y, int radius);                     // filled circle
int ZEPHA_draw_rectangle(int color, int x1, int y1, int x2, int y2, int width); // rectangle
int ZEPHA_draw_oval(int color, int x1, int y1, int x2, int y2, int width);      // inscribed oval
int ZEPHA_draw_text(int color, int x, int y, int point_size, const char *text); // text lines
int ZEPHA_draw_textf(int color, int x, int y, int point_size, const char *format, ...)
    ZEPHA_PRINTF(5, 6); // formatted text; returns its length
int ZEPHA_present();    // copies the surface to the window if it changed
int ZEPHA_erase();      // white surface inside a one-pixel black border

// Dialog
int ZEPHA_gets(const char *prompt, char *answer); // modal prompt; answer holds 256 bytes
