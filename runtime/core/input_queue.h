// Input waiting for the wait loop, for the platforms whose toolkit hands input over in handlers
// (FLTK, the page, the headless platform): the handlers queue it, and the platform's pump takes
// one item per turn and acts on it as the Windows build acts on the message. As on Windows, a
// quit comes after the input queued before it, and a timer tick only when nothing else waits;
// ticks not yet taken are one tick.
#pragma once

#include <cstdint>

namespace zepha {

enum InputKind {
    INPUT_CLICK = 0,    // left button pressed at client pixel (a, b)
    INPUT_CTRL = 1,     // Ctrl pressed (a = 1) or released (a = 0)
    INPUT_KEY_DOWN = 2, // a key pressed: a = its capital letter, for the Ctrl shortcuts
    INPUT_CHAR = 3,     // a character typed: a = its 8-bit code
    INPUT_COMMAND = 4,  // a Run menu command: a = its IDM_ id
};

void queue_input(InputKind kind, int a, int b = 0); // adds input after what is waiting
void queue_timer_tick();                            // a tick, merged with one not yet taken
void queue_quit();                                  // a quit, after the input waiting
bool input_waiting();                               // anything at all waits
bool take_one_input();                              // acts on the next item; false if none
void clear_input();                                 // drops everything waiting

} // namespace zepha
