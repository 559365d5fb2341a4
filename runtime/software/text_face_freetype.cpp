// The runtime's face painted in software with FreeType, from the embedded font file, the way
// the Win32 build's text comes out: the same sizes, metrics, advances and glyph pixels as the
// platform's text calls give (measured under Wine, whose text is made with FreeType too).
#include "runtime/software/text_face.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_GASP_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "runtime/generated/zepha_font_data.h"
#include "runtime/pure/raster.h"
#include "runtime/pure/text_layout.h"

namespace zepha {

// ---- Constants ----

namespace {

constexpr int LARGEST_SIZE = 127;
// A font asked for with height 0 gets the platform's default cell height, 16 pixels.
constexpr int DEFAULT_CELL_HEIGHT = 16;
// Glyph coverage comes in 17 levels: 0 leaves the pixel, 16 paints the text colour.
constexpr int FULL_LEVEL = 16;
// The platform's intensities of the coverage levels, for a channel of 0xff drawn on 0: the
// blend below takes its range of results for a level from this table.
constexpr uint8_t LEVEL_INTENSITY[FULL_LEVEL + 1] = {0,    0x4d, 0x68, 0x7c, 0x8c, 0x9a,
                                                     0xa7, 0xb2, 0xbd, 0xc7, 0xd0, 0xd9,
                                                     0xe1, 0xe9, 0xf0, 0xf8, 0xff};
// Bytes 0x80..0x9f in the ANSI code page (1252); the other bytes are their own code points.
constexpr uint16_t CP1252_HIGH[32] = {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

} // namespace

// ---- Types ----

namespace {

// One glyph as drawn: its coverage levels and where they sit relative to the pen on the
// baseline.
struct Glyph {
    bool ready = false;
    int left = 0;    // first column, right of the pen
    int top = 0;     // first row, above the baseline
    int width = 0;   // columns
    int rows = 0;    // rows
    int advance = 0; // how far the pen moves after it
    std::vector<uint8_t> levels;
};

// The face at one size: its metrics, the advances of the bytes measured so far, and the glyphs
// drawn so far.
struct SizedFace {
    FT_Face face = nullptr;
    int ascent = 0;
    int descent = 0;
    bool smoothed = false; // glyphs with grey levels, else black and white
    int margin = 0;        // how far any glyph can reach out of its cell
    FT_UInt glyph_of[256] = {};
    int advance_of[256] = {};
    bool measured[256] = {}; // advance_of holds the byte's advance
    std::vector<Glyph> glyphs;
};

} // namespace

// ---- State ----

namespace {

FT_Library freetype = nullptr;                 // FreeType, once for the process
bool freetype_failed = false;                  // FreeType could not start
SizedFace *sized_faces[LARGEST_SIZE + 1] = {}; // the face at each size, made when first used
bool sized_face_failed[LARGEST_SIZE + 1] = {}; // the face could not be made at that size

} // namespace

// ---- Internal functions ----

namespace {

// a * b / c rounded to the nearest, halves up, for values that are not negative.
int64_t scaled(int64_t a, int64_t b, int64_t c) {
    return c > 0 ? (a * b + c / 2) / c : 0;
}

// Font units to pixels as the platform scales the cell: through the em's scale in 16.16 fixed
// point, each step rounded.
int to_pixels(int64_t units, int ppem, int units_per_em) {
    const int64_t em_scale = scaled(ppem, 1 << 16, units_per_em);
    return static_cast<int>((units * em_scale + 0x8000) >> 16);
}

unsigned code_point(unsigned char byte) {
    return byte >= 0x80 && byte < 0xa0 ? CP1252_HIGH[byte - 0x80] : byte;
}

// The em size in pixels for a point size: a negative height asks for the em itself; height 0
// for the default cell, which holds the face's full height from its Windows ascent to descent.
int pixels_per_em(FT_Face face, const TT_OS2 *os2, const TT_HoriHeader *hhea, int point_size) {
    if (point_size > 0)
        return point_size;
    int64_t full_height = os2 != nullptr ? int64_t(os2->usWinAscent) + os2->usWinDescent : 0;
    if (full_height == 0 && hhea != nullptr)
        full_height = int64_t(hhea->Ascender) - hhea->Descender;
    return std::max(1,
                    static_cast<int>(scaled(face->units_per_EM, DEFAULT_CELL_HEIGHT, full_height)));
}

// Loads a glyph hinted for the target, as the platform does: strictly, and if the face's
// hints fail under that, without hinting.
bool load_glyph(FT_Face face, FT_UInt index, FT_Int32 target) {
    const FT_Int32 flags = target | FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP;
    return FT_Load_Glyph(face, index, flags | FT_LOAD_PEDANTIC) == 0 ||
           FT_Load_Glyph(face, index, flags | FT_LOAD_NO_HINTING) == 0;
}

SizedFace *make_face(int point_size) {
    if (freetype == nullptr && !freetype_failed)
        freetype_failed = FT_Init_FreeType(&freetype) != 0;
    if (freetype_failed)
        return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(freetype, FONT_DATA, FONT_DATA_SIZE, 0, &face) != 0)
        return nullptr;
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto *hhea = static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    const int ppem = pixels_per_em(face, os2, hhea, point_size);
    if (FT_Set_Pixel_Sizes(face, 0, ppem) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    auto *sized = new SizedFace;
    sized->face = face;
    // The cell: the Windows ascent and descent (the horizontal header's without them) scaled
    // to the em.
    const int upem = face->units_per_EM;
    if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        sized->ascent = to_pixels(os2->usWinAscent, ppem, upem);
        sized->descent = to_pixels(os2->usWinDescent, ppem, upem);
    } else if (hhea != nullptr) {
        sized->ascent = to_pixels(hhea->Ascender, ppem, upem);
        sized->descent = to_pixels(-hhea->Descender, ppem, upem);
    }
    // The platform smooths text, except at the sizes where the face's own table asks for black
    // and white (this face: 9 to 19 pixels). Its request not to grid-fit the smallest sizes is
    // not followed: those are hinted too.
    const FT_Int gasp = FT_Get_Gasp(face, static_cast<FT_UInt>(ppem));
    sized->smoothed = gasp == FT_GASP_NO_TABLE || (gasp & FT_GASP_DO_GRAY) != 0;
    sized->margin = 2 * ppem + 2;
    sized->glyphs.resize(static_cast<size_t>(std::max<FT_Long>(face->num_glyphs, 1)));
    // A character the face lacks is its glyph 0.
    for (int byte = 0; byte < 256; byte++)
        sized->glyph_of[byte] =
            FT_Get_Char_Index(face, code_point(static_cast<unsigned char>(byte)));
    return sized;
}

// Measuring uses the glyphs' advances as the face's hints make them for the smoothed target,
// whatever the size draws with. Each byte is measured when first asked for: hinting all 256
// when a size is first used would be most of a short program's text time.
int advance_of(SizedFace &sized, unsigned char byte) {
    if (!sized.measured[byte]) {
        sized.measured[byte] = true;
        if (load_glyph(sized.face, sized.glyph_of[byte], FT_LOAD_TARGET_NORMAL))
            sized.advance_of[byte] =
                static_cast<int>((sized.face->glyph->metrics.horiAdvance + 63) >> 6);
    }
    return sized.advance_of[byte];
}

SizedFace *sized_face(int point_size) {
    point_size = std::min(std::max(point_size, 0), LARGEST_SIZE);
    if (sized_faces[point_size] == nullptr && !sized_face_failed[point_size]) {
        sized_faces[point_size] = make_face(point_size);
        sized_face_failed[point_size] = sized_faces[point_size] == nullptr;
    }
    return sized_faces[point_size];
}

// Renders a glyph as the platform's glyph bitmaps are made: the hinted outline's box, widened
// to whole pixels and cut to the cell, filled by FreeType's rasteriser in black and white or in 256
// greys, and the greys scaled down to the 17 coverage levels by 17/256, rounding down.
void render_glyph(SizedFace &sized, FT_UInt index, Glyph &glyph) {
    glyph.ready = true;
    const FT_Int32 target = sized.smoothed ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
    if (!load_glyph(sized.face, index, target))
        return;
    const FT_GlyphSlot slot = sized.face->glyph;
    glyph.advance = static_cast<int>((slot->metrics.horiAdvance + 63) >> 6);
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE)
        return;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    // The box is cut to the cell: no glyph draws above the ascent or below the descent.
    const FT_Pos x_min = box.xMin & -64, x_max = (box.xMax + 63) & -64;
    const FT_Pos y_min = std::max<FT_Pos>(box.yMin, -FT_Pos(sized.descent) * 64) & -64;
    const FT_Pos y_max = (std::min<FT_Pos>(box.yMax, FT_Pos(sized.ascent) * 64) + 63) & -64;
    const int width = static_cast<int>((x_max - x_min) >> 6);
    const int rows = static_cast<int>((y_max - y_min) >> 6);
    if (width <= 0 || rows <= 0)
        return;
    const int pitch = sized.smoothed ? width : (width + 7) / 8;
    std::vector<unsigned char> buffer(size_t(pitch) * rows, 0);
    FT_Bitmap bitmap;
    FT_Bitmap_Init(&bitmap);
    bitmap.width = static_cast<unsigned>(width);
    bitmap.rows = static_cast<unsigned>(rows);
    bitmap.pitch = pitch;
    bitmap.buffer = buffer.data();
    bitmap.pixel_mode = sized.smoothed ? FT_PIXEL_MODE_GRAY : FT_PIXEL_MODE_MONO;
    bitmap.num_grays = sized.smoothed ? 256 : 2;
    FT_Outline_Translate(&slot->outline, -x_min, -y_min);
    if (FT_Outline_Get_Bitmap(freetype, &slot->outline, &bitmap) != 0)
        return;
    glyph.left = static_cast<int>(x_min >> 6);
    glyph.top = static_cast<int>(y_max >> 6);
    glyph.width = width;
    glyph.rows = rows;
    glyph.levels.resize(size_t(width) * rows);
    for (int row = 0; row < rows; row++)
        for (int column = 0; column < width; column++) {
            const unsigned char *line = buffer.data() + size_t(row) * pitch;
            const int level = sized.smoothed ? line[column] * (FULL_LEVEL + 1) / 256
                              : (line[column / 8] & (0x80 >> (column % 8))) != 0 ? FULL_LEVEL
                                                                                 : 0;
            glyph.levels[size_t(row) * width + column] = static_cast<uint8_t>(level);
        }
}

const Glyph &glyph_for(SizedFace &sized, unsigned char byte) {
    const FT_UInt index = sized.glyph_of[byte];
    Glyph &glyph = sized.glyphs[index < sized.glyphs.size() ? index : 0];
    if (!glyph.ready)
        render_glyph(sized, index, glyph);
    return glyph;
}

// One colour channel of a pixel partly covered by text: between the background and the text,
// along the platform's intensity curve for the level.
unsigned blend_channel(unsigned background, unsigned text, int level) {
    if (background == text)
        return background;
    if (background > text) {
        const unsigned inverse = LEVEL_INTENSITY[FULL_LEVEL - level];
        const unsigned lightest = inverse + (0xff - inverse) * text / 0xff;
        return text + (background - text) * (lightest - text) / (0xff - text);
    }
    const unsigned darkest = LEVEL_INTENSITY[level] * text / 0xff;
    return text - (text - background) * (text - darkest) / text;
}

uint32_t blend(uint32_t background, uint32_t text, int level) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8)
        result |= blend_channel((background >> shift) & 0xff, (text >> shift) & 0xff, level)
                  << shift;
    return result;
}

