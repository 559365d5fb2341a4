// The layout of a text's lines on the surface, and the rules that leave out lines far off it.
#include "runtime/pure/text_layout.h"

#include <climits>
#include <cstring>

namespace zepha {

// ---- Constants ----

namespace {

// Texts placed within this distance of the surface are drawn as they are. Further out, a line
// shows only if it runs into the surface: to the right or above and below, one line of
// characters of at most 127 pixels cannot; to the left, its measured width decides.
constexpr int64_t TEXT_REACH = int64_t(1) << 20;

} // namespace

// ---- Internal functions ----

namespace {

bool within(int64_t value, int64_t reach) {
    return value >= -reach && value <= reach;
}

// Whether a line of text starting at this surface column can put a character on the surface.
bool reaches_surface(int64_t column, const char *line, int length, TextLines &lines) {
    if (within(column, TEXT_REACH))
        return true;
    if (column > 0 || column < INT_MIN)
        return false;
    return column + lines.line_width(line, length) >= -TEXT_REACH;
}

} // namespace

// ---- Public functions ----

void lay_out_text(int64_t column, int64_t row, const char *text, TextLines &lines) {
    const int line_height = lines.row_height(text);
    // Line k has its top at row + (k - 1) * h: the first line sits just above the row of y,
    // the second starts on it.
    int k = 0;
    for (const char *line = text;; k++) {
        const char *end = strchr(line, '\n');
        const int length = static_cast<int>(end ? end - line : strlen(line));
        const int64_t top = row + int64_t(k - 1) * line_height;
        if (length > 0 && within(top, TEXT_REACH) && reaches_surface(column, line, length, lines))
            lines.paint_line(column, top, line, length);
        if (end == nullptr)
            break;
        line = end + 1;
    }
}

} // namespace zepha
