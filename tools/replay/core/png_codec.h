// Pictures as PNG files: an encoder for the tool's own pictures (8-bit RGB, no time stamp, so
// the same picture always gives the same bytes) and a decoder for expected pictures and the
// pictures programs write, which may come from any program: 8-bit grey, RGB, grey with alpha
// and RGBA, palettes of 1, 2, 4 and 8 bits, and 16-bit grey and colour, without interlacing.
// Alpha is dropped.
// A program's file that shows exactly its decoded pixels is written on as it is, cut to its
// critical chunks, rather than encoded again. Plain C++ and zlib: no platform headers.
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

// A picture as the tool holds one: its pixels, or a PNG file that shows exactly them, or both.
struct Picture {
    RgbPicture pixels;        // none (width 0) until made
    std::vector<uint8_t> png; // the file as read_png keeps it, or empty
};

std::vector<uint8_t> encode_png(const RgbPicture &picture);

// False with a reason when the bytes are not a PNG file this decoder reads.
bool decode_png(const std::vector<uint8_t> &bytes, RgbPicture &picture, std::string &error);
// decode_png's checks, with the pixels made only when `picture` is not null. `critical`, when
// not null, gets the file with its critical chunks alone (IHDR, PLTE, IDAT, IEND) when that is
// a PNG file of exactly the pixels decode_png gives (8-bit grey or RGB, a palette, a zlib stream
// that ends with the last row), to be written as it is; otherwise it is left empty.
bool read_png(const std::vector<uint8_t> &bytes, RgbPicture *picture,
              std::vector<uint8_t> *critical, std::string &error);
// A PNG file as a Picture: checked through as decode_png checks it, then kept as read_png keeps
// it, or decoded when it cannot be.
bool read_picture_file(const std::vector<uint8_t> &bytes, Picture &picture, std::string &error);
// The picture's pixels, decoded from its file the first time they are needed.
const RgbPicture &pixels_of(Picture &picture);
