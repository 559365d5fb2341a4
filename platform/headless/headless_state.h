// Private to the headless platform (and its tests): what the tests read of its state.
#pragma once

#include "runtime/core/platform.h"
#include "runtime/software/software_surface.h"

namespace zepha::headless {

// The exit status of a program whose text-entry dialog found no answer
constexpr int NO_ANSWER_STATUS = 119;

bool menu_checked(int id); // the Run menu's check mark of a command
bool log_window_visible(); // the log window is shown
void reset_state();        // as before start-up, the environment not yet read: for the host
                           // tests, which run every case in one process

} // namespace zepha::headless
