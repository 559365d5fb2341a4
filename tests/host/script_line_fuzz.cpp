// Fuzz target for the script file's line reader. Each input becomes one line as fgets would hand
// it over: at most 511 characters, ending at the first newline, NUL-terminated. The line sits in
// a heap block of exactly its size, so a read past its NUL is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/pure/script_line.h"

using namespace zepha;

namespace {

void check(bool condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "script line reader: %s\n", what);
        abort();
    }
}

// What the recorder writes must come back unchanged, for any values.
void check_round_trip(const uint8_t *data, size_t size) {
    int32_t values[2] = {0, 0};
    memcpy(values, data, size < sizeof values ? size : sizeof values);
    char line[SCRIPT_LINE_BUFFER];
    snprintf(line, sizeof line, "ZEPHA_MOUSE(%d, %d);\n", values[0], values[1]);
    const ScriptRecord mouse = parse_script_line(line);
    check(mouse.kind == SCRIPT_MOUSE && mouse.x == values[0] && mouse.y == values[1],
          "a recorded mouse line does not read back");
    snprintf(line, sizeof line, "ZEPHA_KBD(%d);\n", static_cast<signed char>(values[0]));
    const ScriptRecord key = parse_script_line(line);
    check(key.kind == SCRIPT_KEY && key.key == static_cast<char>(values[0]),
          "a recorded key line does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t length = 0;
    while (length < size && length < SCRIPT_LINE_BUFFER - 1) {
        if (data[length++] == '\n')
            break;
    }
    std::unique_ptr<char[]> line(new char[length + 1]);
    memcpy(line.get(), data, length);
    line[length] = '\0';

    const ScriptRecord record = parse_script_line(line.get());

    const size_t text_length = strlen(line.get());
    if (text_length < 7) {
        check(record.kind == SCRIPT_UNRECOGNISED, "a line shorter than 7 characters was taken");
    } else {
        const char selector = line[6];
        const bool known = selector == 'K' || selector == 'M' || selector == 'P';
        check(known ? record.kind == selector : record.kind == SCRIPT_UNRECOGNISED,
              "the 7th character does not choose the record");
    }
    check(record.count >= 0, "a periodic count is negative");
    if (record.kind != SCRIPT_MOUSE)
        check(record.x == 0 && record.y == 0, "a record other than mouse carries a position");
    if (record.kind != SCRIPT_KEY)
        check(record.key == 0, "a record other than key carries a key");
    if (record.kind != SCRIPT_PERIODIC)
        check(record.count == 0, "a record other than periodic carries a count");

    check_round_trip(data, size);
    return 0;
}
