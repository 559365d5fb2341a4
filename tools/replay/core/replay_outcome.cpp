#include "tools/replay/core/replay_outcome.h"

#include "tools/replay/core/picture_compare.h"
#include "tools/replay/core/replay_status.h"

// ---- Public functions ----

bool take_script_report(const ReplayOptions &options, const ScriptReport &report,
                        ReplayResult &result, std::string &warning) {
    result.events = report.events;
    result.script_stop = script_stop_field(report);
    warning.clear();
    if (report.complete())
        return true;
    if (options.strict) {
        result.status = STATUS_SCRIPT_REFUSED;
        result.program_own = false;
        result.message = options.script + ": " + describe_script_stop(report) +
                         "; refused (--strict), the program is not started";
        return false;
    }
    warning = options.script + ": " + describe_script_stop(report) + "; " +
              std::to_string(report.events) + " events are played";
    return true;
}

bool replay_completed(bool timed_out, bool pictured, bool quit, unsigned timeout_s,
                      ReplayResult &result) {
    const std::string timeout = std::to_string(timeout_s) + " s";
    result.program_own = false;
    if (timed_out) {
        result.status = STATUS_PLAYBACK_TIMEOUT;
        result.message = "playback did not end within the timeout of " + timeout +
                         "; the program is ended; " +
                         (result.picture ? "the PNG holds the picture at that moment"
                                         : "no picture could be taken");
    } else if (!pictured) {
        result.status = STATUS_FAILED;
        result.message =
            "cannot take the picture of the graphics window (covered, or off the screen)";
    } else if (!quit) {
        result.status = STATUS_FAILED;
        result.message = "the program did not end after the Quit command within the timeout of " +
                         timeout + "; it is ended; no PNG";
    } else {
        return true;
    }
    return false;
}

bool picture_differs(const RgbPicture &picture, const RgbPicture &expected,
                     const ReplayOptions &options, ReplayResult &result) {
    result.differing = count_differing_pixels(picture, expected);
    if (result.differing <= options.tolerance)
        return false;
    result.status = STATUS_DIFFERENT;
    result.program_own = false;
    result.message = std::to_string(result.differing) + " pixels differ from " + options.expect +
                     " (tolerance " + std::to_string(options.tolerance) + ")";
    if (picture.width != expected.width || picture.height != expected.height)
        result.message += "; the sizes differ: " + std::to_string(picture.width) + "x" +
                          std::to_string(picture.height) + ", expected " +
                          std::to_string(expected.width) + "x" + std::to_string(expected.height);
    return true;
}

void note_difference_picture(const ReplayOptions &options, ReplayResult &result) {
    result.message += "; the differences are in " + diff_picture_path(options.out);
}

std::vector<std::string> worker_arguments(const BatchEntry &entry, const std::string &out,
                                          const ReplayOptions &options,
                                          const std::string &result_file) {
    std::vector<std::string> arguments = {entry.program, entry.script, out};
    if (!entry.expected.empty())
        arguments.insert(arguments.end(), {"--expect", entry.expected});
    arguments.insert(arguments.end(), {"--timeout", std::to_string(options.timeout_s)});
    if (options.strict)
        arguments.push_back("--strict");
    for (const std::string &answer : options.answers)
        arguments.insert(arguments.end(), {"--answer", answer});
    if (options.headless)
        arguments.push_back("--headless");
    if (options.sandbox)
        arguments.insert(arguments.end(),
                         {"--sandbox", "--memory", std::to_string(options.memory)});
    arguments.insert(arguments.end(), {"--result", result_file});
    return arguments;
}

std::string batch_progress_line(const BatchEntry &entry, const ReplayResult &result) {
    return "line " + std::to_string(entry.line) + ": " + entry.program + " " + entry.script + ": " +
           std::to_string(result.status) + " (" +
           status_meaning(result.status, result.program_own) + ")" +
           (result.message.empty() ? "" : ": ") + result.message;
}

std::string batch_summary(const std::vector<ReplayResult> &results, const std::string &csv_path,
                          int &status) {
    size_t zero = 0;
    for (const ReplayResult &result : results)
        zero += result.status == 0;
    status = zero == results.size() ? 0 : 1;
    return std::to_string(results.size()) + " replays, " + std::to_string(zero) +
           " with status 0; results in " + csv_path;
}
