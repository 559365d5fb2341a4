// The runtime's PNG files read back by the replay tool's reader: pictures of few colours with a
// palette of 1 to 8 bits, one of more than a palette holds in RGB, all with the surface's pixels
// exactly.
#include "runtime/software/png_file.h"
#include "tools/replay/core/png_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int WIDTH = 595, HEIGHT = 496, STRIDE = 601; // the picture within a wider surface

// A surface of `colours` colours in bands, with the columns past the picture in another one.
std::vector<uint32_t> surface(int colours) {
    std::vector<uint32_t> pixels(static_cast<size_t>(STRIDE) * HEIGHT, 0x00ABCDEF);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const uint32_t band = static_cast<uint32_t>((y * WIDTH + x) / 97 % colours);
            pixels[static_cast<size_t>(y) * STRIDE + x] =
                (band & 0xFF) | (band >> 8) << 11 | 0x630000;
        }
    return pixels;
}

TEST(PngFile, ThePictureComesBackPixelForPixel) {
    const std::string path = testing::TempDir() + "zepha_png_file_test.png";
    for (const int colours : {1, 3, 5, 17, 256, 257, 5000}) {
        const std::vector<uint32_t> pixels = surface(colours);
        ASSERT_TRUE(zepha::write_png(path.c_str(), pixels.data(), WIDTH, HEIGHT, STRIDE));
        std::ifstream file(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
        ASSERT_GT(bytes.size(), 26u);
        // A palette of the fewest bits that hold the colours, or RGB.
        const int depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
        EXPECT_EQ(bytes[24], depth) << colours << " colours: the bit depth";
        EXPECT_EQ(bytes[25], colours <= 256 ? 3 : 2) << colours << " colours: the colour type";
        RgbPicture picture;
        std::string error;
        ASSERT_TRUE(decode_png(bytes, picture, error)) << colours << " colours: " << error;
        ASSERT_EQ(picture.width, WIDTH);
        ASSERT_EQ(picture.height, HEIGHT);
        size_t wrong = 0;
        for (int y = 0; y < HEIGHT; y++)
            for (int x = 0; x < WIDTH; x++) {
                const uint32_t p = pixels[static_cast<size_t>(y) * STRIDE + x];
                const uint8_t *q = &picture.rgb[(static_cast<size_t>(y) * WIDTH + x) * 3];
                wrong += q[0] != (p & 0xFF) || q[1] != (p >> 8 & 0xFF) || q[2] != (p >> 16);
            }
        EXPECT_EQ(wrong, 0u) << colours << " colours: pixels that differ";
    }
    std::remove(path.c_str());
    EXPECT_FALSE(zepha::write_png("/nonexistent-folder/picture.png", surface(2).data(), WIDTH,
                                  HEIGHT, STRIDE));
}

} // namespace
