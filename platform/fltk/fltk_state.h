// Private to the FLTK platform (and its tests): its windows and the functions its files share.
// Input goes into the core's queue (runtime/core/input_queue.h); the surface is in memory.
#pragma once

#include "runtime/core/input_queue.h"
#include "runtime/core/platform.h"
#include "runtime/software/software_surface.h"

class Fl_Window;
class Fl_Menu_Bar;

// State: start-up and windows
extern HINSTANCE g_instance;         // the program instance, stored by start-up
extern Fl_Window *g_graphics_window; // none until start-up
extern Fl_Window *g_log_window;      // the log window
extern Fl_Menu_Bar *g_menu_bar;      // the menu bar holding the Run menu

namespace zepha::fltk {

// Windows (start-up)
void build_menu_bar(int width);  // the Run menu at the top of the graphics window
void build_log_window(int show); // the log window along the bottom of the screen

// Input
void queue_key(int key, const char *text); // a key press, with the text it typed
void queue_key_release(int key);           // a key let go (only Ctrl's counts)

// The platform's operations
void check_menu_item(int id, bool checked);
void append_log_line(char *text);
int show_log_window(int show);
int gets(const char *prompt, char *answer);

} // namespace zepha::fltk
