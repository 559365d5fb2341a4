// Private to the Win32 platform (and its tests): its windows, device contexts, surface bitmap
// and menu, and the handlers its window procedures route messages to. Included by
// runtime/runtime_state.h; include that instead.
#pragma once

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

// Windows (start-up)
LRESULT CALLBACK graphics_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Message pump
void on_left_button_down(LPARAM lparam);

// Run menu
void build_run_menu(HWND window);
void on_key_down(WPARAM key);
void on_key_up(WPARAM key);

// Log window
LRESULT CALLBACK log_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Dialog
constexpr size_t GETS_TEMPLATE_SIZE = 292;
void build_gets_template(const char *prompt, uint8_t (&buffer)[GETS_TEMPLATE_SIZE]);
INT_PTR CALLBACK gets_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
