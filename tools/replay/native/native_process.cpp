#include "tools/replay/native/native_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern char **environ;

// ---- Constants ----

namespace {

// The pauses between two looks at the program: the first, and the longest the series grows to.
// Short pauses see a program's end soon after its pipe hangs up; long ones cost little while
// the pipe is there to wake the wait.
constexpr double FIRST_PAUSE_MS = 0.05;
constexpr double LONGEST_PAUSE_MS = 4;

// ---- Internal functions ----

bool has_name(const std::vector<std::string> &names, const char *entry) {
    for (const std::string &name : names)
        if (strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=')
            return true;
    return false;
}

bool pipe_closed_on_exec(int ends[2]) {
    if (pipe(ends) != 0)
        return false;
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return true;
}

} // namespace

// ---- Public functions ----

void pause_ms(double milliseconds) {
    const long nanoseconds = static_cast<long>(milliseconds * 1e6);
    const timespec pause = {static_cast<time_t>(nanoseconds / 1000000000L),
                            nanoseconds % 1000000000L};
    nanosleep(&pause, nullptr);
}

// A replay makes and removes a handful of files. On a disk's file system a file made just after
// others were removed costs much more than in memory (measured with ext4: a fifth of a short
// headless replay, the working folder in /tmp against /dev/shm), so where every Linux system has
// a file system in memory, the working folders go there.
std::string work_folders_folder() {
    const char *temp = getenv("TMPDIR");
    if (temp != nullptr && temp[0] != '\0')
        return temp;
#if defined(__linux__)
    struct statfs system;
    struct stat folder;
    if (statfs("/dev/shm", &system) == 0 && system.f_type == TMPFS_MAGIC &&
        stat("/dev/shm", &folder) == 0 && S_ISDIR(folder.st_mode) &&
        (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0 &&
        access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
#endif
    return "/tmp";
}

// The child reports a failed exec through a pipe that closes unread when the exec succeeds.
Started ProgramProcess::start(const std::string &path, const std::string &folder,
                              const std::vector<std::string> &set,
                              const std::vector<std::string> &unset, bool silent,
                              const SandboxLimits *sandbox) {
    kill();
    failure_.clear();
    sandboxed_ = sandbox != nullptr;
    if (sandboxed_) {
        const Started prepared = sandbox_.prepare(path, folder, *sandbox, failure_);
        if (prepared != Started::YES)
            return prepared;
    }
    // Made before the fork: the child only calls what is safe between fork and exec.
    std::vector<std::string> replaced = unset;
    for (const std::string &entry : set)
        replaced.push_back(entry.substr(0, entry.find('=')));
    std::vector<std::string> entries;
    for (char **entry = environ; *entry != nullptr; entry++)
        if (!has_name(replaced, *entry))
            entries.push_back(*entry);
    entries.insert(entries.end(), set.begin(), set.end());
    std::vector<char *> envp;
    for (std::string &entry : entries)
        envp.push_back(&entry[0]);
    envp.push_back(nullptr);
    std::string program = path;
    char *argv[] = {&program[0], nullptr};

    int report[2], alive[2];
    if (!pipe_closed_on_exec(report)) {
        failure_ = "cannot start " + path + " (" + strerror(errno) + ")";
        return Started::NOT_NOW;
    }
    if (!pipe_closed_on_exec(alive)) {
        failure_ = "cannot start " + path + " (" + strerror(errno) + ")";
        close(report[0]);
        close(report[1]);
        return Started::NOT_NOW;
    }
    const pid_t tool = getpid();
    const pid_t child = fork();
    if (child < 0) {
        failure_ = "cannot start " + path + " (" + strerror(errno) + ")";
        for (int end : {report[0], report[1], alive[0], alive[1]})
            close(end);
        return Started::NOT_NOW;
    }
    if (child == 0) {
        // A process group of its own, ended as a whole; on Linux ended with the tool, however
        // the tool ends.
        setpgid(0, 0);
#if defined(__linux__)
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != tool)
            _exit(127);
#endif
        const int nothing = open("/dev/null", O_RDWR);
        if (nothing >= 0) {
            dup2(nothing, STDIN_FILENO);
            if (silent) {
                dup2(nothing, STDOUT_FILENO);
                dup2(nothing, STDERR_FILENO);
            }
        }
        // The pipe's write end goes on to the program (and through bwrap to the program in its
        // sandbox); the read end closes on exec.
        fcntl(alive[1], F_SETFD, 0);
        int failure = 0;
        if (chdir(folder.c_str()) == 0) {
            if (sandboxed_)
                sandbox_.enter(envp.data());
            else
                execve(argv[0], argv, envp.data());
        }
        failure = errno;
        if (write(report[1], &failure, sizeof failure) < 0)
            _exit(127);
        _exit(127);
    }
    (void)tool;
    setpgid(child, child); // either side may come first
    pid_ = child;
    ended_ = false;
    started_ms_ = precise_ms();
    close(alive[1]);
    alive_ = alive[0];
    pause_ms_ = FIRST_PAUSE_MS;
    close(report[1]);
    int failure = 0;
    ssize_t got;
    while ((got = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        kill();
        failure_ = "cannot start " + path + " (" + strerror(failure) + ")";
        // A file that is no program fails every attempt.
        return failure == ENOEXEC || failure == EACCES ? Started::NEVER : Started::NOT_NOW;
    }
    return Started::YES;
}

bool ProgramProcess::ended() {
    if (pid_ <= 0 || ended_)
        return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        wait_status_ = status;
    }
    return ended_;
}

void ProgramProcess::pause(const Deadline &deadline) {
    const double pause = std::min(pause_ms_, deadline.remaining_ms());
    pause_ms_ = std::min(pause_ms_ * 2, LONGEST_PAUSE_MS);
    if (alive_ < 0) {
        pause_ms(pause);
        return;
    }
    // poll() counts whole milliseconds: while the pipe is there, the shortest pause is one.
    pollfd end = {alive_, POLLIN, 0};
    if (poll(&end, 1, static_cast<int>(std::ceil(pause))) > 0) {
        // Hung up, or written to by a program that found the pipe: either way it has told
        // what it can, and it would wake every later poll at once. The end is near: look often.
        close(alive_);
        alive_ = -1;
        pause_ms_ = FIRST_PAUSE_MS;
    }
}

Wait ProgramProcess::wait_for_exit(const Deadline &deadline) {
    while (!ended()) {
        if (deadline.passed())
            return Wait::TIMED_OUT;
        pause(deadline);
    }
    return Wait::DONE;
}

void ProgramProcess::kill() {
    if (alive_ >= 0)
        close(alive_);
    alive_ = -1;
    if (pid_ <= 0)
        return;
    // The whole group: a program that is a wrapper takes the process it started with it.
    ::kill(-pid_, SIGKILL);
    if (!ended_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    ended_ = false;
    wait_status_ = 0;
}

int ProgramProcess::end_signal() const {
    if (WIFSIGNALED(wait_status_))
        return WTERMSIG(wait_status_);
    const int code = WEXITSTATUS(wait_status_);
    return sandboxed_ && code > 128 && code < 128 + NSIG ? code - 128 : 0;
}

std::string ProgramProcess::ended_line() const {
    char line[256];
    if (const int signal = end_signal()) {
        snprintf(line, sizeof line,
                 "the program ended by itself, by signal %d (%s), before the picture was taken",
                 signal, strsignal(signal));
    } else {
        const unsigned code = static_cast<unsigned>(WEXITSTATUS(wait_status_));
        snprintf(line, sizeof line,
                 "the program ended by itself, with status %u (0x%08X), before the picture was "
                 "taken",
                 code, code);
    }
    return line;
}

ProgramEnd ProgramProcess::end() const {
    ProgramEnd end;
    if (const int signal = end_signal()) {
        char line[256];
        snprintf(line, sizeof line, "the program ended by signal %d (%s) after the Quit command",
                 signal, strsignal(signal));
        end.note = line;
        end.status = 128 + signal;
    } else {
        end.status = WEXITSTATUS(wait_status_);
    }
    return end;
}
