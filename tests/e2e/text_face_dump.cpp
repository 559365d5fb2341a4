// Draws the text face cases with the Win32 runtime and writes each page of the surface to a
// file, for the software face's comparison (tests/host/text_face_compare.cpp):
//   text_face_dump.exe OUTPUT
// The file holds "ZTF1", then int32 width, height, origin x, origin y and page count, then per
// page its pixels row by row as 0x00BBGGRR, run-length coded: uint32 pairs of count and pixel,
// the page ending when its counts reach width * height.
#include <cstdio>
#include <vector>

#include "platform/win32/win32_state.h"
#include "tests/host/text_face_cases.h"

using namespace zepha;

namespace {

void put(FILE *file, uint32_t value) {
    fwrite(&value, sizeof value, 1, file);
}

void write_page(FILE *file) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = SURFACE_WIDTH;
    info.bmiHeader.biHeight = -SURFACE_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<DWORD> bits(SURFACE_WIDTH * SURFACE_HEIGHT);
    GetDIBits(g_surface_dc, g_surface_bitmap, 0, SURFACE_HEIGHT, bits.data(), &info,
              DIB_RGB_COLORS);
    for (size_t i = 0; i < bits.size();) {
        size_t end = i + 1;
        while (end < bits.size() && bits[end] == bits[i])
            end++;
        const DWORD bgr = bits[i];
        put(file, static_cast<uint32_t>(end - i));
        put(file, RGB((bgr >> 16) & 0xff, (bgr >> 8) & 0xff, bgr & 0xff));
        i = end;
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: text_face_dump OUTPUT\n");
        return 2;
    }
    for (const TextFaceColor &entry : TEXT_FACE_COLORS)
        if (color_table[entry.index] != entry.rgb) {
            fprintf(stderr, "colour %d is %06lx in the runtime, %06x in the cases\n", entry.index,
                    static_cast<unsigned long>(color_table[entry.index]), entry.rgb);
            return 1;
        }
    ZEPHA_start_windows(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    ZEPHA_set_logging(0);
    FILE *file = fopen(argv[1], "wb");
    if (file == nullptr)
        return 1;
    const std::vector<TextFacePage> pages = text_face_pages();
    fwrite("ZTF1", 4, 1, file);
    for (uint32_t value : {uint32_t(SURFACE_WIDTH), uint32_t(SURFACE_HEIGHT), uint32_t(g_origin_x),
                           uint32_t(g_origin_y), uint32_t(pages.size())})
        put(file, value);
    for (const TextFacePage &page : pages) {
        ZEPHA_erase();
        if (page.background >= 0)
            ZEPHA_draw_rectangle(page.background, -1000, 1000, 1000, -1000, 0);
        for (const TextFaceCase &c : page.cases)
            ZEPHA_draw_text(c.color, c.x, c.y, c.size, c.text.c_str());
        write_page(file);
    }
    const bool written = fclose(file) == 0;
    ZEPHA_stop_windows();
    return written ? 0 : 1;
}
