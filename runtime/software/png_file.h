// The surface, or part of it, as a PNG file: 8-bit RGB, compressed with zlib.
#pragma once

#include <cstdint>

namespace zepha {

// Writes the top-left width x height pixels of a surface whose rows are stride pixels apart
// (0x00BBGGRR each) to path, by way of a temporary file beside it, so that a reader never sees
// a partial picture. False if it could not be written.
bool write_png(const char *path, const uint32_t *pixels, int width, int height, int stride);

} // namespace zepha
