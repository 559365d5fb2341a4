// Compares the software face with the Win32 build's text under Wine: paints the text face
// cases onto the same backgrounds and compares every pixel of every page with the pages that
// tests/e2e/text_face_dump.cpp wrote.
//   text_face_compare DUMP
// For each size it prints the lines drawn, the pixels that differ and the largest difference
// of a line's inked box (position and extent); it fails if any pixel differs. It also paints a
// hostile text, a megabyte of every byte but the newline, which must paint as its start does.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "runtime/software/text_face.h"
#include "tests/host/text_face_cases.h"

using namespace zepha;

namespace {

// The dump, read a page at a time.
struct Dump {
    FILE *file = nullptr;
    int width = 0, height = 0, origin_x = 0, origin_y = 0;
    size_t pages = 0;
};

bool open_dump(const char *path, Dump &dump) {
    dump.file = fopen(path, "rb");
    char magic[4];
    uint32_t header[5];
    if (dump.file == nullptr || fread(magic, 4, 1, dump.file) != 1 ||
        memcmp(magic, "ZTF1", 4) != 0 || fread(header, sizeof header, 1, dump.file) != 1)
        return false;
    dump.width = static_cast<int>(header[0]);
    dump.height = static_cast<int>(header[1]);
    dump.origin_x = static_cast<int>(header[2]);
    dump.origin_y = static_cast<int>(header[3]);
    dump.pages = header[4];
    return true;
}

bool read_page(Dump &dump, std::vector<uint32_t> &pixels) {
    const size_t size = size_t(dump.width) * dump.height;
    pixels.clear();
    uint32_t run[2];
    while (pixels.size() < size) {
        if (fread(run, sizeof run, 1, dump.file) != 1 || run[0] > size - pixels.size())
            return false;
        pixels.insert(pixels.end(), run[0], run[1]);
    }
    return true;
}

// The surface before any text: the erased surface is white inside a black border.
std::vector<uint32_t> background(const Dump &dump, int color) {
    std::vector<uint32_t> pixels(size_t(dump.width) * dump.height, text_face_rgb(color));
    if (color >= 0)
        return pixels;
    for (int y = 0; y < dump.height; y++)
        for (int x = 0; x < dump.width; x++) {
            const bool border = x == 0 || y == 0 || x == dump.width - 1 || y == dump.height - 1;
            pixels[size_t(y) * dump.width + x] = border ? 0x000000 : 0xffffff;
        }
    return pixels;
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -(1 << 30), bottom = -(1 << 30);
    bool empty() const { return right < left; }
    void add(int x, int y) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
};

// How far apart two inked boxes are: the largest change of an edge, or of the width or height.
int box_difference(const Box &a, const Box &b) {
    if (a.empty() != b.empty())
        return 1 << 30;
    if (a.empty())
        return 0;
    return std::max({std::abs(a.left - b.left), std::abs(a.top - b.top),
                     std::abs(a.right - b.right), std::abs(a.bottom - b.bottom),
                     std::abs((a.right - a.left) - (b.right - b.left)),
                     std::abs((a.bottom - a.top) - (b.bottom - b.top))});
}

struct SizeReport {
    int lines = 0;
    int lines_differing = 0;
    long pixels_differing = 0;
    int largest_box_difference = 0;
};

// Each line of a text, in the band of surface it can ink: its row and its measured width, with
// margins of half an em above and below and an em at the sides for glyphs that overhang.
void compare_lines(const Dump &dump, const std::vector<uint32_t> &before,
                   const std::vector<uint32_t> &expected, const std::vector<uint32_t> &actual,
                   const TextFaceCase &c, size_t page, SizeReport &report) {
    const int em = c.size == 0 ? 12 : c.size;
    const int height = text_extent(c.size, "", 0).height;
    const int64_t column = int64_t(dump.origin_x) + c.x;
    int64_t top = int64_t(dump.origin_y) - c.y - height;
    for (size_t start = 0; start <= c.text.size(); top += height) {
        size_t end = c.text.find('\n', start);
        if (end == std::string::npos)
            end = c.text.size();
        const int width = text_extent(c.size, c.text.data() + start, int(end - start)).width;
        const int64_t x0 = std::max<int64_t>(column - em, 0);
        const int64_t x1 = std::min<int64_t>(column + width + em, dump.width);
        const int64_t y0 = std::max<int64_t>(top - em / 2, 0);
        const int64_t y1 = std::min<int64_t>(top + height + em / 2, dump.height);
        long differing = 0;
        Box wine, native;
        for (int64_t y = y0; y < y1; y++)
            for (int64_t x = x0; x < x1; x++) {
                const size_t i = size_t(y) * dump.width + size_t(x);
                differing += expected[i] != actual[i];
                if (expected[i] != before[i])
                    wine.add(int(x), int(y));
                if (actual[i] != before[i])
                    native.add(int(x), int(y));
            }
        const int moved = box_difference(wine, native);
        report.lines++;
        report.lines_differing += differing > 0;
        report.pixels_differing += differing;
        report.largest_box_difference = std::max(report.largest_box_difference, moved);
        if (differing > 0)
            printf("page %zu, size %d, text at (%d,%d), line at row %lld: %ld pixels differ, "
                   "inked box by %d\n",
                   page, c.size, c.x, c.y, static_cast<long long>(top), differing, moved);
        start = end + 1;
    }
}

// A megabyte of every byte but the newline, in one line, paints exactly as its first
// characters do: nothing after the right edge shows, and nothing outside the surface is touched.
bool hostile_text_paints_its_start() {
    std::string text;
    for (int i = 0; text.size() < (1u << 20); i++)
        if (i % 256 != 0 && i % 256 != '\n')
            text += static_cast<char>(i % 256);
    bool passed = true;
    for (int size : {0, 9, 127}) {
        std::vector<uint32_t> whole(601 * 540, 0xffffff), start = whole;
        PixelSurface a = {whole.data(), 601, 540}, b = {start.data(), 601, 540};
        paint_text(a, 300, 270, 0x000000, size, -310, 0, text.c_str());
        paint_text(b, 300, 270, 0x000000, size, -310, 0, text.substr(0, 700).c_str());
        if (whole != start) {
            printf("size %d: a megabyte line paints otherwise than its first 700 bytes\n", size);
            passed = false;
        }
    }
    return passed;
}

} // namespace

