// The runtime's face "ZEPHA-font" painted in software onto a PixelSurface, for the platforms
// without the Win32 text calls: every pixel as the Win32 build draws it. Platform-free.
#pragma once

#include <cstdint>

#include "runtime/pure/pixel_surface.h"

namespace zepha {

// The runtime's face at a pixel size, as GDI's CreateFontA(-point_size, ...) gives it.
struct TextExtent {
    int width;  // the sum of the characters' advances
    int height; // the cell: ascent plus descent
};

// Text measuring and painting (point sizes 0..127; a size of 0 is the platform's default)
TextExtent text_extent(int point_size, const char *text, int length); // as GetTextExtentPointA
void paint_text_line(PixelSurface &surface, uint32_t rgb, int point_size, int64_t left, int64_t top,
                     const char *text, int length); // as TextOutA at (left, top),
                                                    // transparent, clipped
// The whole of the runtime's text layout: lines split at '\n', rows, the reach rules far out.
// x, y are logical coordinates (origin_x + x, origin_y - y on the surface).
void paint_text(PixelSurface &surface, int32_t origin_x, int32_t origin_y, uint32_t rgb,
                int point_size, int64_t x, int64_t y, const char *text);

} // namespace zepha
