// A batch of replays: the list a teacher writes, the record each replay hands back to the
// batch, and the results.csv made from them. Plain C++: no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One line of the list: PROGRAM SCRIPT [EXPECTED], separated by spaces or tabs; a field with
// spaces in it stands in double quotes. Blank lines and lines starting with # are skipped.
struct BatchEntry {
    long line = 0; // in the list, from 1
    std::string program, script, expected;
};

// False with the line and reason of the first line that is not an entry.
bool parse_batch_list(const std::string &text, std::vector<BatchEntry> &entries,
                      std::string &error);

// The name of an entry's picture in OUT_DIR: its line number, then its program's and script's
// file names without their extensions: "007-alice-circles.png".
std::string batch_picture_name(const BatchEntry &entry);

// What one replay found, as results.csv shows it.
struct ReplayResult {
    int status = 0;
    bool program_own = false; // the status is the program's own, after a complete replay
    int64_t events = -1;      // events played, -1 when the script was not read
    std::string script_stop;  // where the script stopped being read (script_stop_field)
    int64_t differing = -1;   // differing pixels, -1 without an expected picture
    double seconds = 0;
    bool picture = false; // OUT.png was written
    std::string message;  // the line written on standard error, if any
};

// The record a batch's worker writes for the batch: one "key=value" line per field.
std::string format_result_record(const ReplayResult &result);
bool parse_result_record(const std::string &text, ReplayResult &result);

// results.csv: a header line, then one line per entry in the list's order, each with the
// entry's line, program, script, expected picture, status and its meaning, events played,
// where the script stopped, differing pixels, seconds, picture and message. Fields are quoted
// as spreadsheets expect.
std::string results_csv(const std::vector<BatchEntry> &entries,
                        const std::vector<ReplayResult> &results);