int main(int argc, char **argv) {
    Dump dump;
    if (argc != 2 || !open_dump(argv[1], dump)) {
        fprintf(stderr, "usage: text_face_compare DUMP (a file text_face_dump wrote)\n");
        return 2;
    }
    const std::vector<TextFacePage> pages = text_face_pages();
    if (dump.pages != pages.size()) {
        fprintf(stderr, "the dump has %zu pages, the cases %zu\n", dump.pages, pages.size());
        return 1;
    }
    std::map<int, SizeReport> reports;
    long total = 0;
    std::vector<uint32_t> expected;
    for (size_t p = 0; p < pages.size(); p++) {
        if (!read_page(dump, expected)) {
            fprintf(stderr, "the dump ends within page %zu\n", p);
            return 1;
        }
        const std::vector<uint32_t> before = background(dump, pages[p].background);
        std::vector<uint32_t> pixels = before;
        PixelSurface surface = {pixels.data(), dump.width, dump.height};
        for (const TextFaceCase &c : pages[p].cases)
            paint_text(surface, dump.origin_x, dump.origin_y, text_face_rgb(c.color), c.size, c.x,
                       c.y, c.text.c_str());
        long page_total = 0;
        for (size_t i = 0; i < pixels.size(); i++)
            page_total += pixels[i] != expected[i];
        total += page_total;
        for (const TextFaceCase &c : pages[p].cases)
            compare_lines(dump, before, expected, pixels, c, p, reports[c.size]);
        if (page_total > 0)
            printf("page %zu: %ld pixels differ\n", p, page_total);
    }
    fclose(dump.file);
    printf("size lines differing-lines differing-pixels largest-box-difference\n");
    for (const auto &[size, report] : reports)
        printf("%4d %5d %5d %8ld %4d\n", size, report.lines, report.lines_differing,
               report.pixels_differing, report.largest_box_difference);
    printf("%zu pages, %ld pixels differ\n", pages.size(), total);
    const bool hostile_passed = hostile_text_paints_its_start();
    return total == 0 && hostile_passed ? 0 : 1;
}
