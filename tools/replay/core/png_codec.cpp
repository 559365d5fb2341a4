// PNG files (ISO/IEC 15948): the tool's own 8-bit RGB pictures out, the common kinds in, and a
// program's own file passed on with its critical chunks alone.
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
constexpr size_t MOST_INFLATED = 1032; // the most bytes deflate packs into one

enum ColorType { GREY = 0, RGB = 2, PALETTE = 3, GREY_ALPHA = 4, RGBA = 6 };

// ---- Types ----

// A chunk of a file as an offset into it: where its length field is, and its data's size.
struct ChunkPlace {
    size_t at = 0;
    uint32_t size = 0;
};

// The chunks decoding takes from a file.
struct PngChunks {
    ChunkPlace header, palette; // the last IHDR of 13 bytes, the last PLTE
    bool has_header = false, has_palette = false;
    std::vector<ChunkPlace> data; // the IDAT chunks, in order
};

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

// Undoes a row's filter in place: the `stride` bytes after its filter byte, against the row
// above as it was unfiltered (null for the first row). One loop for each filter, so that the
// common ones run at the speed of memory.
bool unfilter(uint8_t *row, const uint8_t *above, size_t stride, size_t pixel_bytes) {
    switch (row[-1]) {
    case 0: break; // unfiltered, as the replay tools and the runtime write their rows
    case 1:
        for (size_t i = pixel_bytes; i < stride; i++)
            row[i] = static_cast<uint8_t>(row[i] + row[i - pixel_bytes]);
        break;
    case 2:
        for (size_t i = 0; above != nullptr && i < stride; i++)
            row[i] = static_cast<uint8_t>(row[i] + above[i]);
        break;
    case 3:
        for (size_t i = 0; i < stride; i++) {
            const int a = i >= pixel_bytes ? row[i - pixel_bytes] : 0;
            const int b = above ? above[i] : 0;
            row[i] = static_cast<uint8_t>(row[i] + (a + b) / 2);
        }
        break;
    case 4:
        for (size_t i = 0; i < stride; i++) {
            const int a = i >= pixel_bytes ? row[i - pixel_bytes] : 0;
            const int b = above ? above[i] : 0;
            const int c = above && i >= pixel_bytes ? above[i - pixel_bytes] : 0;
            row[i] = static_cast<uint8_t>(row[i] + paeth(a, b, c));
        }
        break;
    default: return false;
    }
    return true;
}

// The chunks up to IEND, each checked against its check sum.
bool find_chunks(const std::vector<uint8_t> &bytes, PngChunks &chunks, std::string &error) {
    if (bytes.size() < 8 || memcmp(bytes.data(), SIGNATURE, 8) != 0) {
        error = "not a PNG file";
        return false;
    }
    for (size_t pos = 8;;) {
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
        const ChunkPlace place = {pos, length};
        if (memcmp(kind, "IHDR", 4) == 0 && length == 13) {
            chunks.header = place;
            chunks.has_header = true;
            if (data[12] != 0) {
                error = "interlaced PNG files are not read";
                return false;
            }
        } else if (memcmp(kind, "PLTE", 4) == 0) {
            chunks.palette = place;
            chunks.has_palette = true;
        } else if (memcmp(kind, "IDAT", 4) == 0) {
            chunks.data.push_back(place);
        } else if (memcmp(kind, "IEND", 4) == 0) {
            return true;
        }
        pos += 12 + length;
    }
}

// The rows of a zlib stream (the IDAT chunks' data, joined) one at a time, their filters
// undone: `take` gets each row's `stride` bytes. False when the stream is damaged or gives
// fewer rows. What follows the last row is not needed: `clean` tells whether the stream ended
// right there, its check sum right, with nothing after it. Two rows are held, however large a
// picture the header claims, so a file takes no more memory than its data gives.
template <typename Take>
bool inflate_rows(const std::vector<uint8_t> &compressed, size_t stride, size_t rows,
                  size_t pixel_bytes, bool &clean, Take take) {
    clean = false;
    if (compressed.size() > UINT_MAX)
        return false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef *>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::vector<uint8_t> lines(2 * (stride + 1)); // this row and the one above, filter bytes first
    uint8_t *row = lines.data();
    const uint8_t *above = nullptr;
    int status = Z_OK;
    bool whole = true;
    for (size_t y = 0; y < rows && whole; y++) {
        stream.next_out = row;
        stream.avail_out = static_cast<uInt>(stride + 1);
        while (stream.avail_out > 0 && status == Z_OK)
            status = inflate(&stream, Z_NO_FLUSH);
        whole = stream.avail_out == 0 && (status == Z_OK || status == Z_STREAM_END) &&
                unfilter(row + 1, above, stride, pixel_bytes);
        if (whole)
            take(row + 1);
        above = row + 1;
        row = row == lines.data() ? lines.data() + stride + 1 : lines.data();
    }
    if (whole) {
        uint8_t extra = 0;
        stream.next_out = &extra;
        stream.avail_out = 1;
        while (status == Z_OK && stream.avail_out == 1 && stream.avail_in > 0)
            status = inflate(&stream, Z_NO_FLUSH);
        clean = status == Z_STREAM_END && stream.avail_out == 1 && stream.avail_in == 0;
    }
    inflateEnd(&stream);
    return whole;
}

