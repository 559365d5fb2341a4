// PNG files (ISO/IEC 15948): the tool's own 8-bit RGB pictures out, the common kinds in.
#include "tools/replay/core/png_codec.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

// ---- Constants ----

namespace {

const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t MAX_SIDE = 1 << 14; // larger than any screen a replay is taken from

enum ColorType { GREY = 0, RGB = 2, PALETTE = 3, GREY_ALPHA = 4, RGBA = 6 };

// ---- Internal functions ----

uint32_t chunk_crc(const uint8_t *data, size_t size) {
    return static_cast<uint32_t>(crc32_z(0, data, size));
}

void put32(std::vector<uint8_t> &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t get32(const uint8_t *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void put_chunk(std::vector<uint8_t> &out, const char *kind, const std::vector<uint8_t> &data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, chunk_crc(out.data() + start, out.size() - start));
}

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

// The rows as one zlib stream, as PNG's IDAT holds them.
std::vector<uint8_t> deflate_rows(const std::vector<uint8_t> &raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_SPEED) !=
        Z_OK)
        throw std::bad_alloc(); // the output has room for any input: only memory can run out
    out.resize(size);
    return out;
}

// The first `size` bytes of a zlib stream; false when the stream is damaged or gives fewer.
// The output grows as the stream fills it, so a file whose header claims a huge picture takes
// no more memory than its data gives. What follows those bytes is ignored.
bool inflate_rows(const std::vector<uint8_t> &compressed, size_t size, std::vector<uint8_t> &out) {
    if (compressed.size() > UINT_MAX)
        return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef *>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    out.assign(std::min<size_t>(size, 1 << 16), 0);
    size_t done = 0;
    int status = Z_OK;
    while (status == Z_OK && done < size) {
        if (done == out.size())
            out.resize(std::min(size, out.size() * 2));
        stream.next_out = out.data() + done;
        stream.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - done, UINT_MAX));
        const uInt before = stream.avail_out;
        status = inflate(&stream, Z_NO_FLUSH);
        done += before - stream.avail_out;
    }
    inflateEnd(&stream);
    return done == size && (status == Z_OK || status == Z_STREAM_END);
}

// Undoes the row filters in place: rows of `stride` bytes, each after its filter byte.
bool unfilter(std::vector<uint8_t> &raw, size_t stride, size_t rows, size_t pixel_bytes) {
    if (raw.size() < rows * (stride + 1))
        return false;
    for (size_t y = 0; y < rows; y++) {
        uint8_t *row = &raw[y * (stride + 1) + 1];
        const uint8_t *above = y > 0 ? row - (stride + 1) : nullptr;
        const uint8_t method = row[-1];
        if (method == 0) // unfiltered, as the replay tools and the runtime write their rows
            continue;
        for (size_t i = 0; i < stride; i++) {
            const int a = i >= pixel_bytes ? row[i - pixel_bytes] : 0;
            const int b = above ? above[i] : 0;
            const int c = above && i >= pixel_bytes ? above[i - pixel_bytes] : 0;
            switch (method) {
            case 0: break;
            case 1: row[i] = static_cast<uint8_t>(row[i] + a); break;
            case 2: row[i] = static_cast<uint8_t>(row[i] + b); break;
            case 3: row[i] = static_cast<uint8_t>(row[i] + (a + b) / 2); break;
            case 4: row[i] = static_cast<uint8_t>(row[i] + paeth(a, b, c)); break;
            default: return false;
            }
        }
    }
    return true;
}

} // namespace

// ---- Public functions ----

std::vector<uint8_t> encode_png(const RgbPicture &picture) {
    std::vector<uint8_t> out(SIGNATURE, SIGNATURE + 8);
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(picture.width));
    put32(header, static_cast<uint32_t>(picture.height));
    header.insert(header.end(), {8, RGB, 0, 0, 0}); // 8 bits, deflate, rows filtered, no interlace
    put_chunk(out, "IHDR", header);
    const size_t stride = static_cast<size_t>(picture.width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((stride + 1) * picture.height);
    for (int y = 0; y < picture.height; y++) {
        raw.push_back(0); // no filter: the repeats of flat drawings compress well as they are
        raw.insert(raw.end(), picture.rgb.begin() + y * stride,
                   picture.rgb.begin() + (y + 1) * stride);
    }
    put_chunk(out, "IDAT", deflate_rows(raw));
    put_chunk(out, "IEND", {});
    return out;
}

