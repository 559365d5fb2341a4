// The headless host: the program runs on the runtime's headless platform (ZEPHA_PLATFORM=headless),
// which has no window. The environment asks it for the replay: playback from its first wait
// (ZEPHA_PLAYBACK), the picture as a PNG file when playback has ended (ZEPHA_PICTURE), the
// dialogs' answers (ZEPHA_ANSWERS) and a report of its milestones, one line each (ZEPHA_REPORT):
//   started                   the headless platform has started
//   waiting                   the program has reached its first wait
//   playback-ended N REASON   N events played
//   picture PATH | picture-failed PATH
//   frames PATH | frames-failed PATH      (with ZEPHA_FRAMES)
//   no-answer PROMPT          a text-entry dialog with no answer left: the program ends, 119
// The host looks at the report until the replay's deadline, at growing intervals and at once
// when the program has ended (ProgramProcess::pause); after the picture the program gets
// Quit at its next wait by itself, and ends. Nothing live reaches it, so no key is pressed and the
// picture is the same on any machine at any load. Plain POSIX: no display, no /proc, no inotify.
#include "tools/replay/native/native_hosts.h"

#include "tools/replay/native/native_process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// ---- Constants ----

namespace {

const char REPORT_FILE[] = ".zepha-report";
const char PICTURE_FILE[] = ".zepha-picture.png";
// The status and the line with which a program built without the headless platform ends: it
// asks for a display, and the tool gives it none.
constexpr int NO_DISPLAY_STATUS = 1;

// What the program writes, at most: the tool reads no more of a report or picture. A program
// in a sandbox (--sandbox) is not trusted with the tool's memory.
constexpr size_t MAX_REPORT = 1 << 16;
constexpr size_t MAX_PICTURE = 64 << 20;

// ---- Internal functions ----

// A file the program wrote in its folder, opened for reading: a plain file, never the file a
// link made by the program points to (a sandboxed program must not have the tool read a file
// for it), nor a pipe the tool would wait on. -1 with errno set otherwise.
int open_written(const std::string &path) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat info;
    if (file >= 0 && (fstat(file, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(file);
        errno = EINVAL;
        return -1;
    }
    return file;
}

// ---- Types ----

// What the report has said so far.
struct Milestones {
    bool started = false, waiting = false, playback_ended = false;
    bool picture = false, picture_failed = false, no_answer = false;
    bool frames = false, frames_failed = false;
    std::string prompt;
};

class HeadlessHost : public ReplayHost {
  public:
    std::string prepare() override { return std::string(); }

    Started start(const ReplayRun &run) override {
        close_report();
        said_ = Milestones{};
        pending_.clear();
        report_path_ = run.folder + "/" + REPORT_FILE;
        picture_path_ = run.folder + "/" + PICTURE_FILE;
        remove(report_path_.c_str());
        remove(picture_path_.c_str());
        std::string answers;
        for (const std::string &answer : run.answers) {
            if (answer.find_first_of("\r\n") != std::string::npos) {
                detail_ = "cannot give the answer " + answer + " (an answer is one line)";
                return Started::NEVER;
            }
            answers += (answers.empty() ? "" : "\n") + answer;
        }
        std::vector<std::string> set = {
            "ZEPHA_PLATFORM=headless",        "ZEPHA_PLAYBACK=1",
            "ZEPHA_PICTURE=" + picture_path_, "ZEPHA_REPORT=" + report_path_,
            "ZEPHA_ANSWERS=" + answers,
        };
        frames_path_ = run.frames;
        if (!run.frames.empty())
            set.push_back("ZEPHA_FRAMES=" + run.frames);
        // Without a display a program built before the headless platform says so and ends.
        SandboxLimits limits;
        limits.memory = run.memory;
        sandboxed_ = run.sandbox;
        const Started started = process_.start(run.program, run.folder, set,
                                               {"DISPLAY", "WAYLAND_DISPLAY", "ZEPHA_FRAMES"}, true,
                                               run.sandbox ? &limits : nullptr);
        detail_ = process_.failure();
        return started;
    }

    // Playback starts by itself at the program's first wait: nothing live comes before it.
    Wait start_playback(const Deadline &, double &late_ms) override {
        late_ms = 0;
        return Wait::DONE;
    }

    Wait wait_for_playback(const Deadline &deadline) override {
        for (;;) {
            const bool ended = process_.ended(); // before the report's last look
            read_report();
            if (said_.playback_ended)
                return Wait::DONE;
            if (said_.no_answer) {
                detail_ = said_.prompt;
                return Wait::NO_ANSWER;
            }
            if (ended)
                return ended_early();
            if (deadline.passed())
                return Wait::TIMED_OUT;
            process_.pause(deadline);
        }
    }

    // The picture the program wrote when its playback had ended; none after a timeout.
    Wait take_picture(const Deadline &deadline, Picture &picture) override {
        if (!said_.playback_ended)
            return Wait::TIMED_OUT;
        for (;;) {
            const bool ended = process_.ended();
            read_report();
            if (said_.picture) {
                std::string error;
                if (read_picture(picture, error))
                    return Wait::DONE;
                detail_ = "cannot read the program's picture " + picture_path_ + ": " + error;
                return Wait::FAILED;
            }
            if (said_.picture_failed) {
                detail_ = "the program could not write its picture to " + picture_path_;
                return Wait::FAILED;
            }
            if (ended)
                return Wait::PROGRAM_ENDED;
            if (deadline.passed())
                return Wait::TIMED_OUT;
            process_.pause(deadline);
        }
    }

    // The program gets Quit at its first wait after the picture, by itself. The animation,
    // when asked for, is written before that.
    Wait quit(const Deadline &deadline, ProgramEnd &end) override {
        const Wait waited = process_.wait_for_exit(deadline);
        if (waited != Wait::DONE)
            return waited;
        end = process_.end();
        read_report();
        if (!frames_path_.empty() && !said_.frames && end.note.empty())
            end.note = said_.frames_failed
                           ? "the program could not write the frames to " + frames_path_
                           : "the program wrote no frames (built on a ZEPHA without them?)";
        return waited;
    }

    void kill() override {
        process_.kill();
        close_report();
    }
    std::string ended_line() override { return process_.ended_line(); }
    std::string detail() const override { return detail_; }

    ~HeadlessHost() override { close_report(); }

  private:
    // A program that ended before its playback did: one that never started the headless
    // platform and ended as a program without it does cannot run headless at all.
    Wait ended_early() {
        const int status = process_.wait_status();
        if (!said_.started && WIFEXITED(status) && WEXITSTATUS(status) == NO_DISPLAY_STATUS) {
            detail_ = "the program cannot run headless: it ended with status 1 without starting "
                      "the headless platform (built on a ZEPHA without it?); replay it on an X "
                      "display";
            if (sandboxed_)
                detail_ += ", or bwrap could not make its sandbox";
            return Wait::FAILED;
        }
        return Wait::PROGRAM_ENDED;
    }

    // Takes the report's new lines; a line is whole once its newline has come.
    void read_report() {
        if (report_ < 0)
            report_ = open_written(report_path_);
        if (report_ < 0)
            return;
        char buffer[4096];
        ssize_t got;
        while ((got = read(report_, buffer, sizeof buffer)) > 0 && pending_.size() < MAX_REPORT)
            pending_.append(buffer, static_cast<size_t>(got));
        size_t newline;
        while ((newline = pending_.find('\n')) != std::string::npos) {
            take_line(pending_.substr(0, newline));
            pending_.erase(0, newline + 1);
        }
    }

    void take_line(const std::string &line) {
        const size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "started")
            said_.started = true;
        else if (word == "waiting")
            said_.waiting = true;
        else if (word == "playback-ended")
            said_.playback_ended = true;
        else if (word == "picture")
            said_.picture = true;
        else if (word == "picture-failed")
            said_.picture_failed = true;
        else if (word == "frames")
            said_.frames = true;
        else if (word == "frames-failed")
            said_.frames_failed = true;
        else if (word == "no-answer") {
            said_.no_answer = true;
            said_.prompt = rest;
        }
    }

    // The file as the program wrote it, checked through: its pixels are decoded only when
    // they are compared.
    bool read_picture(Picture &picture, std::string &error) const {
        const int file = open_written(picture_path_);
        if (file < 0) {
            error = strerror(errno);
            return false;
        }
        std::vector<uint8_t> bytes;
        uint8_t buffer[65536];
        ssize_t got;
        while ((got = read(file, buffer, sizeof buffer)) > 0 && bytes.size() < MAX_PICTURE)
            bytes.insert(bytes.end(), buffer, buffer + got);
        close(file);
        if (bytes.size() >= MAX_PICTURE) {
            error = "larger than any picture of the runtime's";
            return false;
        }
        return read_picture_file(bytes, picture, error);
    }

    void close_report() {
        if (report_ >= 0)
            close(report_);
        report_ = -1;
    }

    ProgramProcess process_;
    std::string report_path_, picture_path_, frames_path_;
    int report_ = -1;     // the report, open once it is there
    std::string pending_; // what has come of a line that is not yet whole
    Milestones said_;
    std::string detail_;
    bool sandboxed_ = false; // the program runs in a sandbox
};

} // namespace

// ---- Public functions ----

std::unique_ptr<ReplayHost> make_headless_host() {
    return std::make_unique<HeadlessHost>();
}
