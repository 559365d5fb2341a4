// The texts that the Win32 build draws under Wine and the software face paints, to compare
// their pixels: pages of texts, each text one call of the runtime's text drawing. Every size
// 0..127 draws every byte but the newline (the face has glyphs for the printable ones only),
// and a few pages draw colours over colours, lines cut by the surface's edges, empty lines and
// texts far out. Platform-free.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// The colours the cases use, as the runtime's colour table holds them (0x00BBGGRR).
struct TextFaceColor {
    int index;    // colour number in the runtime
    uint32_t rgb; // its table value
};
constexpr TextFaceColor TEXT_FACE_COLORS[] = {
    {0, 0x000000}, {1, 0xffffff}, {2, 0x0000ff},  {4, 0xff0000},  {5, 0x00ffff},
    {6, 0xff00ff}, {9, 0x993300}, {13, 0x0066ff}, {22, 0x808080}, {23, 0xcccccc},
};

struct TextFaceCase {
    int color; // colour number
    int x;
    int y;
    int size;
    std::string text;
};

struct TextFacePage {
    int background; // colour number filling the surface, or -1 for the erased surface
    std::vector<TextFaceCase> cases;
};

inline uint32_t text_face_rgb(int color) {
    for (const TextFaceColor &entry : TEXT_FACE_COLORS)
        if (entry.index == color)
            return entry.rgb;
    return 0;
}

// The characters drawn at every size: the printable ones, then every other byte but the
// newline, which ends a line.
inline std::string text_face_characters() {
    std::string characters;
    for (int c = 0x20; c < 0x7f; c++)
        characters += static_cast<char>(c);
    for (int c = 0x01; c < 0x100; c++)
        if ((c < 0x20 || c >= 0x7f) && c != '\n')
            characters += static_cast<char>(c);
    return characters;
}

// Pages fill from the top left of the 601 x 540 surface, whose origin is near its centre.
inline std::vector<TextFacePage> text_face_pages() {
    std::vector<TextFacePage> pages;
    const std::string characters = text_face_characters();
    constexpr int TOP = 265, BOTTOM = -262, LEFT = -292;
    pages.push_back({-1, {}});
    int y = TOP;
    for (int size = 0; size <= 127; size++) {
        const int em = size == 0 ? 12 : size;
        // Room enough for the widest glyphs (under 0.9 em) and the tallest cell (1.3 em).
        const size_t per_line = std::max(1, 560 / em);
        const int row = em * 13 / 10 + 2;
        for (size_t first = 0; first < characters.size();) {
            if (y - row < BOTTOM) {
                pages.push_back({-1, {}});
                y = TOP;
            }
            // A text of as many lines as fit on the page, each line a run of the characters.
            std::string text;
            int lines = 0;
            while (first < characters.size() && y - (lines + 1) * row >= BOTTOM) {
                if (lines > 0)
                    text += '\n';
                text += characters.substr(first, per_line);
                first += per_line;
                lines++;
            }
            // The first line sits above the row of y: y is that line's bottom.
            pages.back().cases.push_back({0, LEFT, y - row + 2, size, text});
            y -= lines * row;
        }
    }
    // Smoothed and black-and-white sizes in colours over colours.
    const int backgrounds[] = {4, 0, 23, 6};
    const int colors[][3] = {{5, 1, 2}, {1, 2, 13}, {22, 9, 2}, {5, 0, 1}};
    for (int b = 0; b < 4; b++) {
        TextFacePage page = {backgrounds[b], {}};
        int top = TOP;
        for (int size : {5, 8, 12, 20, 33, 60}) {
            const int row = size * 13 / 10 + 2;
            for (int c = 0; c < (size < 40 ? 3 : 1); c++)
                page.cases.push_back({colors[b][c], LEFT + c * 190, top - row + 2, size, "Rag@8#"});
            top -= row + 2;
        }
        pages.push_back(page);
    }
    // Lines cut by the surface's edges, and empty lines.
    TextFacePage edges = {-1, {}};
    edges.cases.push_back({4, 200, 255, 30, "top\nfirst below"});
    edges.cases.push_back({2, -330, 190, 40, "Wedge@left\nsecond"});
    edges.cases.push_back({13, 250, 40, 70, "right"});
    edges.cases.push_back({9, -200, 20, 30, "first\n\nthird\n\nfifth\n"});
    edges.cases.push_back({0, -100, -290, 50, "bottom gyp"});
    pages.push_back(edges);
    // Texts far out: to the left lines long enough to run into the surface, from beyond the
    // reach and from within it; elsewhere lines that cannot show.
    TextFacePage distant = {-1, {}};
    std::string long_line;
    for (int i = 0; i < 14000; i++)
        long_line += "WA";
    distant.cases.push_back({0, -(1 << 20) - 400, 100, 127, long_line});
    distant.cases.push_back({2, -(1 << 20) + 400, -60, 90, long_line + "\nnext"});
    distant.cases.push_back({4, (1 << 20) + 5, 0, 30, "far right"});
    distant.cases.push_back({4, 0, (1 << 20) + 200, 30, "far up\nand more"});
    pages.push_back(distant);
    return pages;
}
