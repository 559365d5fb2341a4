// PNG files of the surface: the signature, IHDR, one IDAT of the zlib stream, IEND.
#include "runtime/software/png_file.h"

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zepha {

// ---- Internal functions ----

namespace {

void put_u32(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// A chunk: its length, type and data, and the CRC of type and data.
void put_chunk(std::vector<uint8_t> &out, const char (&type)[5], const uint8_t *data, size_t size) {
    put_u32(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    put_u32(out, static_cast<uint32_t>(
                     crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

} // namespace

// ---- Internal functions (shared) ----

bool write_png(const char *path, const uint32_t *pixels, int width, int height, int stride) {
    // Each row: filter type 0, then red, green, blue.
    std::vector<uint8_t> rows;
    rows.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; y++) {
        rows.push_back(0);
        for (const uint32_t *p = pixels + static_cast<size_t>(y) * stride, *end = p + width;
             p < end; p++) {
            rows.push_back(static_cast<uint8_t>(*p));
            rows.push_back(static_cast<uint8_t>(*p >> 8));
            rows.push_back(static_cast<uint8_t>(*p >> 16));
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put_u32(header, static_cast<uint32_t>(width));
    put_u32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, deflate, no filter, no interlace
    put_chunk(file, "IHDR", header.data(), header.size());
    put_chunk(file, "IDAT", packed.data(), packed_size);
    put_chunk(file, "IEND", nullptr, 0);

    const std::string partial = std::string(path) + ".partial";
    FILE *out = fopen(partial.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written = fwrite(file.data(), 1, file.size(), out) == file.size();
    if (fclose(out) != 0 || !written || rename(partial.c_str(), path) != 0) {
        remove(partial.c_str());
        return false;
    }
    return true;
}

} // namespace zepha
