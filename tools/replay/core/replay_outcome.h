// What a replay makes of its script and its picture, and how a batch hands a line of its list
// to a worker and reports it, in the words every platform's tool uses. Plain C++: no platform
// headers.
#pragma once

#include "tools/replay/core/batch_list.h"
#include "tools/replay/core/png_codec.h"
#include "tools/replay/core/replay_options.h"
#include "tools/replay/core/script_report.h"

#include <string>
#include <vector>

// One replay
// Fills in the script's fields of the result. False for a script that --strict refuses: the
// result then holds STATUS_SCRIPT_REFUSED and its line. `warning` is the line for a script
// played in part, empty for a complete one.
bool take_script_report(const ReplayOptions &options, const ScriptReport &report,
                        ReplayResult &result, std::string &warning);
// Whether a replay whose picture was tried and whose program was asked to quit is complete;
// false with the status and line of the first thing that failed. A picture taken after a
// timeout is written before this is asked (result.picture).
bool replay_completed(bool timed_out, bool pictured, bool quit, unsigned timeout_s,
                      ReplayResult &result);
// Compares the picture with the expected one and fills in the differing pixels. True when they
// differ by more than the tolerance: the result then holds STATUS_DIFFERENT and its line, which
// names the picture of the differences when it was written.
bool picture_differs(const RgbPicture &picture, const RgbPicture &expected,
                     const ReplayOptions &options, ReplayResult &result);
void note_difference_picture(const ReplayOptions &options, ReplayResult &result);

// A batch
// A worker's arguments after the tool's own name, for an entry whose paths are already taken
// from the list's folder.
std::vector<std::string> worker_arguments(const BatchEntry &entry, const std::string &out,
                                          const ReplayOptions &options,
                                          const std::string &result_file);
// The line printed when a replay of the batch is over.
std::string batch_progress_line(const BatchEntry &entry, const ReplayResult &result);
// The closing line and the batch's status: 0 when every replay gave 0, 1 otherwise.
std::string batch_summary(const std::vector<ReplayResult> &results, const std::string &csv_path,
                          int &status);
