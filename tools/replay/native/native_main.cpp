// zepha_replay, native: plays a script into a program built on the ZEPHA runtime and saves its
// picture as a PNG file, compared with an expected picture if one is given; or runs a list of
// such replays side by side and writes results.csv.
//
// The replay itself is the core's (tools/replay/core/replay_session.cpp), as on Windows. This
// file is the POSIX system under it (files, lines, a batch's workers) and the choice of host:
// the headless platform where there is no display or --headless asks for it, else the X server.
// Nothing here is Linux's own, so the tool builds on macOS too, with the headless host alone.
#include "tools/replay/core/replay_options.h"
#include "tools/replay/core/replay_session.h"
#include "tools/replay/core/replay_status.h"
#include "tools/replay/native/native_hosts.h"
#include "tools/replay/native/native_process.h"
#include "tools/replay/native/sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// ---- Constants ----

namespace {

const char TOOL_NAME[] = "zepha_replay";
// A batch's worker that outlives its own timeout by this much is ended by the batch.
constexpr double WORKER_GRACE_MS = 30000;
// The pauses between two looks at the workers once one's pipe has hung up, when it is about to
// be reaped: the first, and the longest the series grows to. Also the pause while a worker has
// no pipe.
constexpr double FIRST_PAUSE_MS = 0.05;
constexpr double LONGEST_PAUSE_MS = 4;

// ---- Types ----

// The one-replay entry a batch's worker runs, in a copy of the tool made by fork.
using WorkerEntry = int (*)(const std::vector<std::string> &arguments);

class PosixSystem : public ReplaySystem {
  public:
    explicit PosixSystem(WorkerEntry worker_entry) : worker_entry_(worker_entry) {}

    ScriptTextMode script_text_mode() const override { return ScriptTextMode::BYTES; }

    std::string existing_file(const std::string &path) override {
        char full[PATH_MAX];
        struct stat info;
        if (realpath(path.c_str(), full) == nullptr || stat(full, &info) != 0 ||
            S_ISDIR(info.st_mode))
            return std::string();
        return full;
    }

    // The full path the file will have: its folder must exist.
    std::string output_path(const std::string &path) override {
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        char full[PATH_MAX];
        if (path.empty() || path.back() == '/' || realpath(folder.c_str(), full) == nullptr)
            return std::string();
        return std::string(full) + "/" +
               (slash == std::string::npos ? path : path.substr(slash + 1));
    }

