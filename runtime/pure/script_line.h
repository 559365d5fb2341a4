// Reading one line of a script file, apart from any file or runtime state, so that the reader's
// grammar can be tested and fuzzed on its own. Plain C++: no Windows headers.
#pragma once

#include <cstdint>

namespace zepha {

constexpr int SCRIPT_LINE_BUFFER = 512; // one fgets buffer: 511 characters and a NUL
constexpr int SCRIPT_NUMBER_MAX = 11;   // characters of a number that are converted

enum ScriptRecordKind {
    SCRIPT_UNRECOGNISED = 0, // the line is not a record: playback ends there
    SCRIPT_KEY = 'K',
    SCRIPT_MOUSE = 'M',
    SCRIPT_PERIODIC = 'P',
};

struct ScriptRecord {
    ScriptRecordKind kind;
    int32_t x;     // mouse
    int32_t y;     // mouse
    char key;      // key: the low 8 bits of the number
    int32_t count; // periodic: the run's length as written (0 and 1 both mean one event)
};

// Takes apart one NUL-terminated line as fgets returned it. Character 7 chooses the record;
// numbers are runs of digits and minus signs converted like atoi, the mouse's y searched from
// the end of x. A line shorter than 7 characters is unrecognised; a missing number reads as 0;
// only the first 11 characters of a number count, and a value beyond 32 bits saturates.
// Never reads past the line's NUL.
ScriptRecord parse_script_line(const char *line);

} // namespace zepha
