// Animated PNG files: the PNG signature and IHDR, acTL, then for each frame an fcTL and its
// rows (IDAT for the first, which a viewer without animation shows; fdAT for the others), IEND.
#include "runtime/software/apng_file.h"

#include <cstring>

namespace zepha {

// ---- Constants ----

namespace {

constexpr uint32_t PLAYS = 1;                // played once, so that it stays on its last frame
constexpr uint8_t DISPOSE_NONE = 0;          // a frame stays as it is when the next comes
constexpr uint8_t BLEND_SOURCE = 0;          // a frame replaces what was there
constexpr uint32_t MAX_DELAY_UNITS = 0xFFFF; // delay_num and delay_den are 16-bit

} // namespace

// ---- Internal functions ----

namespace {

// fcTL, 26 bytes: sequence number (0), width (4), height (8), x offset (12), y offset (16),
// delay_num (20) and delay_den (22), the delay being delay_num / delay_den seconds, dispose_op
// (24), blend_op (25). The delay is in milliseconds while it fits, else in coarser units.
void put_frame_control(PngBytes &out, uint32_t sequence, int width, int height, uint32_t ms) {
    uint32_t units = ms;
    uint32_t per_second = 1000;
    while (units > MAX_DELAY_UNITS && per_second > 1) {
        per_second /= 10;
        units = (ms + 500 / per_second) / (1000 / per_second);
    }
    PngBytes control;
    put_png_u32(control, sequence);
    put_png_u32(control, static_cast<uint32_t>(width));
    put_png_u32(control, static_cast<uint32_t>(height));
    put_png_u32(control, 0);
    put_png_u32(control, 0);
    put_png_u16(control, static_cast<uint16_t>(units > MAX_DELAY_UNITS ? MAX_DELAY_UNITS : units));
    put_png_u16(control, static_cast<uint16_t>(per_second));
    control.push_back(DISPOSE_NONE);
    control.push_back(BLEND_SOURCE);
    put_png_chunk(out, "fcTL", control.data(), control.size());
}

bool put_file(FILE *out, PngBytes &bytes) {
    const bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    bytes.clear();
    return written;
}

} // namespace

// ---- Internal functions (shared) ----

Animation::Animation(int width, int height, int stride)
    : width_(width), height_(height), stride_(stride) {}

bool Animation::shows(const uint32_t *pixels) const {
    if (newest_.empty())
        return false;
    const size_t row_bytes = static_cast<size_t>(width_) * sizeof(uint32_t);
    for (int y = 0; y < height_; y++)
        if (memcmp(newest_.data() + static_cast<size_t>(y) * width_,
                   pixels + static_cast<size_t>(y) * stride_, row_bytes) != 0)
            return false;
    return true;
}

// At most MAX_FRAMES frames. When more would be needed, every other kept frame goes, its time
// added to the frame after it (the one that shows what it led to), and from then on each kept
// frame stands for twice as many frames taken: a frame taken replaces the newest, adding its
// time, until the newest stands for that many. So the frames stay spread evenly over the
// animation, its length stays the sum of the times given, and its last frame is the last taken.
void Animation::add_frame(const uint32_t *pixels, uint32_t ms) {
    if (!newest_.empty() && newest_taken_ < frames_per_kept_) {
        newest_taken_++;
        newest_ms_ += ms;
    } else {
        if (!newest_.empty())
            keep_newest();
        newest_.resize(static_cast<size_t>(width_) * height_);
        newest_taken_ = 1;
        newest_ms_ = ms;
    }
    for (int y = 0; y < height_; y++)
        memcpy(newest_.data() + static_cast<size_t>(y) * width_,
               pixels + static_cast<size_t>(y) * stride_,
               static_cast<size_t>(width_) * sizeof(uint32_t));
}

void Animation::lengthen(uint32_t ms) {
    newest_ms_ += ms;
}

// The kept frames and the new newest must stay within MAX_FRAMES.
void Animation::keep_newest() {
    if (kept_.size() + 2 > MAX_FRAMES)
        merge_neighbours();
    Frame frame{{}, newest_ms_};
    if (!pack_png_rows(newest_.data(), width_, height_, width_, frame.packed))
        failed_ = true;
    kept_.push_back(std::move(frame));
}

void Animation::merge_neighbours() {
    size_t count = 0;
    for (size_t i = 0; i < kept_.size(); i++) {
        if (i % 2 == 0 && i + 1 < kept_.size()) {
            kept_[i + 1].ms += kept_[i].ms;
            continue;
        }
        if (count != i) // a vector moved onto itself would be left empty
            kept_[count] = std::move(kept_[i]);
        count++;
    }
    kept_.resize(count);
    frames_per_kept_ *= 2;
}

bool Animation::write(const char *path) const {
    PngBytes newest;
    if (failed_ || newest_.empty() ||
        !pack_png_rows(newest_.data(), width_, height_, width_, newest))
        return false;
    const size_t count = kept_.size() + 1;
    return replace_file(path, [&](FILE *out) {
        PngBytes bytes = png_start(width_, height_);
        PngBytes control;
        put_png_u32(control, static_cast<uint32_t>(count));
        put_png_u32(control, PLAYS);
        put_png_chunk(bytes, "acTL", control.data(), control.size());
        uint32_t sequence = 0; // shared by fcTL and fdAT, in the order they come
        for (size_t i = 0; i < count; i++) {
            const bool last = i == kept_.size();
            const PngBytes &packed = last ? newest : kept_[i].packed;
            put_frame_control(bytes, sequence++, width_, height_, last ? newest_ms_ : kept_[i].ms);
            if (i == 0) {
                put_png_chunk(bytes, "IDAT", packed.data(), packed.size());
            } else {
                PngBytes data;
                data.reserve(4 + packed.size());
                put_png_u32(data, sequence++);
                data.insert(data.end(), packed.begin(), packed.end());
                put_png_chunk(bytes, "fdAT", data.data(), data.size());
            }
            if (!put_file(out, bytes))
                return false;
        }
        put_png_chunk(bytes, "IEND", nullptr, 0);
        return put_file(out, bytes);
    });
}

} // namespace zepha
