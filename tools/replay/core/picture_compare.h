// A picture against the expected one, pixel for pixel, and a picture of where they differ.
// Plain C++: no platform headers.
#pragma once

#include "tools/replay/core/png_codec.h"

#include <cstdint>

// Pixels that differ. Where the sizes differ, every pixel that lies in one picture and not in
// the other differs too.
int64_t count_differing_pixels(const RgbPicture &got, const RgbPicture &expected);

// The expected picture faded towards white, with every differing pixel in magenta; as large as
// both pictures together.
RgbPicture difference_picture(const RgbPicture &got, const RgbPicture &expected);
