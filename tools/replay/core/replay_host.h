// What the replay (replay_session.cpp) asks of the platform it runs on: a ReplaySystem, the
// tool's own files, lines and batch workers (one for Windows, one for POSIX systems), and a
// ReplayHost, the program under replay (Win32, X11, headless). Plain C++: no platform headers.
#pragma once

#include "tools/replay/core/png_codec.h"
#include "tools/replay/core/script_report.h"

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

// ---- State ----

// The signal that asked the tool to stop (SIGTERM, SIGINT, SIGHUP), or 0. Every deadline has
// passed once it is set, so the tool winds up at once: the program is ended, the folder removed.
extern volatile std::sig_atomic_t g_replay_stop;

// ---- Types ----

// How a wait for something in the program ended. NO_ANSWER: a text-entry dialog found no answer
// left for it. FAILED: something else went wrong, which the host's detail() says.
enum class Wait { DONE, TIMED_OUT, PROGRAM_ENDED, NO_ANSWER, FAILED };

// How a start of the program went. NOT_NOW: a failure of the moment, worth another try.
// NO_SANDBOX: its sandbox (--sandbox) could not be set up, so it was not started.
enum class Started { YES, NOT_NOW, NEVER, NO_SANDBOX };

// Milliseconds on the monotonic clock.
inline double precise_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// A moment on the monotonic clock until which a wait may go on.
class Deadline {
  public:
    explicit Deadline(double milliseconds) : end_(precise_ms() + milliseconds) {}
    bool passed() const { return g_replay_stop != 0 || precise_ms() >= end_; }
    double remaining_ms() const {
        const double left = end_ - precise_ms();
        return g_replay_stop != 0 || left < 0 ? 0 : left;
    }
    // The same deadline brought forward by the given time.
    Deadline less(double milliseconds) const {
        Deadline earlier(*this);
        earlier.end_ -= milliseconds;
        return earlier;
    }

  private:
    double end_;
};

// One run of the program: what the host needs to start it.
struct ReplayRun {
    std::string program;              // its full path
    std::string folder;               // its working folder, which holds the script as ZEPHA.SCR
    std::string script;               // the full path of that copy
    std::vector<std::string> answers; // for its text-entry dialogs, in order
    std::string frames;               // --frames: the full path of the animation, or empty
    unsigned timeout_s = 0;           // the replay's timeout
    bool sandbox = false;             // --sandbox: the program kept in, with limits
    unsigned long long memory = 0;    // --sandbox: its memory limit, in bytes
    std::string result_file;          // --result: a batch's worker's record, or empty
};

// How the program ended after the Quit command: the status the tool exits with, and a line to
// report, if any (a program that a signal ended).
struct ProgramEnd {
    int status = 0;
    std::string note;
};

// The program under replay, on one platform: starting it, pressing its keys, seeing its
// playback end, taking its picture, ending it. One host serves one replay, start after start.
class ReplayHost {
  public:
    virtual ~ReplayHost() = default;
    // Empty when the host can replay here; otherwise the line that says why not (status 124).
    virtual std::string prepare() = 0;
    // Starts the program in its working folder; after NOT_NOW or NEVER, detail() says why.
    virtual Started start(const ReplayRun &run) = 0;
    // Turns playback on as Ctrl+P does, as soon as the program can take it. late_ms: the time
    // from the last moment the program was seen not yet able to take it to the key's sending.
    virtual Wait start_playback(const Deadline &deadline, double &late_ms) = 0;
    // Waits until playback has ended, answering the program's text-entry dialogs meanwhile.
    virtual Wait wait_for_playback(const Deadline &deadline) = 0;
    // The program's picture: the client area of its graphics window, as pixels or as the PNG
    // file the program wrote, whichever the host has.
    virtual Wait take_picture(const Deadline &deadline, Picture &picture) = 0;
    // The Quit command as Run > Quit gives it, then the program's end.
    virtual Wait quit(const Deadline &deadline, ProgramEnd &end) = 0;
    // Ends the program at once, if it runs; ready for another start.
    virtual void kill() = 0;
    // The line for a program that ended before its picture was taken (status 123).
    virtual std::string ended_line() = 0;
    // After NO_ANSWER, the dialog's prompt if known; after FAILED or a failed start, the line.
    virtual std::string detail() const = 0;
};

// A worker of a batch, as the system knows it.
using WorkerId = long;

// The tool's own files, lines and batch workers. Paths are UTF-8.
class ReplaySystem {
  public:
    virtual ~ReplaySystem() = default;
    // How the platform's runtime reads the script.
    virtual ScriptTextMode script_text_mode() const = 0;
    // Files
    virtual std::string existing_file(const std::string &path) = 0; // full path, or empty
    virtual std::string output_path(const std::string &path) = 0;   // full path, or empty
    virtual bool read_file(const std::string &path, std::string &bytes) = 0;
    // Written under a temporary name beside the target and renamed over it when complete, so
    // that a failure leaves no partial file and the earlier file as it was.
    virtual bool write_file(const std::string &path, const std::string &bytes) = 0;
    virtual void remove_file(const std::string &path) = 0;
    // A new, empty working folder (its full path), or empty; remove_folder removes it whole.
    virtual std::string make_work_folder() = 0;
    virtual void remove_folder(const std::string &path) = 0;
    // The folder, made if it is not there: its full path, or empty.
    virtual std::string make_folder(const std::string &path) = 0;
    virtual std::string folder_of(const std::string &path) = 0; // the folder a file is in
    // A path taken from a folder: as it is if absolute, else inside the folder.
    virtual std::string join(const std::string &folder, const std::string &path) = 0;
    // Why the last call failed, in a few words.
    virtual std::string last_error() = 0;
    // Lines: one on standard error after the tool's name, one on standard output.
    virtual void report(const std::string &line) = 0;
    virtual void print(const std::string &line) = 0;
    // A batch's workers: this tool again, with one replay's arguments.
    virtual unsigned processors() = 0;
    virtual double worker_grace_ms() = 0; // how long past its timeout a worker may run
    virtual WorkerId start_worker(const std::vector<std::string> &arguments) = 0; // -1: failed
    // Waits up to the given time for a worker to end.
    virtual void wait_for_workers(const std::vector<WorkerId> &workers, double ms) = 0;
    // Whether the worker has ended, with the status it exited with.
    virtual bool worker_ended(WorkerId worker, int &status) = 0;
    // Ends it at once, and gives the status it ended with.
    virtual int end_worker(WorkerId worker) = 0;
};
