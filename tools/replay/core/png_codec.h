// Pictures as PNG files: an encoder for the tool's own pictures (8-bit RGB, no time stamp, so
// the same picture always gives the same bytes) and a decoder for expected pictures, which may
// come from any program: 8-bit grey, RGB, palette, grey with alpha and RGBA, and 16-bit grey
// and colour, without interlacing. Alpha is dropped. Plain C++: no platform headers.
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

// The zlib streams inside a PNG file (RFC 1950 and 1951): compress finds repeats of up to 258
// bytes and codes them with the fixed codes; inflate reads every kind of block.
std::vector<uint8_t> zlib_compress(const std::vector<uint8_t> &data);
bool zlib_inflate(const uint8_t *data, size_t size, std::vector<uint8_t> &out);
