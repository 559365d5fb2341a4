// The script reader's grammar for one line.
#include "runtime/pure/script_line.h"

#include <climits>
#include <cstddef>

namespace zepha {

// ---- Internal functions ----

namespace {

constexpr size_t RECORD_CHAR = 6; // character 7 of the line, counted from 0

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_number_char(char c) {
    return is_digit(c) || c == '-';
}

// Converts like atoi: an optional minus and the digits that follow it, at most `limit`
// characters, saturating instead of overflowing.
int32_t convert(const char *text, size_t limit) {
    size_t i = 0;
    bool negative = false;
    if (i < limit && text[i] == '-') {
        negative = true;
        i++;
    }
    int64_t value = 0;
    for (; i < limit && is_digit(text[i]); i++) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1)
            value = static_cast<int64_t>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int32_t>(value);
}

// Finds the next number at or after `pos`: a run of digits and minus signs. Returns its value
// (0 when there is none) and moves `pos` past the whole run.
int32_t read_number(const char *line, size_t &pos) {
    while (line[pos] != '\0' && !is_number_char(line[pos]))
        pos++;
    const size_t start = pos;
    while (is_number_char(line[pos]))
        pos++;
    const size_t length = pos - start;
    return convert(line + start, length < SCRIPT_NUMBER_MAX ? length : SCRIPT_NUMBER_MAX);
}

// A periodic count starts at the first digit (minus signs are skipped) and is a run of digits.
int32_t read_count(const char *line, size_t pos) {
    while (line[pos] != '\0' && !is_digit(line[pos]))
        pos++;
    size_t length = 0;
    while (is_digit(line[pos + length]))
        length++;
    return convert(line + pos, length < SCRIPT_NUMBER_MAX ? length : SCRIPT_NUMBER_MAX);
}

} // namespace

// ---- Public functions ----

ScriptRecord parse_script_line(const char *line) {
    ScriptRecord record = {SCRIPT_UNRECOGNISED, 0, 0, 0, 0};
    for (size_t i = 0; i <= RECORD_CHAR; i++) {
        if (line[i] == '\0')
            return record;
    }
    size_t pos = RECORD_CHAR;
    switch (line[RECORD_CHAR]) {
    case 'K':
        record.kind = SCRIPT_KEY;
        record.key = static_cast<char>(static_cast<uint32_t>(read_number(line, pos)) & 0xFF);
        break;
    case 'M':
        record.kind = SCRIPT_MOUSE;
        record.x = read_number(line, pos);
        record.y = read_number(line, pos);
        break;
    case 'P':
        record.kind = SCRIPT_PERIODIC;
        record.count = read_count(line, pos);
        break;
    default: break;
    }
    return record;
}

} // namespace zepha
