// The event wait loop: one window message per turn, the script hooks, periodic events paced by
// the timer, and the input handlers that turn clicks, characters and ticks into events.
#include "runtime/runtime_state.h"

// ---- Internal functions ----

namespace {

// Ends a turn that took no message and left nothing to do: sleeps until the queue has a message
// again (input, timer, paint, posted or sent message), so an idle program uses no processor time.
void block_until_message() {
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

bool event_ready() {
    return g_event_kind != EV_NONE && (g_event_kind != EV_PERIODIC || g_tick_pending != 0);
}

// Writes a delivered event to the script: periodic events are counted into runs, and a run is
// written just before the next other event.
void record_delivered_event() {
    if (g_event_kind == EV_PERIODIC) {
        g_periodic_run++;
        return;
    }
    if (g_periodic_run > 0) {
        record_event(EV_PERIODIC, g_event_x, g_event_y, g_event_key);
        g_periodic_run = 0;
    }
    record_event(g_event_kind, g_event_x, g_event_y, g_event_key);
}

} // namespace

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

int wait_for_event(int *x, int *y, char *key) {
    g_event_kind = EV_NONE;
    g_event_key = 0;
    g_event_y = 0;
    g_event_x = 0;

    while (!event_ready()) {
        const bool took_message = pump_one_message();

        if (g_event_kind != EV_QUIT && (g_play_one || g_playing)) {
            g_play_one = 0;
            if (replay_next_event() == 1)
                break;
            g_play_one = 0;
            g_playing = 0;
        }

        if ((g_step_pending || g_animating) && g_event_kind == EV_NONE) {
            g_event_kind = EV_PERIODIC;
            g_tick_pending = 0;
            g_step_pending = 0;
        }

        if (!took_message && !event_ready() && !g_playing && !g_play_one)
            block_until_message();
    }

    if (g_recording)
        record_delivered_event();

    *x = g_event_x;
    *y = g_event_y;
    *key = g_event_key;
    return g_quit_pending ? EV_QUIT : g_event_kind;
}

void on_left_button_down(LPARAM lparam) {
    const int cx = LOWORD(lparam);
    const int cy = HIWORD(lparam);
    g_event_kind = EV_MOUSE;
    g_event_x = cx - g_origin_x;
    g_event_y = g_origin_y - cy;
}

void on_char(WPARAM wparam) {
    if (g_ctrl_down == 1)
        return;
    g_event_kind = EV_KEY;
    g_event_key = static_cast<char>(wparam & 0xFF);
}

void on_timer() {
    g_tick_pending = 1;
}

// ---- Public functions ----

int ZEPHA_next_event(int *x, int *y, char *key) {
    return wait_for_event(x, y, key);
}

int ZEPHA_set_animation(int mode) {
    if (g_graphics_window == nullptr)
        return 0;
    switch (mode) {
    case ANIM_HALT:
        g_animating = 0;
        g_step_pending = 0;
        break;
    case ANIM_STEP: g_step_pending = 1; break;
    case ANIM_RUN: g_animating = 1; break;
    case ANIM_QUIT: g_quit_pending = 1; break;
    default: break;
    }
    return 1;
}
