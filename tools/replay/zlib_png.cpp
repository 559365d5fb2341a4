// The PNG file: signature, then the IHDR, IDAT and IEND chunks, each as length, type, data
// and the CRC of type and data. The image data is every row behind a filter byte of 0 (none),
// compressed as one zlib stream.
#include "zlib_png.h"

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

// ---- Internal functions ----

namespace {

void put_u32(std::vector<uint8_t> &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void put_chunk(std::vector<uint8_t> &out, const char type[4], const std::vector<uint8_t> &data) {
    put_u32(out, static_cast<uint32_t>(data.size()));
    const size_t type_at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + type_at, static_cast<uInt>(4 + data.size()));
    put_u32(out, static_cast<uint32_t>(crc));
}

bool encode(int width, int height, const uint8_t *rgb, std::vector<uint8_t> &png) {
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((stride + 1) * static_cast<size_t>(height));
    for (int y = 0; y < height; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb + y * stride, rgb + (y + 1) * stride);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packed_size);

    // IHDR: width, height, bit depth 8, colour type 2 (RGB), deflate, no filter choice, no
    // interlace.
    std::vector<uint8_t> header;
    put_u32(header, static_cast<uint32_t>(width));
    put_u32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});

    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(signature, signature + 8);
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", packed);
    put_chunk(png, "IEND", {});
    return true;
}

} // namespace

// ---- Public functions ----

bool write_png_file(const char *path, int width, int height, const uint8_t *rgb) {
    std::vector<uint8_t> png;
    if (width <= 0 || height <= 0 || !encode(width, height, rgb, png))
        return false;
    const std::string temporary = std::string(path) + ".part";
    FILE *file = fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
    if (fclose(file) != 0 || !written) {
        remove(temporary.c_str());
        return false;
    }
    // Windows' rename does not replace an existing file.
    if (rename(temporary.c_str(), path) != 0 &&
        (remove(path) != 0 || rename(temporary.c_str(), path) != 0)) {
        remove(temporary.c_str());
        return false;
    }
    return true;
}
