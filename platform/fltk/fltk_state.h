// Private to the FLTK platform (and its tests): its windows, the surface in memory, and the
// queue of input that the toolkit's handlers fill and the wait loop empties one item per turn.
// Included by runtime/runtime_state.h; include that instead.
#pragma once

#include "../../runtime/software_surface.h"

class Fl_Window;
class Fl_Menu_Bar;

// Types
// One piece of input, as the toolkit's handlers saw it.
enum InputKind {
    INPUT_CLICK,    // left button pressed at client pixel (a, b)
    INPUT_CTRL,     // Ctrl pressed (a = 1) or released (a = 0)
    INPUT_KEY_DOWN, // a key pressed: a = its letter or character code
    INPUT_CHAR,     // a character typed: a = its 8-bit code
    INPUT_COMMAND,  // a Run menu command: a = its IDM_ id
};
struct Input {
    InputKind kind;
    int a;
    int b;
};

// State: start-up and windows
extern HINSTANCE g_instance;         // the program instance, stored by start-up
extern Fl_Window *g_graphics_window; // none until start-up
extern Fl_Window *g_log_window;      // the log window
extern Fl_Menu_Bar *g_menu_bar;      // the menu bar holding the Run menu

// Windows (start-up)
void build_menu_bar(int width);  // the Run menu at the top of the graphics window
void build_log_window(int show); // the log window along the bottom of the screen

// Input
void queue_input(InputKind kind, int a, int b = 0); // adds input for the wait loop
void queue_timer_tick();                            // a tick; ticks not yet taken merge
void queue_key(int key, const char *text);          // a key press, with the text it typed
void queue_key_release(int key);                    // a key let go (only Ctrl's counts)
