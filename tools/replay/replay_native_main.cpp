// zepha_replay, native (X11): plays a script into a program built on the ZEPHA runtime and saves
// what its graphics window shows at the end as a PNG file, compared with an expected picture if
// one is given; or runs a list of such replays side by side and writes results.csv.
//
// The arguments, the script's report, the PNG files, the comparison and the batch's list and
// results are the platform-free part (tools/replay/core), as on Windows; this file starts,
// watches, drives and pictures the program through the X server and Linux's processes.
#include "replay_native.h"

#include "tools/replay/core/batch_list.h"
#include "tools/replay/core/picture_compare.h"
#include "tools/replay/core/replay_options.h"
#include "tools/replay/core/replay_outcome.h"
#include "tools/replay/core/replay_status.h"
#include "tools/replay/core/script_report.h"

#include <dirent.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Lets the compiler check the arguments of a printf-style function.
#if defined(__GNUC__)
#define REPLAY_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define REPLAY_PRINTF(fmt, args)
#endif

// ---- Constants ----

namespace {

const char TOOL_NAME[] = "zepha_replay";
const char SCRIPT_FILE_NAME[] = "ZEPHA.SCR";
// The runtime starts its 100 ms timer just before its graphics window reaches the screen.
// Ctrl+P sent within this many milliseconds of the last look that did not find the window
// reaches the program before the first tick is due, and the program takes waiting input before
// a tick, so it gets the scripted events and nothing else.
constexpr double START_MARGIN_MS = 90;
constexpr int START_ATTEMPTS = 3;
constexpr double POLL_MS = 1; // pause between two looks for the window
// Kept back from the playback's share of the timeout for the picture and the Quit command
// after a playback that did not end: this long, or a quarter of the timeout if less.
constexpr double PICTURE_RESERVE_MS = 5000;
// A batch's worker that outlives its own timeout by this much is ended by the batch.
constexpr double WORKER_GRACE_MS = 30000;
constexpr double WORKER_POLL_MS = 100;

} // namespace

// ---- State ----

volatile sig_atomic_t g_stop_signal = 0;

