// The surface in memory, for platforms that draw it in software, and what draws on it: shapes
// and texts with the same pixels as on Windows. Private to the runtime.
#pragma once

#include "pixel_surface.h"

extern uint32_t g_surface_pixels[]; // SURFACE_WIDTH x SURFACE_HEIGHT, black until first erased
PixelSurface surface_memory();      // g_surface_pixels as a PixelSurface
