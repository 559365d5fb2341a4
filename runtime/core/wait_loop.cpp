// The event wait loop: one input per turn from the platform's pump, the script hooks, periodic
// events paced by the timer, and the handlers that turn clicks, characters and ticks into events.
#include "runtime/core/runtime_state.h"

using namespace zepha;

// ---- Internal functions ----

namespace {

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

        // A turn that took nothing and left nothing to do sleeps until there is input again
        // (input, timer, paint), so an idle program uses no processor time.
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

namespace zepha {

void on_click(int cx, int cy) {
    g_event_kind = EV_MOUSE;
    g_event_x = cx - g_origin_x;
    g_event_y = g_origin_y - cy;
}

void on_char(uintptr_t character) {
    if (g_ctrl_down == 1)
        return;
    g_event_kind = EV_KEY;
    g_event_key = static_cast<char>(character & 0xFF);
}

void on_timer() {
    g_tick_pending = 1;
}

} // namespace zepha

// ---- Public functions ----

int ZEPHA_next_event(int *x, int *y, char *key) {
    return wait_for_event(x, y, key);
}

int ZEPHA_set_animation(int mode) {
    if (!zepha::windows_started())
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
