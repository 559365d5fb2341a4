// The queue of input for the platforms whose toolkit hands input over in handlers.
#include "runtime/core/input_queue.h"

#include <deque>

#include "runtime/core/runtime_state.h"

namespace zepha {

// ---- State ----

namespace {

struct Input {
    InputKind kind;
    int a;
    int b;
};

std::deque<Input> queue;
bool tick_waiting = false;
bool quit_waiting = false;

} // namespace

// ---- Internal functions ----

void queue_input(InputKind kind, int a, int b) {
    queue.push_back({kind, a, b});
}

void queue_timer_tick() {
    tick_waiting = true;
}

void queue_quit() {
    quit_waiting = true;
}

bool input_waiting() {
    return !queue.empty() || quit_waiting || tick_waiting;
}

bool take_one_input() {
    if (!queue.empty()) {
        const Input input = queue.front();
        queue.pop_front();
        switch (input.kind) {
        case INPUT_CLICK: on_click(input.a, input.b); break;
        case INPUT_CTRL: g_ctrl_down = input.a; break;
        case INPUT_KEY_DOWN:
            if (g_ctrl_down)
                on_shortcut(static_cast<uintptr_t>(input.a));
            break;
        case INPUT_CHAR: on_char(static_cast<uintptr_t>(input.a)); break;
        case INPUT_COMMAND: on_command(static_cast<uintptr_t>(input.a)); break;
        }
        return true;
    }
    if (quit_waiting) {
        quit_waiting = false;
        g_event_kind = EV_QUIT;
        return true;
    }
    if (tick_waiting) {
        tick_waiting = false;
        on_timer();
        return true;
    }
    return false;
}

void clear_input() {
    queue.clear();
    tick_waiting = false;
    quit_waiting = false;
}

} // namespace zepha
