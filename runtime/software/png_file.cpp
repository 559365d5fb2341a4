// PNG files of the surface: the signature, IHDR, PLTE for a picture of few colours, one IDAT of
// the zlib stream, IEND.
#include "runtime/software/png_file.h"

#include <zlib.h>

#include <cstring>
#include <string>

namespace zepha {

// ---- Constants ----

namespace {

constexpr uint8_t COLOUR_RGB = 2;
constexpr uint8_t COLOUR_PALETTE = 3;
constexpr int MAX_PALETTE = 256;
constexpr size_t PACKED_STEP = 16384;      // what deflate writes at a time
constexpr uint32_t NO_COLOUR = 0xFFFFFFFF; // no surface pixel has its top byte set
// Runs repeat the byte before them, so a small window and little memory pack them as well, with
// less for zlib to set up and clear here and in the reader.
constexpr int WINDOW_BITS = 12;
constexpr int MEMORY_LEVEL = 4;

} // namespace

// ---- Types ----

namespace {

// The rows' zlib stream, fed one filtered row at a time, so that no copy of the whole picture
// is ever made. zlib's run-length strategy at its fastest level: a surface is drawn in flat
// colours, whose runs it finds at once, and packing is a good part of a short replay's time.
class RowPacker {
  public:
    explicit RowPacker(PngBytes &packed) : packed_(packed) {
        packed_.clear();
        ok_ = deflateInit2(&stream_, Z_BEST_SPEED, Z_DEFLATED, WINDOW_BITS, MEMORY_LEVEL, Z_RLE) ==
              Z_OK;
    }
    ~RowPacker() {
        if (ok_)
            deflateEnd(&stream_);
    }
    RowPacker(const RowPacker &) = delete;
    RowPacker &operator=(const RowPacker &) = delete;

    bool add(const PngBytes &row, bool last) {
        if (!ok_)
            return false;
        stream_.next_in = const_cast<Bytef *>(row.data());
        stream_.avail_in = static_cast<uInt>(row.size());
        for (;;) {
            stream_.next_out = chunk_;
            stream_.avail_out = sizeof chunk_;
            const int status = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
            packed_.insert(packed_.end(), chunk_, stream_.next_out);
            if (status == Z_STREAM_END)
                return true;
            if (status != Z_OK && status != Z_BUF_ERROR)
                return ok_ = false;
            // Short of Z_FINISH, deflate stops when the row is taken or the chunk is full.
            if (stream_.avail_out > 0 && !last)
                return true;
            if (stream_.avail_out > 0)
                return ok_ = false; // finishing made no progress
        }
    }

  private:
    PngBytes &packed_;
    z_stream stream_ = {};
    uint8_t chunk_[PACKED_STEP];
    bool ok_ = false;
};

// The colours of a picture of at most MAX_PALETTE of them, in the order they first come.
class Palette {
  public:
    // False once a colour more than MAX_PALETTE would be needed.
    bool index_of(uint32_t colour, uint8_t &index) {
        if (colour == last_) {
            index = last_index_;
            return true;
        }
        size_t slot = (colour * 2654435761u) >> 23; // 512 slots, twice the palette
        while (slots_[slot] != 0 && colours_[slots_[slot] - 1] != colour)
            slot = (slot + 1) % SLOTS;
        if (slots_[slot] == 0) {
            if (count_ == MAX_PALETTE)
                return false;
            colours_[count_++] = colour;
            slots_[slot] = static_cast<uint16_t>(count_);
        }
        last_ = colour;
        last_index_ = index = static_cast<uint8_t>(slots_[slot] - 1);
        return true;
    }
    int size() const { return count_; }
    // PLTE's data: red, green, blue for each colour.
    PngBytes entries() const {
        PngBytes data;
        for (int i = 0; i < count_; i++) {
            data.push_back(static_cast<uint8_t>(colours_[i]));
            data.push_back(static_cast<uint8_t>(colours_[i] >> 8));
            data.push_back(static_cast<uint8_t>(colours_[i] >> 16));
        }
        return data;
    }

