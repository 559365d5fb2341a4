// An animated PNG of the surface, taken frame by frame and written at the end: every frame
// whole (595 x 496 of them is a few kilobytes once compressed), each compressed as soon as a
// newer one comes, so memory holds compressed frames and one frame of pixels.
#pragma once

#include "runtime/software/png_file.h"

namespace zepha {

class Animation {
  public:
    static constexpr size_t MAX_FRAMES = 1000;

    Animation(int width, int height, int stride); // frames of width x height, rows stride apart

    bool shows(const uint32_t *pixels) const;            // the newest frame has these pixels
    void add_frame(const uint32_t *pixels, uint32_t ms); // a newest frame, shown for ms
    void lengthen(uint32_t ms);                          // the newest frame shown ms longer
    bool write(const char *path) const; // the file, by way of a temporary file; false if not

  private:
    struct Frame {
        PngBytes packed; // the zlib stream of its rows
        uint32_t ms;     // how long it is shown
    };

    void keep_newest();
    void merge_neighbours();

    int width_;
    int height_;
    int stride_;
    std::vector<Frame> kept_;      // the frames before the newest, compressed
    std::vector<uint32_t> newest_; // the newest frame's pixels, width x height; empty at first
    uint32_t newest_ms_ = 0;       // how long the newest frame is shown
    size_t newest_taken_ = 0;      // the frames taken that the newest stands for
    size_t frames_per_kept_ = 1;   // the frames taken that each kept frame stands for
    bool failed_ = false;          // a frame could not be compressed
};

} // namespace zepha
