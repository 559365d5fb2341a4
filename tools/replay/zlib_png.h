// A PNG file of 8-bit RGB pixels, written with zlib alone, on any platform.
#pragma once

#include <cstdint>

// Writes the picture (rows from the top, 3 bytes per pixel in red, green, blue order) as a PNG
// file with no time stamp, so that the same pixels give the same file. The file is written
// under a temporary name beside the target and renamed over it when complete, so a failure
// leaves no partial file. False if it cannot be written.
bool write_png_file(const char *path, int width, int height, const uint8_t *rgb);
