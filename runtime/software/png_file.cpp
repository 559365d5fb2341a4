// PNG files of the surface: the signature, IHDR, one IDAT of the zlib stream, IEND.
#include "runtime/software/png_file.h"

#include <zlib.h>

#include <string>

namespace zepha {

// ---- Internal functions (shared) ----

void put_png_u32(PngBytes &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put_png_u16(PngBytes &out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// The CRC covers the type and the data, not the length.
void put_png_chunk(PngBytes &out, const char (&type)[5], const uint8_t *data, size_t size) {
    put_png_u32(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0)
        out.insert(out.end(), data, data + size);
    put_png_u32(out, static_cast<uint32_t>(
                         crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

PngBytes png_start(int width, int height) {
    PngBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngBytes header;
    put_png_u32(header, static_cast<uint32_t>(width));
    put_png_u32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, deflate, no filter, no interlace
    put_png_chunk(out, "IHDR", header.data(), header.size());
    return out;
}

bool pack_png_rows(const uint32_t *pixels, int width, int height, int stride, PngBytes &packed) {
    // Each row: filter type 0, then red, green, blue.
    PngBytes rows(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    uint8_t *to = rows.data();
    for (int y = 0; y < height; y++) {
        *to++ = 0;
        for (const uint32_t *p = pixels + static_cast<size_t>(y) * stride, *end = p + width;
             p < end; p++) {
            *to++ = static_cast<uint8_t>(*p);
            *to++ = static_cast<uint8_t>(*p >> 8);
            *to++ = static_cast<uint8_t>(*p >> 16);
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    packed.resize(packed_size);
    // The fastest level: a replay's pictures are mostly flat colour, which it packs nearly as
    // well, and writing the picture is a good part of a short replay's time.
    if (compress2(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()),
                  Z_BEST_SPEED) != Z_OK)
        return false;
    packed.resize(packed_size);
    packed.shrink_to_fit();
    return true;
}

bool replace_file(const char *path, const std::function<bool(FILE *)> &write) {
    const std::string partial = std::string(path) + ".partial";
    FILE *out = fopen(partial.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written = write(out);
    if (fclose(out) != 0 || !written || rename(partial.c_str(), path) != 0) {
        remove(partial.c_str());
        return false;
    }
    return true;
}

bool write_png(const char *path, const uint32_t *pixels, int width, int height, int stride) {
    PngBytes packed;
    if (!pack_png_rows(pixels, width, height, stride, packed))
        return false;
    PngBytes file = png_start(width, height);
    put_png_chunk(file, "IDAT", packed.data(), packed.size());
    put_png_chunk(file, "IEND", nullptr, 0);
    return replace_file(path, [&file](FILE *out) {
        return fwrite(file.data(), 1, file.size(), out) == file.size();
    });
}

} // namespace zepha
