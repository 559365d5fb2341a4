// The log window: each message drawn as the new bottom line as it is logged, the ring's messages
// drawn again when the window is repainted; and the movable memory blocks that hold texts.
#include "platform/win32/win32_state.h"

#include <cstring>

#include "platform/win32/gdi_guard.h"

// ---- Internal functions ----

namespace zepha::win32 {
namespace {

// The log window posts key presses on to the graphics window, so the Ctrl shortcuts work
// whichever of the two windows has the focus.
void forward_key(UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageA(g_graphics_window, message, wparam, lparam);
}

// Fills the whole client area with the window's background, whatever was drawn before.
void clear_log_window() {
    HDC dc = GetDC(g_log_window);
    if (dc == nullptr)
        return;
    RECT client;
    GetClientRect(g_log_window, &client);
    HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(g_log_window, dc);
}

// Redraws the ring's messages, newest on the bottom line: the window is cleared, then each
// message, oldest first, is drawn as a new bottom line that scrolls the ones before it up. Each
// line is drawn from a copy, because drawing drops its trailing newline and the ring keeps the
// message whole.
void on_paint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    clear_log_window();
    int slot = g_log_first;
    for (int drawn = 0; slot >= 0 && !(slot == g_log_next && drawn > 0); drawn++) {
        char line[LOG_BUFFER_SIZE];
        line[0] = '\0';
        if (const char *text = static_cast<const char *>(GlobalLock(g_log_lines[slot]))) {
            strncpy(line, text, sizeof line - 1);
            line[sizeof line - 1] = '\0';
            GlobalUnlock(g_log_lines[slot]);
        }
        append_log_line(line);
        slot = slot == LOG_RING_SIZE - 1 ? 0 : slot + 1;
    }
}

} // namespace
} // namespace zepha::win32

// ---- Window procedure ----

LRESULT CALLBACK log_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    using namespace zepha::win32;
    switch (message) {
    case WM_PAINT: on_paint(window); return 0;
    case WM_KEYDOWN:
    case WM_KEYUP: forward_key(message, wparam, lparam); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

// ---- The platform's operations ----

namespace zepha::win32 {

void append_log_line(char *text) {
    // Before start-up, or once the user has closed the window, the ring alone keeps the message.
    if (g_log_window == nullptr || !IsWindow(g_log_window))
        return;
    HDC dc = GetDC(g_log_window);
    if (dc == nullptr)
        return;
    {
        SelectedObject<HGDIOBJ> font(dc, GetStockObject(ANSI_FIXED_FONT), false);
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        const int line_height = metrics.tmHeight + metrics.tmExternalLeading;

        ScrollDC(dc, 0, -line_height, nullptr, nullptr, nullptr, nullptr);
        RECT client;
        GetClientRect(g_log_window, &client);
        {
            SelectedObject<HBRUSH> brush(dc, CreateSolidBrush(GetBkColor(dc)), true);
            SelectedObject<HPEN> pen(dc, static_cast<HPEN>(GetStockObject(NULL_PEN)), false);
            Rectangle(dc, client.left, client.bottom - line_height, client.right,
                      client.bottom + 1);
        }

        size_t length = strlen(text);
        if (length > 0 && text[length - 1] == '\n')
            text[--length] = '\0';
        TextOutA(dc, client.left + 5, client.bottom - line_height, text, static_cast<int>(length));
    }
    ReleaseDC(g_log_window, dc);
}

int show_log_window(int show) {
    return ShowWindow(g_log_window, show ? SW_SHOW : SW_HIDE);
}

} // namespace zepha::win32

// ---- Text blocks: movable global memory ----

namespace zepha {

TextBlock new_text_block(const char *text, size_t length) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    if (block == nullptr)
        return nullptr;
    char *copy = static_cast<char *>(GlobalLock(block));
    if (copy == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    memcpy(copy, text, length);
    copy[length] = '\0';
    GlobalUnlock(block);
    return block;
}

const char *lock_text_block(TextBlock block) {
    return static_cast<const char *>(GlobalLock(block));
}

void unlock_text_block(TextBlock block) {
    GlobalUnlock(block);
}

void free_text_block(TextBlock block) {
    GlobalFree(block);
}

} // namespace zepha
