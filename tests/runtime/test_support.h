// Helpers shared by the Win32 runtime's tests: a started runtime, the log ring as text, the
// surface's pixels, posted clicks, events, and the text-entry dialog of a process.
#pragma once

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win32/win32_state.h"

using namespace zepha;

// Opens the runtime's windows as the display object would, shown normally.
inline void start_runtime() {
    ZEPHA_start_windows(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
}

// The messages held in the log ring, oldest first, each exactly as stored.
inline std::vector<std::string> log_ring() {
    std::vector<std::string> lines;
    if (g_log_first < 0)
        return lines;
    int slot = g_log_first;
    do {
        const char *text = static_cast<const char *>(GlobalLock(g_log_lines[slot]));
        lines.emplace_back(text != nullptr ? text : "");
        GlobalUnlock(g_log_lines[slot]);
        slot = (slot + 1) % LOG_RING_SIZE;
    } while (slot != g_log_next);
    return lines;
}

// The colour of the surface pixel at logical (x, y).
inline COLORREF pixel_at(int x, int y) {
    return GetPixel(g_surface_dc, g_origin_x + x, g_origin_y - y);
}

// The whole surface, row by row, as COLORREFs.
inline std::vector<COLORREF> surface_pixels() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = SURFACE_WIDTH;
    info.bmiHeader.biHeight = -SURFACE_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> bits(SURFACE_WIDTH * SURFACE_HEIGHT);
    GetDIBits(g_surface_dc, g_surface_bitmap, 0, SURFACE_HEIGHT, bits.data(), &info,
              DIB_RGB_COLORS);
    std::vector<COLORREF> pixels;
    pixels.reserve(bits.size());
    for (DWORD bgr : bits)
        pixels.push_back(RGB((bgr >> 16) & 0xff, (bgr >> 8) & 0xff, bgr & 0xff));
    return pixels;
}

// Posts a left click at client pixel (cx, cy) of the graphics window.
inline void post_click(int cx, int cy) {
    PostMessageA(g_graphics_window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx, cy));
}

// One event as ZEPHA_next_event hands it out.
struct Event {
    int kind;
    int x;
    int y;
    char key;
    bool operator==(const Event &other) const {
        return kind == other.kind && x == other.x && y == other.y && key == other.key;
    }
};

inline std::ostream &operator<<(std::ostream &out, const Event &event) {
    return out << "{kind " << event.kind << ", x " << event.x << ", y " << event.y << ", key "
               << static_cast<int>(event.key) << "}";
}

// Waits for the next event through the runtime's own wait loop.
inline Event next_event() {
    Event event = {0, 0, 0, 0};
    event.kind = ZEPHA_next_event(&event.x, &event.y, &event.key);
    return event;
}

// The text-entry dialog of the given process, or none. Tests run side by side, each perhaps
// with a dialog of its own, so the title alone does not tell whose dialog it is.
struct GetsDialogSearch {
    DWORD process_id;
    HWND found;
};

inline BOOL CALLBACK find_gets_dialog_in(HWND window, LPARAM param) {
    GetsDialogSearch *search = reinterpret_cast<GetsDialogSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[32] = "";
    char class_name[32] = "";
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, class_name, sizeof class_name);
    if (owner == search->process_id && strcmp(title, "ZEPHA_gets") == 0 &&
        strcmp(class_name, "#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND find_gets_dialog(DWORD process_id) {
    GetsDialogSearch search = {process_id, nullptr};
    EnumWindows(find_gets_dialog_in, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
