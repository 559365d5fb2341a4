// The zlib streams of PNG files: a compressor with the fixed codes and a complete decompressor.
#include "tools/replay/core/png_codec.h"

#include <algorithm>
#include <cstring>

// ---- Constants ----

namespace {

// Lengths 257..285 and distances 0..29: the base value and the extra bits.
const uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DISTANCE_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the code lengths of the code-length code.
const uint8_t CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr size_t WINDOW = 32768;
constexpr size_t MAX_MATCH = 258;
constexpr size_t MIN_MATCH = 3;
constexpr int HASH_BITS = 15;
constexpr int MAX_CHAIN = 32; // earlier positions tried for each match

// ---- Types ----

// Writes bits from the least significant end, as deflate does.
class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t> &out) : out_(out) {}
    void bits(uint32_t value, int count) {
        buffer_ |= static_cast<uint64_t>(value) << filled_;
        filled_ += count;
        while (filled_ >= 8) {
            out_.push_back(static_cast<uint8_t>(buffer_));
            buffer_ >>= 8;
            filled_ -= 8;
        }
    }
    // A Huffman code goes out from its most significant bit.
    void code(uint32_t code, int length) {
        uint32_t reversed = 0;
        for (int i = 0; i < length; i++)
            reversed |= ((code >> i) & 1) << (length - 1 - i);
        bits(reversed, length);
    }
    void flush() {
        if (filled_ > 0)
            bits(0, 8 - filled_);
    }

  private:
    std::vector<uint8_t> &out_;
    uint64_t buffer_ = 0;
    int filled_ = 0;
};

// The fixed literal/length code of RFC 1951, 3.2.6.
void fixed_literal(BitWriter &out, unsigned symbol) {
    if (symbol < 144)
        out.code(0x30 + symbol, 8);
    else if (symbol < 256)
        out.code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        out.code(symbol - 256, 7);
    else
        out.code(0xC0 + symbol - 280, 8);
}

void write_match(BitWriter &out, size_t length, size_t distance) {
    unsigned l = 28;
    while (LENGTH_BASE[l] > length)
        l--;
    fixed_literal(out, 257 + l);
    out.bits(static_cast<uint32_t>(length - LENGTH_BASE[l]), LENGTH_EXTRA[l]);
    unsigned d = 29;
    while (DISTANCE_BASE[d] > distance)
        d--;
    out.code(d, 5);
    out.bits(static_cast<uint32_t>(distance - DISTANCE_BASE[d]), DISTANCE_EXTRA[d]);
}

uint32_t adler32(const std::vector<uint8_t> &data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// Reads bits from the least significant end; past the end it reads zeros and says so.
class BitReader {
  public:
    BitReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint32_t bits(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; i++) {
            if (byte_ >= size_) {
                overrun_ = true;
                return 0;
            }
            value |= static_cast<uint32_t>((data_[byte_] >> bit_) & 1) << i;
            if (++bit_ == 8) {
                bit_ = 0;
                byte_++;
            }
        }
        return value;
    }
    void align() {
        if (bit_ != 0) {
            bit_ = 0;
            byte_++;
        }
    }
    bool overrun() const { return overrun_; }
    size_t byte() const { return byte_; }
    void skip(size_t count) { byte_ += count; }
    size_t size() const { return size_; }
    const uint8_t *data() const { return data_; }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t byte_ = 0;
    int bit_ = 0;
    bool overrun_ = false;
};

// A canonical Huffman code for decoding: how many codes of each length, and the symbols in
// code order.
struct Huffman {
    uint16_t counts[16] = {};
    uint16_t symbols[320] = {};
    bool build(const uint8_t *lengths, int n) {
        memset(counts, 0, sizeof counts);
        for (int i = 0; i < n; i++)
            counts[lengths[i]]++;
        counts[0] = 0;
        int left = 1;
        for (int len = 1; len < 16; len++) {
            left = left * 2 - counts[len];
            if (left < 0)
                return false; // over-subscribed
        }
        uint16_t offsets[16] = {};
        for (int len = 1; len < 15; len++)
            offsets[len + 1] = offsets[len] + counts[len];
        for (int i = 0; i < n; i++)
            if (lengths[i] != 0)
                symbols[offsets[lengths[i]]++] = static_cast<uint16_t>(i);
        return true;
    }
    int decode(BitReader &in) const {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; len++) {
            code |= static_cast<int>(in.bits(1));
            const int count = counts[len];
            if (code - first < count)
                return symbols[index + code - first];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
            if (in.overrun())
                return -1;
        }
        return -1;
    }
};

bool inflate_block(BitReader &in, const Huffman &literals, const Huffman &distances,
                   std::vector<uint8_t> &out) {
    for (;;) {
        const int symbol = literals.decode(in);
        if (symbol < 0 || in.overrun())
            return false;
        if (symbol < 256) {
            out.push_back(static_cast<uint8_t>(symbol));
            continue;
        }
        if (symbol == 256)
            return true;
        const int l = symbol - 257;
        if (l >= 29)
            return false;
        const size_t length = LENGTH_BASE[l] + in.bits(LENGTH_EXTRA[l]);
        const int d = distances.decode(in);
        if (d < 0 || d >= 30)
            return false;
        const size_t distance = DISTANCE_BASE[d] + in.bits(DISTANCE_EXTRA[d]);
        if (distance > out.size() || in.overrun())
            return false;
        const size_t from = out.size() - distance;
        for (size_t i = 0; i < length; i++)
            out.push_back(out[from + i]);
    }
}

