// Private to the Win32 platform (and its tests): its windows, device contexts, surface bitmap
// and menu, the handlers its window procedures route messages to, and its operations for the
// core.
#pragma once

#include "runtime/core/platform.h"

// Constants
constexpr UINT_PTR TIMER_ID = 2; // the graphics window's only timer

// State: start-up, windows and surface
extern HINSTANCE g_instance;     // the program instance, stored by start-up
extern HWND g_graphics_window;   // none until start-up
extern HWND g_log_window;        // the log window
extern HDC g_window_dc;          // the graphics window's own device context
extern HDC g_surface_dc;         // memory device context holding the surface
extern HBITMAP g_surface_bitmap; // the 601 x 540 surface bitmap
extern HMENU g_run_menu;         // the "&Run" popup, target of every check mark

// Window procedures
LRESULT CALLBACK graphics_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK log_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK gets_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

namespace zepha::win32 {

// Start-up and shut-down
void start_windows(HINSTANCE instance, HINSTANCE previous, int show);
void stop_windows();
bool windows_started();

// Message pump
bool pump_one_message();
void block_until_message();
void post_quit();
void on_left_button_down(LPARAM lparam);

// Drawing
void render_item(const DrawItem &item);
void erase_surface();
void copy_surface_to_window();

// Run menu
void build_run_menu(HWND window);
void check_menu_item(int id, bool checked);
void on_key_down(WPARAM key);
void on_key_up(WPARAM key);

// Log window
void append_log_line(char *text);
int show_log_window(int show);

// Dialog
constexpr size_t GETS_TEMPLATE_SIZE = 292;
void build_gets_template(const char *prompt, uint8_t (&buffer)[GETS_TEMPLATE_SIZE]);
int gets(const char *prompt, char *answer);

} // namespace zepha::win32
