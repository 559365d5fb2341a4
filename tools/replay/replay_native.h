// Shared by the parts of the native zepha_replay (X11): the exit statuses, deadlines, the
// program under replay and the picture of its graphics window.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <ctime>
#include <vector>

// ---- Constants ----

// Exit statuses of the tool's own outcomes; after a complete replay the tool exits with the
// program's own status instead. The same as the Windows tool's.
enum ReplayStatus {
    STATUS_USAGE = 2,              // wrong arguments
    STATUS_NOT_FOUND = 120,        // the program or the script cannot be found
    STATUS_NO_WINDOW = 121,        // no graphics window within the timeout
    STATUS_PLAYBACK_TIMEOUT = 122, // playback not ended within the timeout
    STATUS_PROGRAM_DIED = 123,     // the program ended before the picture was taken
    STATUS_FAILED = 124,           // anything else: folder, start, display, picture, PNG file
};

// How a wait for something in the program ended.
enum class Wait { DONE, TIMED_OUT, PROGRAM_ENDED };

// ---- State ----

// The signal that asked the tool to stop (SIGTERM, SIGINT, SIGHUP), or 0. Every deadline has
// passed once it is set, so the tool winds up at once: the program is ended, the folder removed.
extern volatile sig_atomic_t g_stop_signal;

// ---- Types ----

// Milliseconds on the monotonic clock.
inline double precise_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return 1000.0 * static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e6;
}

// A moment on the monotonic clock until which a wait may go on.
class Deadline {
  public:
    explicit Deadline(double milliseconds) : end_(precise_ms() + milliseconds) {}
    bool passed() const { return g_stop_signal != 0 || precise_ms() >= end_; }
    double remaining_ms() const {
        const double left = end_ - precise_ms();
        return g_stop_signal != 0 || left < 0 ? 0 : left;
    }

  private:
    double end_;
};

// One run of the program being replayed.
struct Program {
    pid_t pid = -1;           // the process started, leader of its own process group
    pid_t window_pid = -1;    // the process that shows the graphics window: pid or a descendant
    unsigned long window = 0; // its graphics window (an X window), once shown
    bool ended = false;       // whether pid has ended and been reaped
    int wait_status = 0;      // how it ended, as waitpid reports it
    double started_ms = 0;    // precise_ms() when it was started
};

// A picture of the client area: rows from the top, 3 bytes per pixel in red, green, blue order.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    bool operator==(const Picture &other) const {
        return width == other.width && height == other.height && rgb == other.rgb;
    }
};

// ---- Functions ----

// The program's process (replay_process.cpp)
bool start_program(const char *path, const char *folder, Program &program, int &error);
bool program_ended(Program &program); // reaps it when it has ended
bool is_descendant(pid_t pid, pid_t ancestor);
Wait wait_for_exit(Program &program, const Deadline &deadline);
void kill_program(Program &program);
// Playback, seen through the script file: its open by the program, then its close.
bool watch_script(const char *script_path);
Wait wait_for_playback_start(Program &program, const Deadline &deadline);
Wait wait_for_playback_end(Program &program, const char *script_path, const Deadline &deadline);

// The program's windows (replay_x11.cpp)
bool open_display();
bool find_graphics_window(Program &program); // sets program.window and program.window_pid
bool press_ctrl_key(const Program &program, char letter);
Wait take_picture(Program &program, const Deadline &deadline, Picture &picture);
