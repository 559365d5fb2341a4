#include "tools/replay/core/replay_session.h"

#include "tools/replay/core/picture_compare.h"
#include "tools/replay/core/replay_outcome.h"
#include "tools/replay/core/replay_status.h"
#include "tools/replay/core/script_report.h"

#include <algorithm>

// ---- Constants ----

namespace {

const char SCRIPT_FILE_NAME[] = "ZEPHA.SCR";
// The runtime starts its 100 ms timer as its graphics window reaches the screen. Ctrl+P sent
// within this many milliseconds of the last look that did not find the window reaches the
// program before the first tick is due, and the program takes waiting input before a tick, so
// it gets the scripted events and nothing else.
constexpr double START_MARGIN_MS = 90;
constexpr int START_ATTEMPTS = 3;
// Kept back from the playback's share of the timeout for the picture and the Quit command
// after a playback that did not end: this long, or a quarter of the timeout if less.
constexpr double PICTURE_RESERVE_MS = 5000;
constexpr double WORKER_POLL_MS = 100; // the longest wait for a worker before the batch looks

} // namespace

// ---- State ----

volatile std::sig_atomic_t g_replay_stop = 0;

// ---- Types ----

namespace {

// Lines on standard error, but none from a batch's worker, which reports through its record.
class Reporter {
  public:
    Reporter(ReplaySystem &system, const ReplayOptions &options)
        : system_(system), quiet_(!options.result_file.empty()) {}
    void line(const std::string &text) const {
        if (!quiet_)
            system_.report(text);
    }
    // Ends the replay with one of the tool's statuses and its line.
    ReplayResult &fail(ReplayResult &result, int status, const std::string &message) const {
        result.status = status;
        result.program_own = false;
        result.message = message;
        line(message);
        return result;
    }

  private:
    ReplaySystem &system_;
    bool quiet_;
};

// The program's new working folder, removed with everything in it when the replay is over.
class WorkFolder {
  public:
    explicit WorkFolder(ReplaySystem &system) : system_(system), path_(system.make_work_folder()) {}
    ~WorkFolder() {
        if (!path_.empty())
            system_.remove_folder(path_);
    }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    const std::string &path() const { return path_; }

