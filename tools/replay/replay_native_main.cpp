// zepha_replay, native (X11): plays a script into a program built on the ZEPHA runtime and saves
// what its graphics window shows at the end as a PNG file.
//
//   zepha_replay PROGRAM SCRIPT OUT.png [--timeout SECONDS]
//
// The same tool as on Windows, with the same arguments, messages and exit statuses: the program
// runs in a new working folder holding a copy of the script as ZEPHA.SCR; playback is started
// as Ctrl+P starts it; once it has ended, the graphics window's client area is saved, the
// program is ended as the Quit command ends it, and the folder is removed.
#include "replay_native.h"
#include "zlib_png.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
constexpr unsigned long DEFAULT_TIMEOUT_S = 60;
constexpr unsigned long MAX_TIMEOUT_S = 86400;
// The runtime starts its 100 ms timer just before its graphics window reaches the screen.
// Ctrl+P sent within this many milliseconds of the last look that did not find the window
// reaches the program before the first tick is due, and the program takes waiting input before
// a tick, so it gets the scripted events and nothing else.
constexpr double START_MARGIN_MS = 90;
constexpr int START_ATTEMPTS = 3;
constexpr double POLL_MS = 1; // pause between two looks for the window
// After a playback that did not end, the time left for the picture and for the Quit command.
constexpr double AFTER_TIMEOUT_MS = 5000;

const char USAGE[] =
    "usage: zepha_replay PROGRAM SCRIPT OUT.png [--timeout SECONDS]\n"
    "\n"
    "Plays SCRIPT into PROGRAM, a program built on the ZEPHA runtime, and saves the client\n"
    "area of its graphics window as OUT.png. The program runs in a new working folder that\n"
    "holds a copy of SCRIPT as ZEPHA.SCR; playback starts as Ctrl+P starts it; when it has\n"
    "ended, the picture is taken, the program is ended as Run > Quit ends it, and the folder\n"
    "is removed.\n"
    "\n"
    "  --timeout SECONDS  how long to wait for the graphics window, and then for the end of\n"
    "                     playback (default 60)\n"
    "\n"
    "Exit status: the program's own after a complete replay (0 for a normal end), or\n"
    "  2    wrong arguments\n"
    "  120  PROGRAM or SCRIPT cannot be found\n"
    "  121  no graphics window within the timeout; the program is ended; no PNG\n"
    "  122  playback not ended within the timeout; the program is ended; OUT.png holds\n"
    "       the client area as it was then (the events played so far)\n"
    "  123  the program ended by itself before the picture was taken; no PNG\n"
    "  124  any other failure (working folder, start, picture, PNG file); no PNG\n";

} // namespace

// ---- State ----

volatile sig_atomic_t g_stop_signal = 0;

// ---- Types ----

namespace {

struct Arguments {
    const char *program = nullptr;
    const char *script = nullptr;
    const char *out = nullptr;
    unsigned long timeout_s = DEFAULT_TIMEOUT_S;
};

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

// One line on standard error, after the tool's name. A tool asked to stop says nothing of the
// waits it cut short.
REPLAY_PRINTF(1, 2) void report(const char *format, ...) {
    if (g_stop_signal != 0)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    fprintf(stderr, "%s: %s\n", TOOL_NAME, line);
    fflush(stderr);
}

bool parse_arguments(int argc, char **argv, Arguments &arguments) {
    const char **positional[] = {&arguments.program, &arguments.script, &arguments.out};
    size_t count = 0;
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i];
        if (argument == "--timeout") {
            if (++i == argc)
                return false;
            char *end = nullptr;
            const unsigned long seconds = strtoul(argv[i], &end, 10);
            if (end == argv[i] || *end != '\0' || seconds == 0 || seconds > MAX_TIMEOUT_S)
                return false;
            arguments.timeout_s = seconds;
        } else if (count < 3 && !(argument.size() > 1 && argument[0] == '-')) {
            *positional[count++] = argv[i];
        } else {
            return false;
        }
    }
    return count == 3;
}

// The full path of an existing file, or an empty string.
std::string existing_file(const char *path) {
    char full[PATH_MAX];
    struct stat info;
    if (realpath(path, full) == nullptr || stat(full, &info) != 0 || S_ISDIR(info.st_mode))
        return std::string();
    return full;
}

bool copy_file(const std::string &from, const std::string &to) {
    FILE *in = fopen(from.c_str(), "rb");
    if (in == nullptr)
        return false;
    FILE *out = fopen(to.c_str(), "wb");
    bool copied = out != nullptr;
    char buffer[65536];
    size_t length;
    while (copied && (length = fread(buffer, 1, sizeof buffer, in)) > 0)
        copied = fwrite(buffer, 1, length, out) == length;
    copied = copied && !ferror(in);
    fclose(in);
    if (out != nullptr && fclose(out) != 0)
        copied = false;
    return copied;
}