bool read_dynamic_codes(BitReader &in, Huffman &literals, Huffman &distances) {
    const int literal_count = static_cast<int>(in.bits(5)) + 257;
    const int distance_count = static_cast<int>(in.bits(5)) + 1;
    const int length_count = static_cast<int>(in.bits(4)) + 4;
    if (literal_count > 286 || distance_count > 30)
        return false;
    uint8_t lengths[320] = {};
    for (int i = 0; i < length_count; i++)
        lengths[CODE_LENGTH_ORDER[i]] = static_cast<uint8_t>(in.bits(3));
    Huffman length_code;
    if (!length_code.build(lengths, 19))
        return false;
    memset(lengths, 0, sizeof lengths);
    for (int i = 0; i < literal_count + distance_count;) {
        const int symbol = length_code.decode(in);
        if (symbol < 0 || in.overrun())
            return false;
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat = 0;
        if (symbol == 16) {
            if (i == 0)
                return false;
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(in.bits(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(in.bits(3));
        } else {
            repeat = 11 + static_cast<int>(in.bits(7));
        }
        if (i + repeat > literal_count + distance_count)
            return false;
        while (repeat-- > 0)
            lengths[i++] = value;
    }
    return literals.build(lengths, literal_count) &&
           distances.build(lengths + literal_count, distance_count);
}

} // namespace

// ---- Public functions ----

std::vector<uint8_t> zlib_compress(const std::vector<uint8_t> &data) {
    std::vector<uint8_t> out = {0x78, 0x01}; // deflate, 32 KB window, fastest
    BitWriter bits(out);
    bits.bits(1, 1); // the last block
    bits.bits(1, 2); // with the fixed codes
    std::vector<int32_t> head(size_t{1} << HASH_BITS, -1);
    std::vector<int32_t> previous(data.size(), -1);
    auto hash = [&](size_t i) {
        return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & ((1u << HASH_BITS) - 1);
    };
    auto insert = [&](size_t i) {
        if (i + MIN_MATCH <= data.size()) {
            const uint32_t h = hash(i);
            previous[i] = head[h];
            head[h] = static_cast<int32_t>(i);
        }
    };
    for (size_t i = 0; i < data.size();) {
        size_t best_length = 0, best_distance = 0;
        if (i + MIN_MATCH <= data.size()) {
            const size_t limit = std::min(MAX_MATCH, data.size() - i);
            int32_t candidate = head[hash(i)];
            for (int chain = 0; candidate >= 0 && chain < MAX_CHAIN; chain++) {
                const size_t distance = i - static_cast<size_t>(candidate);
                if (distance > WINDOW)
                    break;
                size_t length = 0;
                while (length < limit && data[candidate + length] == data[i + length])
                    length++;
                if (length > best_length) {
                    best_length = length;
                    best_distance = distance;
                    if (length == limit)
                        break;
                }
                candidate = previous[candidate];
            }
        }
        if (best_length >= MIN_MATCH) {
            write_match(bits, best_length, best_distance);
            for (size_t k = 0; k < best_length; k++)
                insert(i + k);
            i += best_length;
        } else {
            fixed_literal(bits, data[i]);
            insert(i);
            i++;
        }
    }
    fixed_literal(bits, 256);
    bits.flush();
    const uint32_t check = adler32(data);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(check >> shift));
    return out;
}

bool zlib_inflate(const uint8_t *data, size_t size, std::vector<uint8_t> &out) {
    if (size < 6 || (data[0] & 0x0F) != 8 || ((data[0] << 8) | data[1]) % 31 != 0 ||
        (data[1] & 0x20) != 0)
        return false;
    BitReader in(data + 2, size - 2);
    for (bool last = false; !last;) {
        last = in.bits(1) != 0;
        const uint32_t type = in.bits(2);
        if (in.overrun())
            return false;
        if (type == 0) {
            in.align();
            if (in.byte() + 4 > in.size())
                return false;
            const uint8_t *p = in.data() + in.byte();
            const size_t length = p[0] | (p[1] << 8);
            if ((length ^ (p[2] | (p[3] << 8))) != 0xFFFF || in.byte() + 4 + length > in.size())
                return false;
            out.insert(out.end(), p + 4, p + 4 + length);
            in.skip(4 + length);
        } else if (type == 1) {
            uint8_t lengths[320];
            memset(lengths, 8, 144);
            memset(lengths + 144, 9, 112);
            memset(lengths + 256, 7, 24);
            memset(lengths + 280, 8, 8);
            Huffman literals, distances;
            literals.build(lengths, 288);
            memset(lengths, 5, 30);
            distances.build(lengths, 30);
            if (!inflate_block(in, literals, distances, out))
                return false;
        } else if (type == 2) {
            Huffman literals, distances;
            if (!read_dynamic_codes(in, literals, distances) ||
                !inflate_block(in, literals, distances, out))
                return false;
        } else {
            return false;
        }
    }
    return true;
}
