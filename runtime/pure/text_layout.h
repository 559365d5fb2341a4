// The layout of a text: its lines, split at '\n', one row of characters under another, and which
// lines can show on the surface. Platform-free: the platform measures and paints the lines.
#pragma once

#include <cstdint>

namespace zepha {

// What the layout asks of the platform's text.
class TextLines {
  public:
    virtual int row_height(const char *text) = 0;                 // height of one line's row
    virtual int64_t line_width(const char *line, int length) = 0; // width the line takes
    virtual void paint_line(int64_t column, int64_t row, const char *line,
                            int length) = 0; // paints one line with its top left at (column, row)

  protected:
    ~TextLines() = default;
};

// Lays out the text at surface column and row, the row of the text's y: the first line sits
// just above that row, each further line one row lower. Lines that cannot reach the surface
// are not painted; every painted line's column and row lie within the int range.
void lay_out_text(int64_t column, int64_t row, const char *text, TextLines &lines);

} // namespace zepha