// Paints a glyph's covered pixels that fall on the surface, with its box's top left at (x, y).
void paint_glyph(PixelSurface &surface, uint32_t rgb, const Glyph &glyph, int64_t x, int64_t y) {
    const int64_t first_column = std::max<int64_t>(x, 0);
    const int64_t end_column = std::min<int64_t>(x + glyph.width, surface.width);
    const int64_t first_row = std::max<int64_t>(y, 0);
    const int64_t end_row = std::min<int64_t>(y + glyph.rows, surface.height);
    for (int64_t row = first_row; row < end_row; row++) {
        const uint8_t *levels = glyph.levels.data() + (row - y) * glyph.width;
        uint32_t *pixels = surface.pixels + row * surface.width;
        for (int64_t column = first_column; column < end_column; column++) {
            const int level = levels[column - x];
            // The lowest level leaves the pixel as it is, like none.
            if (level <= 1)
                continue;
            pixels[column] = level >= FULL_LEVEL ? rgb : blend(pixels[column], rgb, level);
        }
    }
}

int64_t limited(int64_t value) {
    return std::min(std::max(value, -RASTER_COORDINATE_LIMIT), RASTER_COORDINATE_LIMIT);
}

// The layout's lines measured and painted with the face at one size.
class FaceTextLines final : public TextLines {
  public:
    FaceTextLines(PixelSurface &surface, uint32_t rgb, int point_size)
        : surface_(surface), rgb_(rgb), point_size_(point_size) {}
    int row_height(const char *) override { return text_extent(point_size_, "", 0).height; }
    int64_t line_width(const char *line, int length) override {
        return text_extent(point_size_, line, length).width;
    }
    void paint_line(int64_t column, int64_t row, const char *line, int length) override {
        paint_text_line(surface_, rgb_, point_size_, column, row, line, length);
    }

