// zepha_replay: plays a script into a program built on the ZEPHA runtime and saves what its
// graphics window shows at the end as a PNG file.
//
//   zepha_replay PROGRAM.exe SCRIPT OUT.png [--timeout SECONDS]
//
// The program runs in a new working folder holding a copy of the script as ZEPHA.SCR. Playback
// is started as Ctrl+P starts it; once it has ended, the graphics window's client area is saved,
// the program is ended as the Quit command ends it, and the folder is removed.
#include "replay.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

// Lets the compiler check the arguments of a printf-style function.
#if defined(__GNUC__)
#define REPLAY_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define REPLAY_PRINTF(fmt, args)
#endif

// ---- Constants ----

namespace {

const char TOOL_NAME[] = "zepha_replay";
const char SCRIPT_FILE_NAME[] = "ZEPHA.SCR";
constexpr DWORD DEFAULT_TIMEOUT_S = 60;
constexpr DWORD MAX_TIMEOUT_S = 86400;
// The runtime starts its 100 ms timer just after it shows the graphics window. Ctrl+P queued
// within this many milliseconds of the last look that did not find the window shown is handled
// before the first tick can make a live periodic event (sent messages come before timer
// messages), so the program gets the scripted events and nothing else.
constexpr double START_MARGIN_MS = 90;
constexpr int START_ATTEMPTS = 3;
// After a playback that did not end, the time left for the picture and for the Quit command.
constexpr DWORD AFTER_TIMEOUT_MS = 5000;

const char USAGE[] =
    "usage: zepha_replay PROGRAM.exe SCRIPT OUT.png [--timeout SECONDS]\n"
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

// ---- Types ----

struct Arguments {
    const char *program = nullptr;
    const char *script = nullptr;
    const char *out = nullptr;
    DWORD timeout_s = DEFAULT_TIMEOUT_S;
};

// The program's new working folder, removed with everything in it when the replay is over.
class WorkFolder {
  public:
    bool create() {
        char temp[MAX_PATH];
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length == 0 || length >= sizeof temp)
            return false;
        for (unsigned n = 0; n < 1000; n++) {
            char name[MAX_PATH];
            snprintf(name, sizeof name, "%szepha-replay-%lu-%u", temp, GetCurrentProcessId(), n);
            if (CreateDirectoryA(name, nullptr)) {
                path_ = name;
                return true;
            }
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
        return false;
    }
    ~WorkFolder() {
        if (!path_.empty())
            remove_tree(path_);
    }
    const std::string &path() const { return path_; }

  private:
    static void remove_tree(const std::string &folder) {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + "\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    remove_tree(path);
                } else {
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(path.c_str());
                }
            } while (FindNextFileA(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryA(folder.c_str());
    }
    std::string path_;
};

// ---- Internal functions ----

// One line on standard error, after the tool's name.
REPLAY_PRINTF(1, 2) void report(const char *format, ...) {
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
            arguments.timeout_s = static_cast<DWORD>(seconds);
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
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return std::string();
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::string();
    return full;
}

int report_died(const Program &program) {
    DWORD status = 0;
    GetExitCodeProcess(program.process.hProcess, &status);
    report("the program ended by itself, with status %lu (0x%08lX), before the picture was taken",
           status, status);
    return STATUS_PROGRAM_DIED;
}

// Starts the program and Ctrl+P, in up to START_ATTEMPTS fresh runs. Returns 0 with playback
// started, or the status to exit with.
int start_playback(const std::string &program_path, const WorkFolder &folder, DWORD timeout_ms,
                   Program &program) {
    for (int attempt = 1;; attempt++) {
        if (!start_program(program_path.c_str(), folder.path().c_str(), program)) {
            // A start can fail for a reason of the moment (under Wine, now and then, in the new
            // process's loader); a file that is no program fails every attempt.
            const DWORD error = GetLastError();
            if (attempt < START_ATTEMPTS)
                continue;
            report("cannot start %s (error %lu)", program_path.c_str(), error);
            return STATUS_FAILED;
        }
        double late_ms = 0;
        switch (start_playback_at_window(program, Deadline(timeout_ms), late_ms)) {
        case Wait::DONE: break;
        case Wait::PROGRAM_ENDED: return report_died(program);
        case Wait::TIMED_OUT:
            report("no graphics window within %lu s; the program is ended", timeout_ms / 1000);
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

int replay(const std::string &program_path, const WorkFolder &folder, const char *out,
           DWORD timeout_s) {
    const DWORD timeout_ms = timeout_s * 1000;
    Program program;
    const int started = start_playback(program_path, folder, timeout_ms, program);
    if (started != 0) {
        kill_program(program);
        return started;
    }

    const std::string script_path = folder.path() + "\\" + SCRIPT_FILE_NAME;
    const Deadline playback(timeout_ms);
    Wait ended = wait_until_handled(program, playback);
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
    const bool saved = pictured == Wait::DONE && write_png(out, picture);

    DWORD exit_status = 0;
    const Wait quit =
        end_program(program, Deadline(timed_out ? AFTER_TIMEOUT_MS : timeout_ms), exit_status);
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
    return static_cast<int>(exit_status);
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
    WorkFolder folder;
    if (!folder.create()) {
        report("cannot create a working folder (error %lu)", GetLastError());
        return STATUS_FAILED;
    }
    const std::string script_copy = folder.path() + "\\" + SCRIPT_FILE_NAME;
    if (!CopyFileA(script_path.c_str(), script_copy.c_str(), FALSE)) {
        report("cannot copy %s into the working folder (error %lu)", script_path.c_str(),
               GetLastError());
        return STATUS_FAILED;
    }
    return replay(program_path, folder, arguments.out, arguments.timeout_s);
}