  private:
    ReplaySystem &system_;
    std::string path_;
};

// ---- Internal functions ----

bool write_picture(ReplaySystem &system, const std::string &path, const RgbPicture &picture) {
    const std::vector<uint8_t> png = encode_png(picture);
    return picture.width > 0 && system.write_file(path, std::string(png.begin(), png.end()));
}

// The program's own PNG file when the host has it, which needs no encoding; else the pixels.
bool write_picture(ReplaySystem &system, const std::string &path, const Picture &picture) {
    if (picture.png.empty())
        return write_picture(system, path, picture.pixels);
    return system.write_file(path, std::string(picture.png.begin(), picture.png.end()));
}

// Whether the picture differs from the expected one by more than the tolerance. The same file
// is the same pixels; otherwise the program's is decoded and compared pixel for pixel. (The
// expected picture's pixels are made as it is read, in the pass that checks it.)
bool differs(Picture &picture, Picture &expected, const ReplayOptions &options,
             ReplayResult &result) {
    if (!picture.png.empty() && picture.png == expected.png) {
        result.differing = 0;
        return false;
    }
    return picture_differs(pixels_of(picture), expected.pixels, options, result);
}

// Starts the program and playback, in up to START_ATTEMPTS fresh runs. Returns 0 with playback
// started, or the status to exit with.
int start_playback(ReplayHost &host, const Reporter &report, const ReplayRun &run,
                   const Deadline &deadline, ReplayResult &result) {
    for (int attempt = 1;; attempt++) {
        const Started started = host.start(run);
        if (started != Started::YES) {
            // A start can fail for a reason of the moment (fork, or under Wine the new
            // process's loader); a file that is no program fails every attempt.
            if (started == Started::NOT_NOW && attempt < START_ATTEMPTS && !deadline.passed())
                continue;
            return report
                .fail(result, started == Started::NO_SANDBOX ? STATUS_NO_SANDBOX : STATUS_FAILED,
                      host.detail())
                .status;
        }
        double late_ms = 0;
        switch (host.start_playback(deadline, late_ms)) {
        case Wait::DONE: break;
        case Wait::PROGRAM_ENDED:
            return report.fail(result, STATUS_PROGRAM_DIED, host.ended_line()).status;
        case Wait::FAILED: return report.fail(result, STATUS_FAILED, host.detail()).status;
        default:
            return report
                .fail(result, STATUS_NO_WINDOW,
                      "no graphics window within the timeout; the program is ended")
                .status;
        }
        if (late_ms <= START_MARGIN_MS)
            return 0;
        // Too late to be sure that no timer tick came first: start the program afresh.
        host.kill();
        if (attempt == START_ATTEMPTS || deadline.passed())
            return report
                .fail(result, STATUS_FAILED,
                      "could not start playback within " +
                          std::to_string(static_cast<int>(START_MARGIN_MS)) +
                          " ms of the graphics window's appearance in " + std::to_string(attempt) +
                          " attempts")
                .status;
    }
}

// Plays the script into the program and ends it; the picture is written to `out`, and compared
// with the expected one if there is one.
void play(ReplaySystem &system, ReplayHost &host, const Reporter &report, const ReplayRun &run,
          const ReplayOptions &options, const std::string &out, Picture *expected,
          ReplayResult &result) {
    const double timeout_ms = options.timeout_s * 1000.0;
    const Deadline total(timeout_ms);
    if (start_playback(host, report, run, total, result) != 0) {
        host.kill();
        return;
    }
    const Deadline playback = total.less(std::min(PICTURE_RESERVE_MS, timeout_ms / 4));
    const Wait ended = host.wait_for_playback(playback);
    if (ended == Wait::NO_ANSWER) {
        const std::string prompt = host.detail();
        host.kill();
        report.fail(result, STATUS_NO_ANSWER,
                    "the program opened a text-entry dialog " +
                        (prompt.empty() ? std::string() : "(\"" + prompt + "\") ") +
                        "with no --answer left for it; the program is ended");
        return;
    }
    if (ended == Wait::FAILED) {
        host.kill();
        report.fail(result, STATUS_FAILED, host.detail());
        return;
    }
    if (ended == Wait::PROGRAM_ENDED) {
        report.fail(result, STATUS_PROGRAM_DIED, host.ended_line());
        host.kill();
        return;
    }
    const bool timed_out = ended == Wait::TIMED_OUT;

    Picture picture;
    const Wait pictured = host.take_picture(total, picture);
    if (pictured == Wait::PROGRAM_ENDED || pictured == Wait::FAILED) {
        report.fail(result, pictured == Wait::FAILED ? STATUS_FAILED : STATUS_PROGRAM_DIED,
                    pictured == Wait::FAILED ? host.detail() : host.ended_line());
        host.kill();
        return;
    }
    ProgramEnd end;
    const Wait quit = host.quit(total, end);
    host.kill();
    if (timed_out)
        result.picture = pictured == Wait::DONE && write_picture(system, out, picture);
    if (!replay_completed(timed_out, pictured == Wait::DONE, quit == Wait::DONE, options.timeout_s,
                          result)) {
        report.line(result.message);
        return;
    }
    const std::string diff = diff_picture_path(out);
    if (expected != nullptr && differs(picture, *expected, options, result)) {
        result.picture = write_picture(system, out, picture);
        if (write_picture(system, diff, difference_picture(picture.pixels, expected->pixels)))
            note_difference_picture(options, result);
        report.line(result.message);
        return;
    }
    system.remove_file(diff); // one from an earlier run would tell of differences gone now
    result.picture = write_picture(system, out, picture);
    if (!result.picture) {
        report.fail(result, STATUS_FAILED, "cannot write " + out);
        return;
    }
    if (!end.note.empty())
        report.line(end.note);
    result.status = end.status;
    result.program_own = true;
}

} // namespace

// ---- Public functions ----

ReplayResult run_replay(ReplaySystem &system, ReplayHost &host, const ReplayOptions &options) {
    const Reporter report(system, options);
    ReplayResult result;
    ReplayRun run;
    run.program = system.existing_file(options.program);
    if (run.program.empty())
        return report.fail(result, STATUS_NOT_FOUND, "cannot find the program " + options.program);
    const std::string script_path = system.existing_file(options.script);
    std::string script;
    if (script_path.empty() || !system.read_file(script_path, script))
        return report.fail(result, STATUS_NOT_FOUND, "cannot find the script " + options.script);
    std::string warning;
    if (!take_script_report(options, read_script_report(script, system.script_text_mode()), result,
                            warning)) {
        report.line(result.message);
        return result;
    }
    if (!warning.empty())
        report.line(warning);
    Picture expected;
    if (!options.expect.empty()) {
        std::string bytes;
        std::string error = "cannot read it";
        const std::string expect_path = system.existing_file(options.expect);
        if (expect_path.empty() || !system.read_file(expect_path, bytes) ||
            !read_png(std::vector<uint8_t>(bytes.begin(), bytes.end()), &expected.pixels,
                      &expected.png, error))
            return report.fail(result, STATUS_NOT_FOUND,
                               "cannot use the expected picture " + options.expect + ": " + error);
    }
    const std::string out = system.output_path(options.out);
    if (out.empty())
        return report.fail(result, STATUS_NOT_FOUND, "cannot use the path " + options.out);
    if (!options.frames.empty()) {
        run.frames = system.output_path(options.frames);
        if (run.frames.empty())
            return report.fail(result, STATUS_NOT_FOUND, "cannot use the path " + options.frames);
    }
    const std::string unready = host.prepare();
    if (!unready.empty())
        return report.fail(result, STATUS_FAILED, unready);
    const WorkFolder folder(system);
    if (folder.path().empty())
        return report.fail(result, STATUS_FAILED,
                           "cannot create a working folder (" + system.last_error() + ")");
    run.folder = folder.path();
    run.script = system.join(folder.path(), SCRIPT_FILE_NAME);
    run.answers = options.answers;
    run.timeout_s = options.timeout_s;
    run.sandbox = options.sandbox;
    run.memory = options.memory;
    run.result_file = options.result_file;
    // The copy holds the bytes the report was made from.
    if (!system.write_file(run.script, script))
        return report.fail(result, STATUS_FAILED,
                           "cannot copy " + options.script + " into the working folder (" +
                               system.last_error() + ")");
    play(system, host, report, run, options, out, options.expect.empty() ? nullptr : &expected,
         result);
    return result;
}

