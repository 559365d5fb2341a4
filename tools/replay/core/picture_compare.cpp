#include "tools/replay/core/picture_compare.h"

#include <algorithm>
#include <cstring>

// ---- Constants ----

namespace {

const uint8_t DIFFERENT[3] = {255, 0, 255};
constexpr int FADE = 4; // the faded picture keeps a quarter of the way from white

// ---- Internal functions ----

const uint8_t *pixel_at(const RgbPicture &picture, int x, int y) {
    if (x >= picture.width || y >= picture.height)
        return nullptr;
    return &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
}

bool differs(const uint8_t *a, const uint8_t *b) {
    return a == nullptr || b == nullptr || memcmp(a, b, 3) != 0;
}

} // namespace

// ---- Public functions ----

int64_t count_differing_pixels(const RgbPicture &got, const RgbPicture &expected) {
    const int width = std::max(got.width, expected.width);
    const int height = std::max(got.height, expected.height);
    int64_t count = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const uint8_t *a = pixel_at(got, x, y);
            const uint8_t *b = pixel_at(expected, x, y);
            if ((a != nullptr || b != nullptr) && differs(a, b))
                count++;
        }
    return count;
}

RgbPicture difference_picture(const RgbPicture &got, const RgbPicture &expected) {
    RgbPicture out;
    out.width = std::max(got.width, expected.width);
    out.height = std::max(got.height, expected.height);
    out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 255);
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++) {
            const uint8_t *a = pixel_at(got, x, y);
            const uint8_t *b = pixel_at(expected, x, y);
            uint8_t *q = &out.rgb[(static_cast<size_t>(y) * out.width + x) * 3];
            if (a == nullptr && b == nullptr)
                continue;
            if (differs(a, b)) {
                memcpy(q, DIFFERENT, 3);
            } else {
                for (int c = 0; c < 3; c++)
                    q[c] = static_cast<uint8_t>(255 - (255 - b[c]) / FADE);
            }
        }
    return out;
}