namespace {

bool quiet = false; // a batch's worker reports through its result record alone

// ---- Types ----

// The program's new working folder, removed with everything in it when the replay is over.
class WorkFolder {
  public:
    bool create() {
        const char *temp = getenv("TMPDIR");
        const std::string base = temp != nullptr && temp[0] != '\0' ? temp : "/tmp";
        for (unsigned n = 0; n < 1000; n++) {
            const std::string name = base + "/zepha-replay-" +
                                     std::to_string(static_cast<long>(getpid())) + "-" +
                                     std::to_string(n);
            if (mkdir(name.c_str(), 0700) == 0) {
                path_ = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }
    ~WorkFolder() {
        if (!path_.empty())
            remove_tree(path_);
    }
    const std::string &path() const { return path_; }
    std::string script() const { return path_ + "/" + SCRIPT_FILE_NAME; }

  private:
    static void remove_tree(const std::string &folder) {
        if (DIR *entries = opendir(folder.c_str())) {
            while (const dirent *entry = readdir(entries)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + "/" + name;
                struct stat info;
                if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                    remove_tree(path);
                else
                    unlink(path.c_str());
            }
            closedir(entries);
        }
        rmdir(folder.c_str());
    }
    std::string path_;
};

// ---- Internal functions ----

REPLAY_PRINTF(1, 2) std::string text(const char *format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// One line on standard error, after the tool's name. A tool asked to stop says nothing of the
// waits it cut short.
void report_line(const std::string &line) {
    if (g_stop_signal != 0 || quiet)
        return;
    fprintf(stderr, "%s: %s\n", TOOL_NAME, line.c_str());
    fflush(stderr);
}

// Ends the replay with one of the tool's statuses and its line on standard error.
ReplayResult &fail(ReplayResult &result, int status, const std::string &message) {
    result.status = status;
    result.program_own = false;
    result.message = message;
    report_line(message);
    return result;
}

// The full path of an existing file, or an empty string.
std::string existing_file(const std::string &path) {
    char full[PATH_MAX];
    struct stat info;
    if (realpath(path.c_str(), full) == nullptr || stat(full, &info) != 0 || S_ISDIR(info.st_mode))
        return std::string();
    return full;
}

bool read_file(const std::string &path, std::string &bytes) {
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes.clear();
    char buffer[65536];
    size_t length;
    while ((length = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, length);
    const bool read = !ferror(file);
    fclose(file);
    return read;
}

// Written under a temporary name beside the target and renamed over it when complete, so that a
// failure leaves no partial file and the earlier file as it was.
bool write_file_replacing(const std::string &path, const std::string &bytes) {
    const std::string temporary = path + ".part";
    FILE *file = fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (fclose(file) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
        remove(temporary.c_str());
        return false;
    }
    return true;
}

bool write_picture(const std::string &path, const RgbPicture &picture) {
    const std::vector<uint8_t> png = encode_png(picture);
    return picture.width > 0 && write_file_replacing(path, std::string(png.begin(), png.end()));
}

ReplayResult &fail_died(ReplayResult &result, const Program &program) {
    const int status = program.wait_status;
    if (WIFSIGNALED(status))
        return fail(result, STATUS_PROGRAM_DIED,
                    text("the program ended by itself, by signal %d (%s), before the picture "
                         "was taken",
                         WTERMSIG(status), strsignal(WTERMSIG(status))));
    const unsigned code = static_cast<unsigned>(WEXITSTATUS(status));
    return fail(result, STATUS_PROGRAM_DIED,
                text("the program ended by itself, with status %u (0x%08X), before the picture "
                     "was taken",
                     code, code));
}

// The program runs on while the tool looks for its graphics window every millisecond; Ctrl+P
// is sent at the first look that finds the window shown: late_ms is the time since the previous
// look, which did not find it.
Wait start_playback_at_window(Program &program, const Deadline &deadline, double &late_ms) {
    double previous_look = program.started_ms;
    for (;;) {
        const double look = precise_ms();
        if (find_graphics_window(program)) {
            press_ctrl_key(program, 'P');
            late_ms = precise_ms() - previous_look;
            return Wait::DONE;
        }
        previous_look = look;
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        const timespec pause = {0, static_cast<long>(POLL_MS * 1e6)};
        nanosleep(&pause, nullptr);
    }
}

// Starts the program and Ctrl+P, in up to START_ATTEMPTS fresh runs. Returns 0 with playback
// started, or the status to exit with.
int start_playback(const std::string &program_path, const WorkFolder &folder,
                   const Deadline &deadline, Program &program, ReplayResult &result) {
    for (int attempt = 1;; attempt++) {
        // A fresh watch for each run: a run ended for starting late may have opened the script.
        if (!watch_script(folder.script().c_str()))
            return fail(result, STATUS_FAILED,
                        text("cannot watch %s (%s)", folder.script().c_str(), strerror(errno)))
                .status;
        int error = 0;
        if (!start_program(program_path.c_str(), folder.path().c_str(), program, error)) {
            // A file that is no program fails every attempt; fork can fail for a moment.
            if (attempt < START_ATTEMPTS && error != ENOEXEC && error != EACCES)
                continue;
            return fail(result, STATUS_FAILED,
                        text("cannot start %s (%s)", program_path.c_str(), strerror(error)))
                .status;
        }
        double late_ms = 0;
        switch (start_playback_at_window(program, deadline, late_ms)) {
        case Wait::DONE: break;
        case Wait::PROGRAM_ENDED: return fail_died(result, program).status;
        default:
            return fail(result, STATUS_NO_WINDOW,
                        "no graphics window within the timeout; the program is ended")
                .status;
        }
        if (late_ms <= START_MARGIN_MS)
            return 0;
        // Too late to be sure that no timer tick came first: start the program afresh.
        kill_program(program);
        if (attempt == START_ATTEMPTS || deadline.passed())
            return fail(result, STATUS_FAILED,
                        text("could not start playback within %.0f ms of the graphics window's "
                             "appearance in %d attempts",
                             START_MARGIN_MS, attempt))
                .status;
    }
}

// The Quit command as Ctrl+Q gives it, then the program's end.
Wait end_program(Program &program, const Deadline &deadline) {
    press_ctrl_key(program, 'Q');
    return wait_for_exit(program, deadline);
}

// Plays the script into the program and ends it; the picture is written to `out`, and compared
// with the expected one if there is one.
void play(const std::string &program_path, const WorkFolder &folder, const ReplayOptions &options,
          const std::string &out, const RgbPicture *expected, ReplayResult &result) {
    const double timeout_ms = options.timeout_s * 1000.0;
    const Deadline total(timeout_ms);
    Program program;
    if (start_playback(program_path, folder, total, program, result) != 0) {
        kill_program(program);
        return;
    }

    // Each dialog that opens gets the next answer once; a dialog with none left ends the replay.
    size_t next_answer = 0;
    unsigned long answered = 0;
    bool typed = true;
    const auto answer_dialogs = [&]() {
        const unsigned long dialog = find_dialog(program);
        if (dialog == 0 || dialog == answered) {
            answered = dialog;
            return Wait::DONE;
        }
        if (next_answer == options.answers.size())
            return Wait::NO_ANSWER;
        typed = type_answer(dialog, options.answers[next_answer++]);
        answered = dialog;
        return typed ? Wait::DONE : Wait::NO_ANSWER;
    };
    const Deadline playback = total.less(std::min(PICTURE_RESERVE_MS, timeout_ms / 4));
    const Wait ended =
        wait_for_playback(program, folder.script().c_str(), playback, answer_dialogs);
    if (ended == Wait::NO_ANSWER) {
        kill_program(program);
        if (!typed)
            fail(result, STATUS_FAILED,
                 "cannot type --answer " + options.answers[next_answer - 1] +
                     " (only printable ASCII characters are typed); the program is ended");
        else
            fail(result, STATUS_NO_ANSWER,
                 "the program opened a text-entry dialog with no --answer left for it; the "
                 "program is ended");
        return;
    }
    if (ended == Wait::PROGRAM_ENDED) {
        fail_died(result, program);
        kill_program(program);
        return;
    }
    const bool timed_out = ended == Wait::TIMED_OUT;

    RgbPicture picture;
    const Wait pictured = take_picture(program, total, picture);
    if (pictured == Wait::PROGRAM_ENDED) {
        fail_died(result, program);
        kill_program(program);
        return;
    }
    const Wait quit = end_program(program, total);
    const int exit_status = program.wait_status;
    kill_program(program);
    if (timed_out)
        result.picture = pictured == Wait::DONE && write_picture(out, picture);
    if (!replay_completed(timed_out, pictured == Wait::DONE, quit == Wait::DONE, options.timeout_s,
                          result)) {
        report_line(result.message);
        return;
    }
    const std::string diff = diff_picture_path(out);
    if (expected != nullptr && picture_differs(picture, *expected, options, result)) {
        result.picture = write_picture(out, picture);
        if (write_picture(diff, difference_picture(picture, *expected)))
            note_difference_picture(options, result);
        report_line(result.message);
        return;
    }
    remove(diff.c_str()); // one from an earlier run would tell of differences gone now
    result.picture = write_picture(out, picture);
    if (!result.picture) {
        fail(result, STATUS_FAILED, "cannot write " + out);
        return;
    }
    // A program that a signal ended while it quit gets the status a shell would give it.
    if (WIFSIGNALED(exit_status)) {
        report_line(text("the program ended by signal %d (%s) after the Quit command",
                         WTERMSIG(exit_status), strsignal(WTERMSIG(exit_status))));
        result.status = 128 + WTERMSIG(exit_status);
    } else {
        result.status = WEXITSTATUS(exit_status);
    }
    result.program_own = true;
}

// The full path OUT will have: its folder must exist.
std::string output_path(const std::string &out) {
    const size_t slash = out.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : out.substr(0, slash + 1);
    char full[PATH_MAX];
    if (out.empty() || out.back() == '/' || realpath(folder.c_str(), full) == nullptr)
        return std::string();
    return std::string(full) + "/" + (slash == std::string::npos ? out : out.substr(slash + 1));
}

// One replay, with every check of its arguments first.
ReplayResult replay(const ReplayOptions &options) {
    ReplayResult result;
    const std::string program_path = existing_file(options.program);
    if (program_path.empty())
        return fail(result, STATUS_NOT_FOUND, "cannot find the program " + options.program);
    const std::string script_path = existing_file(options.script);
    std::string script;
    if (script_path.empty() || !read_file(script_path, script))
        return fail(result, STATUS_NOT_FOUND, "cannot find the script " + options.script);
    std::string warning;
    if (!take_script_report(options, read_script_report(script, ScriptTextMode::BYTES), result,
                            warning)) {
        report_line(result.message);
        return result;
    }
    if (!warning.empty())
        report_line(warning);
    RgbPicture expected;
    if (!options.expect.empty()) {
        std::string bytes;
        std::string error = "cannot read it";
        const std::string expect_path = existing_file(options.expect);
        if (expect_path.empty() || !read_file(expect_path, bytes) ||
            !decode_png(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected, error))
            return fail(result, STATUS_NOT_FOUND,
                        "cannot use the expected picture " + options.expect + ": " + error);
    }
    const std::string out = output_path(options.out);
    if (out.empty())
        return fail(result, STATUS_NOT_FOUND, "cannot use the path " + options.out);
    if (!open_display())
        return fail(result, STATUS_FAILED,
                    text("cannot open the X display %s",
                         getenv("DISPLAY") != nullptr ? getenv("DISPLAY") : "(unset)"));
    WorkFolder folder;
    if (!folder.create())
        return fail(result, STATUS_FAILED,
                    text("cannot create a working folder (%s)", strerror(errno)));
    // The copy holds the bytes the report was made from.
    if (!write_file_replacing(folder.script(), script))
        return fail(result, STATUS_FAILED,
                    text("cannot copy %s into the working folder (%s)", options.script.c_str(),
                         strerror(errno)));
    play(program_path, folder, options, out, options.expect.empty() ? nullptr : &expected, result);
    return result;
}

// ---- Batch ----

// A list's paths are taken from the list's own folder.
std::string from_folder(const std::string &folder, const std::string &path) {
    return path.empty() || path[0] == '/' ? path : folder + "/" + path;
}

struct Worker {
    size_t index;
    pid_t pid;
    double started_ms;
    std::string result_file;
};

// A worker is this tool again, with one entry's arguments and --result; it stops with the batch.
pid_t start_worker(const std::vector<std::string> &arguments) {
    const pid_t batch = getpid();
    const pid_t child = fork();
    if (child != 0)
        return child;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != batch)
        _exit(STATUS_FAILED);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(STATUS_FAILED);
}

int run_batch(const ReplayOptions &options) {
    const std::string list_path = existing_file(options.list);
    std::string list;
    if (list_path.empty() || !read_file(list_path, list)) {
        report_line("cannot find the list " + options.list);
        return STATUS_NOT_FOUND;
    }
    std::vector<BatchEntry> entries;
    std::string error;
    if (!parse_batch_list(list, entries, error)) {
        report_line(options.list + ": " + error);
        return STATUS_USAGE;
    }
    if (mkdir(options.out_dir.c_str(), 0777) != 0 && errno != EEXIST) {
        report_line("cannot create the folder " + options.out_dir);
        return STATUS_FAILED;
    }
    char out_full[PATH_MAX];
    if (realpath(options.out_dir.c_str(), out_full) == nullptr) {
        report_line("cannot create the folder " + options.out_dir);
        return STATUS_FAILED;
    }
    const std::string out_dir = out_full;
    const std::string list_folder = list_path.substr(0, list_path.find_last_of('/'));
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    const size_t jobs = options.jobs != 0 ? options.jobs : std::max(1L, processors);
    const double worker_limit = options.timeout_s * 1000.0 + WORKER_GRACE_MS;

    std::vector<ReplayResult> results(entries.size());
    std::vector<Worker> running;
    size_t next = 0;
    while (next < entries.size() || !running.empty()) {
        while (running.size() < jobs && next < entries.size() && g_stop_signal == 0) {
            const BatchEntry &entry = entries[next];
            Worker worker{next++, -1, precise_ms(), ""};
            worker.result_file = out_dir + "/." + batch_picture_name(entry) + ".result";
            remove(worker.result_file.c_str());
            const BatchEntry paths = {entry.line, from_folder(list_folder, entry.program),
                                      from_folder(list_folder, entry.script),
                                      from_folder(list_folder, entry.expected)};
            std::vector<std::string> arguments = worker_arguments(
                paths, out_dir + "/" + batch_picture_name(entry), options, worker.result_file);
            arguments.insert(arguments.begin(), TOOL_NAME);
            worker.pid = start_worker(arguments);
            if (worker.pid < 0) {
                results[worker.index].status = STATUS_FAILED;
                results[worker.index].message = text("cannot start a replay (%s)", strerror(errno));
                continue;
            }
            running.push_back(worker);
        }
        if (g_stop_signal != 0)
            next = entries.size();
        const timespec pause = {0, static_cast<long>(WORKER_POLL_MS * 1e6)};
        nanosleep(&pause, nullptr);
        for (size_t i = 0; i < running.size();) {
            Worker &worker = running[i];
            int status = 0;
            bool over = waitpid(worker.pid, &status, WNOHANG) == worker.pid;
            if (!over && g_stop_signal == 0 && precise_ms() - worker.started_ms <= worker_limit) {
                i++;
                continue;
            }
            if (!over) {
                // Too long, or the batch is stopped: a worker ends its program as it stops.
                kill(worker.pid, g_stop_signal != 0 ? SIGTERM : SIGKILL);
                while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
                }
            }
            ReplayResult &result = results[worker.index];
            std::string record;
            if (!read_file(worker.result_file, record) || !parse_result_record(record, result)) {
                result.status = WIFEXITED(status) ? WEXITSTATUS(status) : STATUS_FAILED;
                result.message = "the replay gave no result";
            }
            result.seconds = (precise_ms() - worker.started_ms) / 1000.0;
            remove(worker.result_file.c_str());
            const BatchEntry &entry = entries[worker.index];
            printf("%s\n", batch_progress_line(entry, result).c_str());
            fflush(stdout);
            running.erase(running.begin() + static_cast<long>(i));
        }
    }
    if (g_stop_signal != 0)
        return STATUS_FAILED;
    if (!write_file_replacing(out_dir + "/results.csv", results_csv(entries, results))) {
        report_line("cannot write results.csv in " + options.out_dir);
        return STATUS_FAILED;
    }
    int status = 0;
    printf("%s\n", batch_summary(results, out_dir + "/results.csv", status).c_str());
    return status;
}

void on_stop_signal(int signal) {
    g_stop_signal = signal;
}

} // namespace

// ---- Entry ----

int main(int argc, char **argv) {
    // The arguments are taken as UTF-8, as Linux's file names and terminals give them.
    const std::vector<std::string> args(argv + 1, argv + argc);
    ReplayOptions options;
    std::string error;
    if (!parse_replay_arguments(args, options, error)) {
        fprintf(stderr, "error: %s\n\n", error.c_str());
        fputs(REPLAY_USAGE, stderr);
        return STATUS_USAGE;
    }
    // Stopped from outside, the tool still ends the program and removes the folder (a batch,
    // its workers), and then ends by the same signal.
    struct sigaction stop = {};
    stop.sa_handler = on_stop_signal;
    sigemptyset(&stop.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &stop, nullptr);
    int status = STATUS_FAILED;
    switch (options.mode) {
    case ReplayOptions::Mode::HELP: fputs(REPLAY_USAGE, stdout); return 0;
    case ReplayOptions::Mode::BATCH: status = run_batch(options); break;
    case ReplayOptions::Mode::ONE: {
        quiet = !options.result_file.empty();
        const ReplayResult result = replay(options);
        if (!options.result_file.empty() && g_stop_signal == 0)
            write_file_replacing(options.result_file, format_result_record(result));
        status = result.status;
        break;
    }
    }
    if (g_stop_signal != 0) {
        signal(g_stop_signal, SIG_DFL);
        raise(g_stop_signal);
    }
    return status;
}
