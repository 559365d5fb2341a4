// The replay tool's session, the same on every platform: one replay (its arguments checked,
// the working folder, the start with its retries, playback, the picture, Quit, the comparison)
// and a batch of them. The platform comes in through ReplaySystem and ReplayHost (replay_host.h).
// Plain C++: no platform headers.
#pragma once

#include "tools/replay/core/batch_list.h"
#include "tools/replay/core/replay_host.h"
#include "tools/replay/core/replay_options.h"

// One replay, with every check of its arguments first. A batch's worker (--result) writes no
// line of its own; its record carries the result.
ReplayResult run_replay(ReplaySystem &system, ReplayHost &host, const ReplayOptions &options);

// The same, with the record written for the batch when --result asks for it; returns the
// status the tool exits with.
int run_one_replay(ReplaySystem &system, ReplayHost &host, const ReplayOptions &options);

// A batch: one worker per line of the list, --jobs at a time, a line as each one ends, then
// results.csv. Returns the batch's status.
int run_batch(ReplaySystem &system, const ReplayOptions &options);
