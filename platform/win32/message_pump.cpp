// The Win32 message pump: one window message per turn for the wait loop, the sleep between
// turns, and the mouse handler that reads a click's client position from its message.
#include "platform/win32/win32_state.h"

// ---- Internal functions ----

namespace zepha::win32 {

bool pump_one_message() {
    MSG message;
    const bool took = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0;
    if (took) {
        if (message.message == WM_QUIT) {
            g_event_kind = EV_QUIT;
            return true;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (g_surface_dirty != 0)
        copy_surface_to_window();
    return took;
}

// Sleeps until the queue has a message again (input, timer, paint, posted or sent message).
void block_until_message() {
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void on_left_button_down(LPARAM lparam) {
    on_click(LOWORD(lparam), HIWORD(lparam));
}

bool windows_started() {
    return g_graphics_window != nullptr;
}

void post_quit() {
    PostQuitMessage(0);
}

} // namespace zepha::win32
