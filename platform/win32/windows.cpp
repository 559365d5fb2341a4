// Start-up and shut-down of the runtime: the two windows, the off-screen surface, the timer,
// and the graphics window's procedure, which routes each message to its handler.
#include "platform/win32/win32_state.h"

#include "runtime/generated/zepha_font_data.h"

// ---- Internal functions ----

namespace zepha::win32 {
namespace {

// Registers both window classes from one class record, changed between the registrations.
void register_window_classes(HINSTANCE instance) {
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = graphics_window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = CreateSolidBrush(color_table[WHITE]);
    window_class.lpszMenuName = "generic";
    window_class.lpszClassName = "DrawWndClass";
    RegisterClassA(&window_class);

    window_class.lpfnWndProc = log_window_proc;
    window_class.lpszClassName = "TextWndClass";
    RegisterClassA(&window_class);
}

// Makes the runtime's own face "ZEPHA-font" available to this process alone, so that every
// text gets the same face on every machine instead of a substitute the platform picks. The
// face stays registered until the process ends.
void register_text_face() {
    DWORD faces = 0;
    AddFontMemResourceEx(const_cast<unsigned char *>(FONT_DATA), FONT_DATA_SIZE, nullptr, &faces);
}

// The logical origin is the centre of the client rectangle.
void on_size(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    g_origin_x = client.left + (client.right - client.left) / 2;
    g_origin_y = client.top + (client.bottom - client.top) / 2;
}

// A repaint copies the whole surface through the window's own device context, whatever part
// of the window was invalid.
void on_paint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    BitBlt(g_window_dc, 0, 0, SURFACE_WIDTH, SURFACE_HEIGHT, g_surface_dc, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    g_surface_dirty = 0;
}

void on_destroy(HWND window) {
    KillTimer(window, TIMER_ID);
    PostQuitMessage(0);
}

} // namespace
} // namespace zepha::win32

// ---- Window procedure ----

LRESULT CALLBACK graphics_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    using namespace zepha;
    using namespace zepha::win32;
    switch (message) {
    case WM_CREATE: build_run_menu(window); return 0;
    case WM_DESTROY: on_destroy(window); return 0;
    case WM_SIZE: on_size(window); return 0;
    case WM_PAINT: on_paint(window); return 0;
    case WM_KEYDOWN: on_key_down(wparam); return 0;
    case WM_KEYUP: on_key_up(wparam); return 0;
    case WM_CHAR: on_char(wparam); return 0;
    case WM_COMMAND: on_command(wparam); return 0;
    case WM_TIMER: on_timer(); return 0;
    case WM_LBUTTONDOWN: on_left_button_down(lparam); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

// ---- The platform's operations ----

namespace zepha::win32 {

void copy_surface_to_window() {
    BitBlt(g_window_dc, 0, 0, SURFACE_WIDTH, SURFACE_HEIGHT, g_surface_dc, 0, 0, SRCCOPY);
    g_surface_dirty = 0;
}

void start_windows(HINSTANCE instance, HINSTANCE previous, int show) {
    register_text_face();
    if (previous == nullptr)
        register_window_classes(instance);

    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height = GetSystemMetrics(SM_CYSCREEN);

    g_graphics_window =
        CreateWindowExA(0, "DrawWndClass", "ZEPHA Graphics", WS_CAPTION | WS_SYSMENU, 0, 0,
                        SURFACE_WIDTH, SURFACE_HEIGHT, nullptr, nullptr, instance, nullptr);
    g_log_window = CreateWindowExA(0, "TextWndClass", "ZEPHA Text", WS_OVERLAPPEDWINDOW, 0,
                                   (2 * screen_height) / 3 + 1, screen_width, screen_height / 3,
                                   nullptr, nullptr, instance, nullptr);
    g_instance = instance;

    g_window_dc = GetDC(g_graphics_window);
    g_surface_bitmap = CreateCompatibleBitmap(g_window_dc, SURFACE_WIDTH, SURFACE_HEIGHT);
    g_surface_dc = CreateCompatibleDC(g_window_dc);
    SelectObject(g_surface_dc, g_surface_bitmap);

    ShowWindow(g_log_window, show);
    ShowWindow(g_graphics_window, show);

    SetTimer(g_graphics_window, TIMER_ID, TICK_INTERVAL_MS, nullptr);
}

void stop_windows() {
    ReleaseDC(g_graphics_window, g_window_dc);
}

} // namespace zepha::win32

namespace zepha {

const Platform WIN32_PLATFORM = {
    "win32",
    win32::start_windows,
    win32::stop_windows,
    win32::windows_started,
    win32::pump_one_message,
    win32::block_until_message,
    win32::post_quit,
    win32::render_item,
    win32::erase_surface,
    win32::copy_surface_to_window,
    win32::check_menu_item,
    win32::append_log_line,
    win32::show_log_window,
    win32::gets,
};

} // namespace zepha
