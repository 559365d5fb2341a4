// Pictures as PNG files: an encoder for the tool's own pictures (8-bit RGB, no time stamp, so
// the same picture always gives the same bytes) and a decoder for expected pictures, which may
// come from any program: 8-bit grey, RGB, palette, grey with alpha and RGBA, and 16-bit grey
// and colour, without interlacing. Alpha is dropped. Plain C++ and zlib: no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Rows from the top, 3 bytes per pixel in red, green, blue order.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    bool operator==(const RgbPicture &other) const {
        return width == other.width && height == other.height && rgb == other.rgb;
    }
};

std::vector<uint8_t> encode_png(const RgbPicture &picture);

// False with a reason when the bytes are not a PNG file this decoder reads.
bool decode_png(const std::vector<uint8_t> &bytes, RgbPicture &picture, std::string &error);
