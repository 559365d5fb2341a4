// The surface in memory, for platforms that draw it in software, and what draws on it: shapes
// and texts with the same pixels as on Windows. Private to the runtime.
#pragma once

#include "runtime/core/runtime_state.h"
#include "runtime/pure/pixel_surface.h"

extern uint32_t *g_surface_pixels; // SURFACE_WIDTH x SURFACE_HEIGHT, black until first erased

namespace zepha {

PixelSurface surface_memory(); // g_surface_pixels as a PixelSurface

// The operations of the platforms that draw in software
namespace software {
void render_item(const DrawItem &item); // one item onto g_surface_pixels; marks it dirty
void erase_surface();                   // white inside a one-pixel black border
} // namespace software

} // namespace zepha