  private:
    static constexpr size_t SLOTS = 512;
    uint32_t colours_[MAX_PALETTE] = {};
    uint16_t slots_[SLOTS] = {}; // index + 1 into colours_, 0 for an empty slot
    int count_ = 0;
    uint32_t last_ = NO_COLOUR;
    uint8_t last_index_ = 0;
};

// ---- Internal functions ----

// The picture's pixels as indices into its palette, a byte each, found a run of one colour at a
// time (a drawing is mostly runs); false as soon as it has more colours than a palette holds.
bool index_pixels(const uint32_t *pixels, int width, int height, int stride, Palette &palette,
                  PngBytes &indices) {
    indices.resize(static_cast<size_t>(width) * height);
    uint8_t *to = indices.data();
    for (int y = 0; y < height; y++) {
        for (const uint32_t *p = pixels + static_cast<size_t>(y) * stride, *end = p + width;
             p < end;) {
            uint8_t index;
            if (!palette.index_of(*p, index))
                return false;
            const uint32_t *run = p + 1;
            while (run < end && *run == *p)
                run++;
            memset(to, index, static_cast<size_t>(run - p));
            to += run - p;
            p = run;
        }
    }
    return true;
}

// A row of indices packed DEPTH bits to a pixel, the first pixel in the high bits.
template <int DEPTH> void pack_indices(const uint8_t *indices, int width, uint8_t *to) {
    constexpr int PER_BYTE = 8 / DEPTH;
    for (int x = 0; x < width; x += PER_BYTE, to++) {
        unsigned byte = 0;
        for (int k = 0; k < PER_BYTE; k++)
            byte = byte << DEPTH | (x + k < width ? indices[x + k] : 0u);
        *to = static_cast<uint8_t>(byte);
    }
}

// The picture with its palette, as the zlib stream of its rows packed as tightly as the
// palette's size allows: fewer bytes for zlib to pack here and unpack in whoever reads it.
bool pack_palette_rows(const uint32_t *pixels, int width, int height, int stride, Palette &palette,
                       uint8_t &depth, PngBytes &packed) {
    PngBytes indices;
    if (!index_pixels(pixels, width, height, stride, palette, indices))
        return false;
    depth = palette.size() <= 2 ? 1 : palette.size() <= 4 ? 2 : palette.size() <= 16 ? 4 : 8;
    RowPacker packer(packed);
    PngBytes row(1 + (static_cast<size_t>(width) * depth + 7) / 8); // filter type 0, indices
    for (int y = 0; y < height; y++) {
        const uint8_t *line = indices.data() + static_cast<size_t>(y) * width;
        switch (depth) {
        case 1: pack_indices<1>(line, width, row.data() + 1); break;
        case 2: pack_indices<2>(line, width, row.data() + 1); break;
        case 4: pack_indices<4>(line, width, row.data() + 1); break;
        default: memcpy(row.data() + 1, line, static_cast<size_t>(width)); break;
        }
        if (!packer.add(row, y == height - 1))
            return false;
    }
    return true;
}

} // namespace

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

PngBytes png_start(int width, int height, uint8_t colour_type, uint8_t depth) {
    PngBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngBytes header;
    put_png_u32(header, static_cast<uint32_t>(width));
    put_png_u32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {depth, colour_type, 0, 0, 0}); // deflate, no interlace
    put_png_chunk(out, "IHDR", header.data(), header.size());
    return out;
}

bool pack_png_rows(const uint32_t *pixels, int width, int height, int stride, PngBytes &packed) {
    RowPacker packer(packed);
    PngBytes row(1 + 3 * static_cast<size_t>(width)); // filter type 0, then red, green, blue
    for (int y = 0; y < height; y++) {
        uint8_t *to = row.data() + 1;
        for (const uint32_t *p = pixels + static_cast<size_t>(y) * stride, *end = p + width;
             p < end; p++) {
            *to++ = static_cast<uint8_t>(*p);
            *to++ = static_cast<uint8_t>(*p >> 8);
            *to++ = static_cast<uint8_t>(*p >> 16);
        }
        if (!packer.add(row, y == height - 1))
            return false;
    }
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

// A picture of at most 256 colours, as drawings in the runtime's colours are, is written with a
// palette: a third of the bytes to pack, or less. Any other in 8-bit RGB.
bool write_png(const char *path, const uint32_t *pixels, int width, int height, int stride) {
    if (width <= 0 || height <= 0)
        return false;
    PngBytes packed, file;
    Palette palette;
    uint8_t depth = 8;
    if (pack_palette_rows(pixels, width, height, stride, palette, depth, packed)) {
        file = png_start(width, height, COLOUR_PALETTE, depth);
        const PngBytes entries = palette.entries();
        put_png_chunk(file, "PLTE", entries.data(), entries.size());
    } else if (pack_png_rows(pixels, width, height, stride, packed)) {
        file = png_start(width, height, COLOUR_RGB);
    } else {
        return false;
    }
    put_png_chunk(file, "IDAT", packed.data(), packed.size());
    put_png_chunk(file, "IEND", nullptr, 0);
    return replace_file(path, [&file](FILE *out) {
        return fwrite(file.data(), 1, file.size(), out) == file.size();
    });
}

} // namespace zepha