  private:
    PixelSurface &surface_;
    uint32_t rgb_;
    int point_size_;
};

} // namespace

// ---- Public functions ----

TextExtent text_extent(int point_size, const char *text, int length) {
    SizedFace *sized = sized_face(point_size);
    if (sized == nullptr)
        return {0, 0};
    int64_t width = 0;
    for (int i = 0; i < length; i++)
        width += advance_of(*sized, static_cast<unsigned char>(text[i]));
    return {static_cast<int>(std::min<int64_t>(width, INT_MAX)), sized->ascent + sized->descent};
}

void paint_text_line(PixelSurface &surface, uint32_t rgb, int point_size, int64_t left, int64_t top,
                     const char *text, int length) {
    SizedFace *sized = sized_face(point_size);
    if (sized == nullptr || surface.pixels == nullptr || surface.width <= 0 || surface.height <= 0)
        return;
    rgb &= 0xffffff;
    // Glyphs stay within a margin of their cell; a line wholly above or below misses.
    const int64_t baseline = top + sized->ascent;
    if (baseline + sized->margin < 0 || baseline - sized->margin >= surface.height)
        return;
    int64_t pen = left;
    for (int i = 0; i < length; i++) {
        // Advances never go left, so once the pen is past the right edge nothing more shows.
        if (pen - sized->margin >= surface.width)
            break;
        const Glyph &glyph = glyph_for(*sized, static_cast<unsigned char>(text[i]));
        if (glyph.width > 0 && pen + glyph.left + glyph.width > 0)
            paint_glyph(surface, rgb, glyph, pen + glyph.left, baseline - glyph.top);
        pen += glyph.advance;
    }
}

void paint_text(PixelSurface &surface, int32_t origin_x, int32_t origin_y, uint32_t rgb,
                int point_size, int64_t x, int64_t y, const char *text) {
    if (text == nullptr)
        return;
    FaceTextLines lines(surface, rgb, point_size);
    lay_out_text(origin_x + limited(x), origin_y - limited(y), text, lines);
}

} // namespace zepha