    bool read_file(const std::string &path, std::string &bytes) override {
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

    bool write_file(const std::string &path, const std::string &bytes) override {
        const std::string temporary = path + ".part";
        FILE *file = fopen(temporary.c_str(), "wb");
        if (file == nullptr)
            return false;
        const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (fclose(file) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
            const int error = errno;
            remove(temporary.c_str());
            errno = error;
            return false;
        }
        return true;
    }

    void remove_file(const std::string &path) override { remove(path.c_str()); }

    std::string make_work_folder() override {
        const std::string base = work_folders_folder();
        for (unsigned n = 0; n < 1000; n++) {
            const std::string name = base + "/zepha-replay-" +
                                     std::to_string(static_cast<long>(getpid())) + "-" +
                                     std::to_string(n);
            if (mkdir(name.c_str(), 0700) == 0)
                return name;
            if (errno != EEXIST)
                return std::string();
        }
        return std::string();
    }

    void remove_folder(const std::string &folder) override {
        if (DIR *entries = opendir(folder.c_str())) {
            while (const dirent *entry = readdir(entries)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + "/" + name;
                struct stat info;
                if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                    remove_folder(path);
                else
                    unlink(path.c_str());
            }
            closedir(entries);
        }
        rmdir(folder.c_str());
    }

    std::string make_folder(const std::string &path) override {
        char full[PATH_MAX];
        if ((mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) ||
            realpath(path.c_str(), full) == nullptr)
            return std::string();
        return full;
    }

    std::string folder_of(const std::string &path) override {
        return path.substr(0, path.find_last_of('/'));
    }

    std::string join(const std::string &folder, const std::string &path) override {
        return !path.empty() && path[0] == '/' ? path : folder + "/" + path;
    }

    std::string last_error() override { return strerror(errno); }

    // A tool asked to stop says nothing of the waits it cut short.
    void report(const std::string &line) override {
        if (g_replay_stop != 0)
            return;
        fprintf(stderr, "%s: %s\n", TOOL_NAME, line.c_str());
        fflush(stderr);
    }

    void print(const std::string &line) override {
        printf("%s\n", line.c_str());
        fflush(stdout);
    }

    unsigned processors() override {
        const long count = sysconf(_SC_NPROCESSORS_ONLN);
        return count > 0 ? static_cast<unsigned>(count) : 1;
    }

    double worker_grace_ms() override { return WORKER_GRACE_MS; }

    // A copy of the tool, made by fork, that runs the one replay and ends; it stops with the
    // batch (on Linux however the batch ends, elsewhere when the batch is stopped by a signal).
    // It holds the write end of a pipe of its own, which hangs up when it ends and wakes the
    // batch's wait; its program does not inherit it.
    WorkerId start_worker(const std::vector<std::string> &arguments) override {
        fflush(stdout);
        fflush(stderr);
        int ends[2];
        const bool piped = pipe(ends) == 0;
        if (piped) {
            fcntl(ends[0], F_SETFD, FD_CLOEXEC);
            fcntl(ends[1], F_SETFD, FD_CLOEXEC);
        }
        const pid_t batch = getpid();
        const pid_t child = fork();
        if (child != 0) {
            if (piped) {
                close(ends[1]);
                if (child > 0)
                    ends_[child] = ends[0];
                else
                    close(ends[0]);
            }
            return child;
        }
        if (piped)
            close(ends[0]);
#if defined(__linux__)
        prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
        if (getppid() != batch)
            _exit(STATUS_FAILED);
        const int status = worker_entry_(arguments);
        fflush(stdout);
        fflush(stderr);
        // A worker that a signal stopped ends by the same signal.
        if (g_replay_stop != 0) {
            signal(g_replay_stop, SIG_DFL);
            raise(g_replay_stop);
        }
        _exit(status);
    }

    // The batch's only children are its workers: whichever ends is reaped and kept. The wait
    // sleeps until a worker's pipe hangs up; the worker is reaped a moment later.
    void wait_for_workers(const std::vector<WorkerId> &workers, double ms) override {
        const Deadline deadline(ms);
        double pause = 0; // after a hang-up, the next pause before the worker can be reaped
        for (;;) {
            int status = 0;
            const pid_t pid = waitpid(-1, &status, WNOHANG);
            if (pid > 0) {
                ended_[pid] = status;
                return;
            }
            if (pid < 0 || deadline.passed())
                return;
            if (pause > 0) {
                pause_ms(std::min(pause, deadline.remaining_ms()));
                pause = std::min(pause * 2, LONGEST_PAUSE_MS);
                continue;
            }
            std::vector<pollfd> pipes;
            for (WorkerId worker : workers) {
                const auto end = ends_.find(worker);
                if (end != ends_.end())
                    pipes.push_back({end->second, POLLIN, 0});
            }
            const double longest =
                pipes.size() == workers.size() ? deadline.remaining_ms() : FIRST_PAUSE_MS;
            if (poll(pipes.data(), pipes.size(), static_cast<int>(std::ceil(longest))) <= 0)
                continue;
            for (const pollfd &end : pipes)
                if (end.revents != 0)
                    forget_pipe(end.fd);
            pause = FIRST_PAUSE_MS;
        }
    }

    bool worker_ended(WorkerId worker, int &status) override {
        int raw = 0;
        const auto kept = ended_.find(worker);
        if (kept != ended_.end()) {
            raw = kept->second;
            ended_.erase(kept);
        } else if (waitpid(static_cast<pid_t>(worker), &raw, WNOHANG) != worker) {
            return false;
        }
        close_pipe(worker);
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : STATUS_FAILED;
        return true;
    }

    // A worker that is stopped ends its program as it stops; one that ran too long is killed.
    int end_worker(WorkerId worker) override {
        const pid_t pid = static_cast<pid_t>(worker);
        kill(pid, g_replay_stop != 0 ? SIGTERM : SIGKILL);
        int raw = 0;
        while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        close_pipe(worker);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : STATUS_FAILED;
    }

  private:
    void close_pipe(WorkerId worker) {
        const auto end = ends_.find(worker);
        if (end != ends_.end()) {
            close(end->second);
            ends_.erase(end);
        }
    }

    // A pipe that has hung up (or was written to) wakes every later poll at once: closed.
    void forget_pipe(int fd) {
        for (const auto &[worker, end] : ends_)
            if (end == fd) {
                close_pipe(worker);
                return;
            }
    }

    WorkerEntry worker_entry_;
    std::map<WorkerId, int> ended_; // workers reaped while waiting, with their wait status
    std::map<WorkerId, int> ends_;  // the read end of each running worker's pipe
};

// ---- Internal functions ----

void on_stop_signal(int signal) {
    g_replay_stop = signal;
}

int usage_error(const std::string &error) {
    fprintf(stderr, "error: %s\n\n", error.c_str());
    fputs(REPLAY_USAGE, stderr);
    return STATUS_USAGE;
}

#if defined(ZEPHA_REPLAY_X11)
bool display_set() {
    const char *display = getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}
#endif

int run(const std::vector<std::string> &args);

int run_worker(const std::vector<std::string> &arguments) {
    return run(arguments);
}

// The tool with its arguments (those after its name).
int run(const std::vector<std::string> &args) {
    ReplayOptions options;
    std::string error;
    if (!parse_replay_arguments(args, options, error))
        return usage_error(error);
    if (options.mode == ReplayOptions::Mode::HELP) {
        fputs(REPLAY_USAGE, stdout);
        return 0;
    }
    // The sandbox is for headless replays, asked for as such: a program on the X server could
    // reach the display's other windows. A sandbox that cannot be made stops the tool before
    // any program starts; a batch's workers, copies of the tool, know the answer already.
    PosixSystem system(run_worker);
    if (options.sandbox && !options.headless) {
        system.report("--sandbox is for headless replays: add --headless");
        return STATUS_SANDBOX_NOT_HEADLESS;
    }
    if (options.sandbox) {
        const std::string missing = Sandbox::check();
        if (!missing.empty()) {
            system.report(missing);
            return STATUS_NO_SANDBOX;
        }
    }
#if defined(ZEPHA_REPLAY_X11)
    // Headless where there is no display to replay on; a batch's workers are told.
    options.headless = options.headless || !display_set();
#else
    options.headless = true;
#endif
    if (!options.frames.empty() && !options.headless)
        return usage_error("--frames is for headless replays (--headless, or no DISPLAY)");
    if (options.mode == ReplayOptions::Mode::BATCH)
        return run_batch(system, options);
#if defined(ZEPHA_REPLAY_X11)
    const std::unique_ptr<ReplayHost> host =
        options.headless ? make_headless_host() : make_x11_host();
#else
    const std::unique_ptr<ReplayHost> host = make_headless_host();
#endif
    return run_one_replay(system, *host, options);
}

} // namespace

// ---- Entry ----

int main(int argc, char **argv) {
    // Stopped from outside, the tool still ends the program and removes the folder (a batch,
    // its workers), and then ends by the same signal.
    struct sigaction stop = {};
    stop.sa_handler = on_stop_signal;
    sigemptyset(&stop.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &stop, nullptr);
    // The arguments are taken as UTF-8, as file names and terminals give them.
    const int status = run(std::vector<std::string>(argv + 1, argv + argc));
    if (g_replay_stop != 0) {
        signal(g_replay_stop, SIG_DFL);
        raise(g_replay_stop);
    }
    return status;
}
