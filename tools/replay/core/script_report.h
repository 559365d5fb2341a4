// What the runtime's script reader will make of a script: how many events it plays and where it
// stops reading, found by reading the file's bytes as the reader does (one fgets piece at a
// time, blank lines skipped, the end of the file tested after each read, the same grammar for
// each line). Plain C++: no platform headers.
#pragma once

#include <cstdint>
#include <string>

enum class ScriptStop {
    END,             // read to the end: every line played
    NO_NEWLINE,      // the last line lacks its newline, so it is not played
    NOT_A_RECORD,    // a line the reader does not recognise ends playback there
    BYTE_ORDER_MARK, // the first line starts with a UTF-8 byte-order mark: no record at all
    END_OF_FILE_MARK // a Ctrl+Z, which ends a text file for the reader, with more after it
};

struct ScriptReport {
    int64_t events = 0; // events played: a periodic line counts as its run
    ScriptStop stop = ScriptStop::END;
    long stop_line = 0; // the line, from 1, at which reading stopped (END: the last)
    bool complete() const { return stop == ScriptStop::END; }
};

// How the platform's runtime opens the script: in Windows' text mode a CR before a newline is
// dropped and a Ctrl+Z ends the file; elsewhere the bytes are read as they are.
enum class ScriptTextMode { WINDOWS_TEXT, BYTES };

ScriptReport read_script_report(const std::string &bytes, ScriptTextMode mode);

// "line 3 is not a record: playback stops there", or "read to its end" for a complete script.
std::string describe_script_stop(const ScriptReport &report);

// Short form for results.csv: "end", "line 3: not a record", ...
std::string script_stop_field(const ScriptReport &report);
