// The surface, or part of it, as a PNG file: with a palette of 1 to 8 bits where the picture has
// at most 256 colours and 8-bit RGB otherwise, compressed with zlib. The pieces of the format below
// are shared with the animated PNG files (apng_file.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace zepha {

using PngBytes = std::vector<uint8_t>;

// ---- PNG files ----

// Writes the top-left width x height pixels of a surface whose rows are stride pixels apart
// (0x00BBGGRR each) to path, by way of a temporary file beside it, so that a reader never sees
// a partial picture. False if it could not be written.
bool write_png(const char *path, const uint32_t *pixels, int width, int height, int stride);

// ---- Pieces of the format ----

void put_png_u32(PngBytes &out, uint32_t value); // a number, most significant byte first
void put_png_u16(PngBytes &out, uint16_t value); // likewise
void put_png_chunk(PngBytes &out, const char (&type)[5], const uint8_t *data,
                   size_t size); // length, type, data and CRC
PngBytes png_start(int width, int height, uint8_t colour_type = 2,
                   uint8_t depth = 8); // the signature and the IHDR (2: RGB)
bool pack_png_rows(const uint32_t *pixels, int width, int height, int stride,
                   PngBytes &packed); // the zlib stream of the RGB rows, as IDAT holds it
bool replace_file(const char *path, const std::function<bool(FILE *)> &write); // via path.partial

} // namespace zepha