int run_one_replay(ReplaySystem &system, ReplayHost &host, const ReplayOptions &options) {
    const ReplayResult result = run_replay(system, host, options);
    if (!options.result_file.empty() && g_replay_stop == 0)
        system.write_file(options.result_file, format_result_record(result));
    return result.status;
}

int run_batch(ReplaySystem &system, const ReplayOptions &options) {
    const std::string list_path = system.existing_file(options.list);
    std::string list;
    if (list_path.empty() || !system.read_file(list_path, list)) {
        system.report("cannot find the list " + options.list);
        return STATUS_NOT_FOUND;
    }
    std::vector<BatchEntry> entries;
    std::string error;
    if (!parse_batch_list(list, entries, error)) {
        system.report(options.list + ": " + error);
        return STATUS_USAGE;
    }
    const std::string out_dir = system.make_folder(options.out_dir);
    if (out_dir.empty()) {
        system.report("cannot create the folder " + options.out_dir);
        return STATUS_FAILED;
    }
    const std::string list_folder = system.folder_of(list_path);
    const size_t jobs = options.jobs != 0 ? options.jobs : std::max(1u, system.processors());
    const double worker_limit = options.timeout_s * 1000.0 + system.worker_grace_ms();
    const auto from_list = [&](const std::string &path) {
        return path.empty() ? path : system.join(list_folder, path);
    };

    struct Worker {
        size_t index;
        WorkerId id;
        double started_ms;
        std::string result_file;
    };
    std::vector<ReplayResult> results(entries.size());
    std::vector<Worker> running;
    size_t next = 0;
    while (next < entries.size() || !running.empty()) {
        while (running.size() < jobs && next < entries.size() && g_replay_stop == 0) {
            const BatchEntry &entry = entries[next];
            const std::string name = batch_picture_name(entry);
            Worker worker{next++, -1, precise_ms(), system.join(out_dir, "." + name + ".result")};
            system.remove_file(worker.result_file);
            const BatchEntry paths = {entry.line, from_list(entry.program), from_list(entry.script),
                                      from_list(entry.expected)};
            worker.id = system.start_worker(
                worker_arguments(paths, system.join(out_dir, name), options, worker.result_file));
            if (worker.id < 0) {
                results[worker.index].status = STATUS_FAILED;
                results[worker.index].message =
                    "cannot start a replay (" + system.last_error() + ")";
                continue;
            }
            running.push_back(worker);
        }
        if (g_replay_stop != 0)
            next = entries.size();
        std::vector<WorkerId> ids;
        for (const Worker &worker : running)
            ids.push_back(worker.id);
        if (!ids.empty())
            system.wait_for_workers(ids, WORKER_POLL_MS);
        for (size_t i = 0; i < running.size();) {
            Worker &worker = running[i];
            int status = STATUS_FAILED;
            const bool over = system.worker_ended(worker.id, status);
            if (!over && g_replay_stop == 0 && precise_ms() - worker.started_ms <= worker_limit) {
                i++;
                continue;
            }
            // Too long, or the batch is stopped: a worker ends its program as it stops.
            if (!over)
                status = system.end_worker(worker.id);
            ReplayResult &result = results[worker.index];
            std::string record;
            if (!system.read_file(worker.result_file, record) ||
                !parse_result_record(record, result)) {
                result.status = status;
                result.message = "the replay gave no result";
            }
            result.seconds = (precise_ms() - worker.started_ms) / 1000.0;
            system.remove_file(worker.result_file);
            system.print(batch_progress_line(entries[worker.index], result));
            running.erase(running.begin() + static_cast<long>(i));
        }
    }
    if (g_replay_stop != 0)
        return STATUS_FAILED;
    const std::string csv_path = system.join(out_dir, "results.csv");
    if (!system.write_file(csv_path, results_csv(entries, results))) {
        system.report("cannot write results.csv in " + options.out_dir);
        return STATUS_FAILED;
    }
    int status = 0;
    system.print(batch_summary(results, csv_path, status));
    return status;
}
