// The drawing surface as plain memory, for platforms that draw it in software: rows from the
// top, each `width` pixels; a pixel is a colour table value, red in the low byte (0x00BBGGRR).
// Platform-free.
#pragma once

#include <cstdint>

namespace zepha {

struct PixelSurface {
    uint32_t *pixels; // width * height pixels, row by row
    int width;
    int height;
};

} // namespace zepha