// A row of a picture of any kind read here, added to the picture's pixels in 8-bit RGB. `step`:
// the bytes of a sample, whose first is its most significant.
void add_rgb_row(const uint8_t *row, size_t width, int type, size_t pixel_bytes, size_t step,
                 const uint8_t *palette, std::vector<uint8_t> &rgb) {
    const size_t start = rgb.size();
    rgb.resize(start + width * 3); // within the room reserved for the whole picture
    uint8_t *q = &rgb[start];
    if (type == RGB && pixel_bytes == 3) { // the pixels as they are
        memcpy(q, row, width * 3);
        return;
    }
    for (const uint8_t *p = row; p < row + width * pixel_bytes; p += pixel_bytes, q += 3) {
        if (type == PALETTE) {
            memcpy(q, palette + p[0] * 3, 3);
        } else if (type == GREY || type == GREY_ALPHA) {
            q[0] = q[1] = q[2] = p[0];
        } else {
            q[0] = p[0];
            q[1] = p[step];
            q[2] = p[2 * step];
        }
    }
}

// The file again with its critical chunks alone, in their order: IHDR, PLTE, IDAT, IEND.
std::vector<uint8_t> critical_chunks(const std::vector<uint8_t> &bytes, const PngChunks &chunks,
                                     bool palette) {
    std::vector<uint8_t> out(SIGNATURE, SIGNATURE + 8);
    const auto copy = [&](const ChunkPlace &chunk) {
        out.insert(out.end(), bytes.begin() + chunk.at, bytes.begin() + chunk.at + 12 + chunk.size);
    };
    copy(chunks.header);
    if (palette)
        copy(chunks.palette);
    for (const ChunkPlace &chunk : chunks.data)
        copy(chunk);
    put_chunk(out, "IEND", {});
    return out;
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

bool read_png(const std::vector<uint8_t> &bytes, RgbPicture *picture,
              std::vector<uint8_t> *critical, std::string &error) {
    if (critical != nullptr)
        critical->clear();
    PngChunks chunks;
    if (!find_chunks(bytes, chunks, error))
        return false;
    const uint8_t *header = chunks.has_header ? &bytes[chunks.header.at + 8] : nullptr;
    const uint32_t width = header ? get32(header) : 0, height = header ? get32(header + 4) : 0;
    const int depth = header ? header[8] : 0, type = header ? header[9] : -1;
    int channels = 0;
    switch (type) {
    case GREY: channels = 1; break;
    case RGB: channels = 3; break;
    case PALETTE: channels = 1; break;
    case GREY_ALPHA: channels = 2; break;
    case RGBA: channels = 4; break;
    default: break;
    }
    // Palettes of 2, 4 and 16 colours come packed 8, 4 and 2 indices to the byte.
    const bool packed = type == PALETTE && (depth == 1 || depth == 2 || depth == 4);
    const bool depth_ok = depth == 8 || (depth == 16 && type != PALETTE) || packed;
    if (channels == 0 || !depth_ok || width == 0 || height == 0 || width > MAX_SIDE ||
        height > MAX_SIDE) {
        error = "a PNG file of a kind not read here (8-bit or 16-bit grey or colour, or a "
                "palette, are)";
        return false;
    }
    // Filters work on whole bytes: a packed row's filter unit is one byte.
    const size_t pixel_bytes = packed ? 1 : static_cast<size_t>(channels) * (depth / 8);
    const size_t stride =
        packed ? (static_cast<size_t>(width) * depth + 7) / 8 : width * pixel_bytes;
    const size_t per_byte = packed ? 8 / depth : 1; // pixels of a byte of the data
    const uint8_t *palette = chunks.has_palette ? &bytes[chunks.palette.at + 8] : nullptr;
    const size_t colours = chunks.has_palette ? chunks.palette.size / 3 : 0;
    std::vector<uint8_t> compressed;
    for (const ChunkPlace &chunk : chunks.data)
        compressed.insert(compressed.end(), bytes.begin() + chunk.at + 8,
                          bytes.begin() + chunk.at + 8 + chunk.size);
    // Room for the whole picture at once, but for no more than the data can give (three bytes
    // of RGB for each pixel a byte of the data holds): a header that claims a huge picture
    // takes no memory of its own.
    if (picture != nullptr) {
        picture->rgb.clear();
        picture->rgb.reserve(std::min(static_cast<size_t>(width) * height * 3,
                                      compressed.size() * MOST_INFLATED * 3 * per_byte));
    }
    // For each value of a byte of the data, whether it holds an index past the palette: a row
    // is checked a byte at a time, however many indices a byte holds.
    uint8_t past_palette[256] = {};
    const unsigned index_bits = packed ? depth : 8, mask = (1u << index_bits) - 1;
    for (unsigned value = 0; type == PALETTE && value < 256; value++)
        for (unsigned shift = 0; shift < 8; shift += index_bits)
            past_palette[value] |= (value >> shift & mask) >= colours;
    const size_t whole_bytes = packed ? width * depth / 8 : stride; // the last may be part padding
    // The index of pixel x of a packed row: the first pixel in the high bits.
    const auto packed_index = [&](const uint8_t *row, size_t x) {
        return static_cast<uint8_t>(row[x / per_byte] >> (8 - depth * (1 + x % per_byte)) & mask);
    };
    bool palette_short = false, clean = false;
    std::vector<uint8_t> indices(packed ? width : 0); // a packed row, one index a byte
    const bool whole =
        inflate_rows(compressed, stride, height, pixel_bytes, clean, [&](const uint8_t *row) {
            if (type == PALETTE && !palette_short) {
                unsigned past = 0;
                for (size_t i = 0; i < whole_bytes; i++)
                    past |= past_palette[row[i]];
                palette_short = past != 0;
                for (size_t x = whole_bytes * per_byte; x < width; x++) // the padded byte's own
                    palette_short = palette_short || packed_index(row, x) >= colours;
            }
            if (picture == nullptr || palette_short)
                return;
            if (packed) {
                for (size_t x = 0; x < width; x++)
                    indices[x] = packed_index(row, x);
                row = indices.data();
            }
            add_rgb_row(row, width, type, packed ? 1 : pixel_bytes, packed ? 1 : depth / 8, palette,
                        picture->rgb);
        });
    if (!whole) {
        error = "the PNG file's pixel data is damaged";
        return false;
    }
    if (palette_short) {
        error = "the PNG file's palette is short";
        return false;
    }
    if (picture != nullptr) {
        picture->width = static_cast<int>(width);
        picture->height = static_cast<int>(height);
    }
    // Kept when a reader sees exactly these pixels in it: 8-bit grey or colour, a palette,
    // deflate, the standard filters, a palette of whole entries, a zlib stream that ends with
    // the last row. Ancillary chunks go: colour spaces, transparency and texts are nothing the
    // tool's pictures have.
    const bool whole_palette =
        type != PALETTE || (chunks.palette.size % 3 == 0 && colours >= 1 && colours <= 256);
    if (critical != nullptr && (depth == 8 || packed) && (channels == 1 || type == RGB) &&
        header[10] == 0 && header[11] == 0 && whole_palette && clean)
        *critical = critical_chunks(bytes, chunks, type == PALETTE);
    return true;
}

bool decode_png(const std::vector<uint8_t> &bytes, RgbPicture &picture, std::string &error) {
    return read_png(bytes, &picture, nullptr, error);
}

bool read_picture_file(const std::vector<uint8_t> &bytes, Picture &picture, std::string &error) {
    picture = Picture();
    if (!read_png(bytes, nullptr, &picture.png, error))
        return false;
    return !picture.png.empty() || decode_png(bytes, picture.pixels, error);
}

const RgbPicture &pixels_of(Picture &picture) {
    std::string error;
    if (picture.pixels.width == 0 && !picture.png.empty())
        decode_png(picture.png, picture.pixels, error); // read_png has read it through already
    return picture.pixels;
}
