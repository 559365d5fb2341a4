// Prints every Latin-1 glyph of the runtime's face as FreeType rasterises it monochrome and
// hinted, at pixel sizes 6 to 64: its advance, its bitmap's place and size, and the bitmap's
// bits. scripts/bench-web builds it natively and for the browser and compares the two outputs.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>

#include "runtime/generated/zepha_font_data.h"

using zepha::FONT_DATA;
using zepha::FONT_DATA_SIZE;

int main() {
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Memory_Face(library, FONT_DATA, static_cast<FT_Long>(FONT_DATA_SIZE), 0, &face) != 0)
        return 1;
    for (int size = 6; size <= 64; size++) {
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
        for (unsigned code = 32; code < 256; code++) {
            if (code >= 127 && code < 160)
                continue;
            if (FT_Load_Char(face, code, FT_LOAD_TARGET_MONO) != 0 ||
                FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) {
                printf("%d %u error\n", size, code);
                continue;
            }
            const FT_GlyphSlot glyph = face->glyph;
            const FT_Bitmap &bitmap = glyph->bitmap;
            printf("%d %u %ld %d %d %u %u ", size, code, glyph->advance.x >> 6, glyph->bitmap_left,
                   glyph->bitmap_top, bitmap.width, bitmap.rows);
            for (unsigned row = 0; row < bitmap.rows; row++)
                for (unsigned byte = 0; byte < (bitmap.width + 7) / 8; byte++)
                    printf("%02x", bitmap.buffer[row * bitmap.pitch + byte]);
            printf("\n");
        }
    }
    return 0;
}
