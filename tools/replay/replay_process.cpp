// The program under replay as a process: started in its working folder, watched until it ends,
// ended with its whole process group; and its playback seen through the script file, which the
// runtime opens at the first replayed event and closes when the playback ends.
//
// Linux only: the open of the script is seen with inotify, whether it is still open in
// /proc/PID/fd, the program's descendants in /proc/PID/stat, and PR_SET_PDEATHSIG ends the
// program with the tool. On macOS these would need kqueue, proc_pidinfo(PROC_PIDLISTFDS) and
// a pipe the program inherits; the rest of the tool is portable.
#include "replay_native.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

// ---- Constants ----

namespace {

constexpr double POLL_MS = 1;    // pause between two looks at a condition
constexpr int WAKE_MS = 50;      // longest sleep on the script's file events
constexpr int MAX_ANCESTRY = 64; // parents followed up from a process to its ancestor

// ---- State ----

int script_watch = -1; // inotify descriptor watching the script's opens and closes

// ---- Internal functions ----

void pause_ms(double milliseconds) {
    const timespec pause = {0, static_cast<long>(milliseconds * 1e6)};
    nanosleep(&pause, nullptr);
}

// The parent of a process, from the field after the command's closing parenthesis (the command
// itself may hold spaces and parentheses); -1 if it cannot be read.
pid_t parent_of(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE *file = fopen(path, "r");
    if (file == nullptr)
        return -1;
    char line[1024];
    const bool read = fgets(line, sizeof line, file) != nullptr;
    fclose(file);
    const char *end = read ? strrchr(line, ')') : nullptr;
    int parent = -1;
    char state = 0;
    if (end == nullptr || sscanf(end + 1, " %c %d", &state, &parent) != 2)
        return -1;
    return parent;
}

// Whether the process has the file open, by any of its descriptors.
bool has_file_open(pid_t pid, const struct stat &file) {
    char folder[64];
    snprintf(folder, sizeof folder, "/proc/%d/fd", static_cast<int>(pid));
    DIR *fds = opendir(folder);
    if (fds == nullptr)
        return false;
    bool open = false;
    while (const dirent *entry = readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat target;
        const std::string link = std::string(folder) + "/" + entry->d_name;
        if (stat(link.c_str(), &target) == 0 && target.st_dev == file.st_dev &&
            target.st_ino == file.st_ino) {
            open = true;
            break;
        }
    }
    closedir(fds);
    return open;
}

// Waits up to the time given for events on the script's watch; returns their mask, or 0.
uint32_t script_events(double wait_ms) {
    pollfd ready = {script_watch, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(wait_ms)) <= 0)
        return 0;
    alignas(inotify_event) char buffer[4096];
    const ssize_t length = read(script_watch, buffer, sizeof buffer);
    uint32_t mask = 0;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
        const inotify_event *event = reinterpret_cast<const inotify_event *>(buffer + at);
        mask |= event->mask;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return mask;
}

} // namespace

// ---- Public functions ----

// The child reports a failed exec through a pipe that closes unread when the exec succeeds.
bool start_program(const char *path, const char *folder, Program &program, int &error) {
    program = Program{};
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    const pid_t tool = getpid();
    const pid_t child = fork();
    if (child < 0) {
        error = errno;
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // A process group of its own, ended as a whole; and ended with the tool, however the
        // tool ends.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int failure = 0;
        if (getppid() != tool)
            _exit(127);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0)
            dup2(nothing, STDIN_FILENO);
        if (chdir(folder) == 0)
            execl(path, path, static_cast<char *>(nullptr));
        failure = errno;
        if (write(report[1], &failure, sizeof failure) < 0)
            _exit(127);
        _exit(127);
    }
    setpgid(child, child); // either side may come first
    program.pid = child;
    program.started_ms = precise_ms();
    close(report[1]);
    int failure = 0;
    ssize_t got;
    while ((got = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        kill_program(program);
        error = failure;
        return false;
    }
    return true;
}

bool program_ended(Program &program) {
    if (program.pid <= 0 || program.ended)
        return true;
    int status = 0;
    if (waitpid(program.pid, &status, WNOHANG) == program.pid) {
        program.ended = true;
        program.wait_status = status;
    }
    return program.ended;
}

bool is_descendant(pid_t pid, pid_t ancestor) {
    for (int step = 0; step < MAX_ANCESTRY && pid > 1; step++) {
        if (pid == ancestor)
            return true;
        pid = parent_of(pid);
    }
    return false;
}

Wait wait_for_exit(Program &program, const Deadline &deadline) {
    while (!program_ended(program)) {
        if (deadline.passed())
            return Wait::TIMED_OUT;
        pause_ms(POLL_MS);
    }
    return Wait::DONE;
}

void kill_program(Program &program) {
    if (program.pid <= 0)
        return;
    // The whole group: a program that is a wrapper takes the process it started with it.
    kill(-program.pid, SIGKILL);
    if (!program.ended) {
        kill(program.pid, SIGKILL);
        int status = 0;
        while (waitpid(program.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    program = Program{};
}

bool watch_script(const char *script_path) {
    if (script_watch >= 0)
        close(script_watch);
    script_watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    return script_watch >= 0 &&
           inotify_add_watch(script_watch, script_path, IN_OPEN | IN_CLOSE) >= 0;
}

// The program opens the script when it plays its first event, in the turn of its wait loop that
// took Ctrl+P; nothing else opens it. Once opened, the script stays open until the playback ends
// by itself (at the end of the file or at a line it cannot read): a close wakes the wait, the
// descriptors tell.
Wait wait_for_playback(Program &program, const char *script_path, const Deadline &deadline,
                       const std::function<Wait()> &look) {
    bool opened = false;
    struct stat script;
    for (;;) {
        const Wait looked = look();
        if (looked != Wait::DONE)
            return looked;
        if (opened && !has_file_open(program.window_pid, script))
            return program_ended(program) ? Wait::PROGRAM_ENDED : Wait::DONE;
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        const uint32_t events =
            script_events(WAKE_MS < deadline.remaining_ms() ? WAKE_MS : deadline.remaining_ms());
        if (!opened && (events & IN_OPEN)) {
            if (stat(script_path, &script) != 0)
                return Wait::TIMED_OUT;
            opened = true;
        }
    }
}
