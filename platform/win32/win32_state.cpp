// The Win32 platform's state, with its initial values.
#include "platform/win32/win32_state.h"

HINSTANCE g_instance = nullptr;
HWND g_graphics_window = nullptr;
HWND g_log_window = nullptr;
HDC g_window_dc = nullptr;
HDC g_surface_dc = nullptr;
HBITMAP g_surface_bitmap = nullptr;
HMENU g_run_menu = nullptr;