int report_died(const Program &program) {
    const int status = program.wait_status;
    if (WIFSIGNALED(status)) {
        report("the program ended by itself, by signal %d (%s), before the picture was taken",
               WTERMSIG(status), strsignal(WTERMSIG(status)));
    } else {
        const unsigned code = static_cast<unsigned>(WEXITSTATUS(status));
        report("the program ended by itself, with status %u (0x%08X), before the picture was "
               "taken",
               code, code);
    }
    return STATUS_PROGRAM_DIED;
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
int start_playback(const std::string &program_path, const WorkFolder &folder, double timeout_ms,
                   Program &program) {
    for (int attempt = 1;; attempt++) {
        // A fresh watch for each run: a run ended for starting late may have opened the script.
        if (!watch_script(folder.script().c_str())) {
            report("cannot watch %s (%s)", folder.script().c_str(), strerror(errno));
            return STATUS_FAILED;
        }
        int error = 0;
        if (!start_program(program_path.c_str(), folder.path().c_str(), program, error)) {
            // A file that is no program fails every attempt; fork can fail for a moment.
            if (attempt < START_ATTEMPTS && error != ENOEXEC && error != EACCES)
                continue;
            report("cannot start %s (%s)", program_path.c_str(), strerror(error));
            return STATUS_FAILED;
        }
        double late_ms = 0;
        switch (start_playback_at_window(program, Deadline(timeout_ms), late_ms)) {
        case Wait::DONE: break;
        case Wait::PROGRAM_ENDED: return report_died(program);
        case Wait::TIMED_OUT:
            report("no graphics window within %lu s; the program is ended",
                   static_cast<unsigned long>(timeout_ms / 1000));
            return STATUS_NO_WINDOW;
        }
        if (late_ms <= START_MARGIN_MS)
            return 0;
        // Too late to be sure that no timer tick came first: start the program afresh.
        kill_program(program);
        if (attempt == START_ATTEMPTS) {
            report("could not start playback within %.0f ms of the graphics window's appearance "
                   "in %d attempts",
                   START_MARGIN_MS, START_ATTEMPTS);
            return STATUS_FAILED;
        }
    }
}

// The Quit command as Ctrl+Q gives it, then the program's end.
Wait end_program(Program &program, const Deadline &deadline) {
    press_ctrl_key(program, 'Q');
    return wait_for_exit(program, deadline);
}

int replay(const std::string &program_path, const WorkFolder &folder, const char *out,
           unsigned long timeout_s) {
    const double timeout_ms = static_cast<double>(timeout_s) * 1000;
    const std::string script_path = folder.script();
    Program program;
    const int started = start_playback(program_path, folder, timeout_ms, program);
    if (started != 0) {
        kill_program(program);
        return started;
    }

    const Deadline playback(timeout_ms);
    Wait ended = wait_for_playback_start(program, playback);
    if (ended == Wait::DONE)
        ended = wait_for_playback_end(program, script_path.c_str(), playback);
    if (ended == Wait::PROGRAM_ENDED) {
        const int status = report_died(program);
        kill_program(program);
        return status;
    }
    const bool timed_out = ended == Wait::TIMED_OUT;

    Picture picture;
    const Wait pictured =
        take_picture(program, Deadline(timed_out ? AFTER_TIMEOUT_MS : timeout_ms), picture);
    if (pictured == Wait::PROGRAM_ENDED) {
        const int status = report_died(program);
        kill_program(program);
        return status;
    }
    const bool saved = pictured == Wait::DONE &&
                       write_png_file(out, picture.width, picture.height, picture.rgb.data());

    const Wait quit = end_program(program, Deadline(timed_out ? AFTER_TIMEOUT_MS : timeout_ms));
    const int exit_status = program.wait_status;
    kill_program(program);
    if (timed_out) {
        report("playback did not end within %lu s; the program is ended; %s", timeout_s,
               saved ? "the PNG holds the picture at that moment" : "no picture could be taken");
        return STATUS_PLAYBACK_TIMEOUT;
    }
    if (pictured != Wait::DONE) {
        report("cannot take the picture of the graphics window (covered, or off the screen)");
        return STATUS_FAILED;
    }
    if (!saved) {
        report("cannot write %s", out);
        return STATUS_FAILED;
    }
    if (quit != Wait::DONE) {
        report("the program did not end within %lu s of the Quit command; it is ended", timeout_s);
        return STATUS_FAILED;
    }
    // A program that a signal ended while it quit gets the status a shell would give it.
    if (WIFSIGNALED(exit_status)) {
        report("the program ended by signal %d (%s) after the Quit command", WTERMSIG(exit_status),
               strsignal(WTERMSIG(exit_status)));
        return 128 + WTERMSIG(exit_status);
    }
    return WEXITSTATUS(exit_status);
}

void on_stop_signal(int signal) {
    g_stop_signal = signal;
}

} // namespace

// ---- Entry ----

int main(int argc, char **argv) {
    Arguments arguments;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (!parse_arguments(argc, argv, arguments)) {
        fputs(USAGE, stderr);
        return STATUS_USAGE;
    }
    const std::string program_path = existing_file(arguments.program);
    if (program_path.empty()) {
        report("cannot find the program %s", arguments.program);
        return STATUS_NOT_FOUND;
    }
    const std::string script_path = existing_file(arguments.script);
    if (script_path.empty()) {
        report("cannot find the script %s", arguments.script);
        return STATUS_NOT_FOUND;
    }
    if (!open_display()) {
        report("cannot open the X display %s", getenv("DISPLAY") ? getenv("DISPLAY") : "(unset)");
        return STATUS_FAILED;
    }
    // Stopped from outside, the tool still ends the program and removes the folder, and then
    // ends by the same signal.
    struct sigaction stop = {};
    stop.sa_handler = on_stop_signal;
    sigemptyset(&stop.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &stop, nullptr);
    int status = STATUS_FAILED;
    {
        WorkFolder folder;
        if (!folder.create()) {
            report("cannot create a working folder (%s)", strerror(errno));
            return STATUS_FAILED;
        }
        if (!copy_file(script_path, folder.script())) {
            report("cannot copy %s into the working folder (%s)", script_path.c_str(),
                   strerror(errno));
            return STATUS_FAILED;
        }
        status = replay(program_path, folder, arguments.out, arguments.timeout_s);
    }
    if (g_stop_signal != 0) {
        signal(g_stop_signal, SIG_DFL);
        raise(g_stop_signal);
    }
    return status;
}
