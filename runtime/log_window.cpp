// The log window: a ring of the last 25 messages, each drawn as the new bottom line of the window
// as it is logged, and replayed oldest first when the window is repainted.
#include "runtime/runtime_state.h"

#include <cstdarg>
#include <cstring>

#include "runtime/gdi_guard.h"

// ---- Internal functions ----

namespace {

int next_slot(int slot) {
    return slot == LOG_RING_SIZE - 1 ? 0 : slot + 1;
}

// Stores a copy of the message in the ring, replacing the oldest one when the ring is full.
// A block that cannot be allocated costs this one message: the ring keeps its older ones.
void store_in_ring(const char *text, size_t length) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    if (block == nullptr)
        return;
    char *copy = static_cast<char *>(GlobalLock(block));
    if (copy == nullptr) {
        GlobalFree(block);
        return;
    }
    memcpy(copy, text, length + 1);
    GlobalUnlock(block);

    if (g_log_first == g_log_next) {
        GlobalFree(g_log_lines[g_log_first]);
        g_log_first = next_slot(g_log_first);
    }
    g_log_lines[g_log_next] = block;
    if (g_log_first < 0)
        g_log_first = g_log_next;
    g_log_next = next_slot(g_log_next);
}

// The log window posts key presses on to the graphics window, so the Ctrl shortcuts work
// whichever of the two windows has the focus.
void forward_key(UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageA(g_graphics_window, message, wparam, lparam);
}

// Redraws the ring oldest first; each line scrolls the ones before it up. Each line is drawn
// from a copy, because drawing drops its trailing newline and the ring keeps the message whole.
void on_paint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
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
        slot = next_slot(slot);
    }
    EndPaint(window, &paint);
}

} // namespace

// ---- Window procedure ----

LRESULT CALLBACK log_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: on_paint(window); return 0;
    case WM_KEYDOWN:
    case WM_KEYUP: forward_key(message, wparam, lparam); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
}

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

// ---- Public functions ----

int ZEPHA_log(const char *format, ...) {
    char buffer[LOG_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    const int produced = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // A message longer than the buffer is cut to its first 1023 characters.
    if (produced < 0)
        buffer[0] = '\0';
    const size_t length = strlen(buffer);

    store_in_ring(buffer, length);
    append_log_line(buffer);
    return static_cast<int>(length);
}

int ZEPHA_set_logging(int on) {
    if (g_graphics_window == nullptr)
        return 0;
    g_logging = on ? 1 : 0;
    CheckMenuItem(g_run_menu, IDM_LOGGING, on ? MF_CHECKED : MF_UNCHECKED);
    if (g_logging == 1)
        show_log_window(1);
    return 1;
}