bool decode_png(const std::vector<uint8_t> &bytes, RgbPicture &picture, std::string &error) {
    if (bytes.size() < 8 || memcmp(bytes.data(), SIGNATURE, 8) != 0) {
        error = "not a PNG file";
        return false;
    }
    uint32_t width = 0, height = 0;
    int depth = 0, type = -1;
    std::vector<uint8_t> compressed, palette;
    bool ended = false;
    for (size_t pos = 8; !ended;) {
        if (pos + 12 > bytes.size()) {
            error = "the PNG file is cut short";
            return false;
        }
        const uint32_t length = get32(&bytes[pos]);
        if (length > bytes.size() - pos - 12) {
            error = "the PNG file is cut short";
            return false;
        }
        const uint8_t *kind = &bytes[pos + 4];
        const uint8_t *data = kind + 4;
        if (chunk_crc(kind, length + 4) != get32(data + length)) {
            error = "the PNG file is damaged (a chunk's check sum is wrong)";
            return false;
        }
        if (memcmp(kind, "IHDR", 4) == 0 && length == 13) {
            width = get32(data);
            height = get32(data + 4);
            depth = data[8];
            type = data[9];
            if (data[12] != 0) {
                error = "interlaced PNG files are not read";
                return false;
            }
        } else if (memcmp(kind, "PLTE", 4) == 0) {
            palette.assign(data, data + length);
        } else if (memcmp(kind, "IDAT", 4) == 0) {
            compressed.insert(compressed.end(), data, data + length);
        } else if (memcmp(kind, "IEND", 4) == 0) {
            ended = true;
        }
        pos += 12 + length;
    }
    int channels = 0;
    switch (type) {
    case GREY: channels = 1; break;
    case RGB: channels = 3; break;
    case PALETTE: channels = 1; break;
    case GREY_ALPHA: channels = 2; break;
    case RGBA: channels = 4; break;
    default: break;
    }
    const bool depth_ok = depth == 8 || (depth == 16 && type != PALETTE);
    if (channels == 0 || !depth_ok || width == 0 || height == 0 || width > MAX_SIDE ||
        height > MAX_SIDE) {
        error = "a PNG file of a kind not read here (8-bit or 16-bit grey or colour, or 8-bit "
                "palette, are)";
        return false;
    }
    const size_t pixel_bytes = static_cast<size_t>(channels) * (depth / 8);
    const size_t stride = width * pixel_bytes;
    std::vector<uint8_t> raw;
    if (!inflate_rows(compressed, (stride + 1) * height, raw) ||
        !unfilter(raw, stride, height, pixel_bytes)) {
        error = "the PNG file's pixel data is damaged";
        return false;
    }
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    const size_t step = depth / 8; // the most significant byte of a 16-bit sample
    for (size_t y = 0; y < height; y++) {
        const uint8_t *row = &raw[y * (stride + 1) + 1];
        if (type == RGB && depth == 8) { // the pixels as they are
            memcpy(&picture.rgb[y * width * 3], row, stride);
            continue;
        }
        for (size_t x = 0; x < width; x++) {
            const uint8_t *p = row + x * pixel_bytes;
            uint8_t *q = &picture.rgb[(y * width + x) * 3];
            if (type == PALETTE) {
                if (size_t{p[0]} * 3 + 3 > palette.size()) {
                    error = "the PNG file's palette is short";
                    return false;
                }
                memcpy(q, &palette[p[0] * 3], 3);
            } else if (channels <= 2) {
                q[0] = q[1] = q[2] = p[0];
            } else {
                q[0] = p[0];
                q[1] = p[step];
                q[2] = p[2 * step];
            }
        }
    }
    return true;
}
