// The hosts of the native tool: the headless platform everywhere, and the X server where the
// tool is built with Xlib on Linux (ZEPHA_REPLAY_X11).
#pragma once

#include "tools/replay/core/replay_host.h"

#include <memory>

std::unique_ptr<ReplayHost> make_headless_host();
#if defined(ZEPHA_REPLAY_X11)
std::unique_ptr<ReplayHost> make_x11_host();
#endif
