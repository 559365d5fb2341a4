// Shared by the parts of the native zepha_replay (X11): deadlines, the program under replay and
// its windows. The statuses, the pictures and the arguments are the core's (tools/replay/core).
#pragma once

#include "tools/replay/core/png_codec.h"

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

// ---- Constants ----

// How a wait for something in the program ended. NO_ANSWER: a text-entry dialog opened with no
// answer left for it.
enum class Wait { DONE, TIMED_OUT, PROGRAM_ENDED, NO_ANSWER };

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
    // The same deadline brought forward by the given time.
    Deadline less(double milliseconds) const {
        Deadline earlier(*this);
        earlier.end_ -= milliseconds;
        return earlier;
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

// ---- Functions ----

// The program's process (replay_process.cpp)
bool start_program(const char *path, const char *folder, Program &program, int &error);
bool program_ended(Program &program); // reaps it when it has ended
bool is_descendant(pid_t pid, pid_t ancestor);
Wait wait_for_exit(Program &program, const Deadline &deadline);
void kill_program(Program &program);
// Playback, seen through the script file: its open by the program, then its close. `look` runs
// at every turn of the wait (the text-entry dialogs are answered there); anything but DONE from
// it ends the wait.
bool watch_script(const char *script_path);
Wait wait_for_playback(Program &program, const char *script_path, const Deadline &deadline,
                       const std::function<Wait()> &look);

// The program's windows (replay_x11.cpp)
bool open_display();
bool find_graphics_window(Program &program);       // sets program.window and program.window_pid
unsigned long find_dialog(const Program &program); // its shown text-entry dialog, or 0
bool press_ctrl_key(const Program &program, char letter);
// Types the text into the dialog's focused field, key by key, then Return. False, with nothing
// sent, when a character has no key on the keyboard.
bool type_answer(unsigned long dialog, const std::string &text);
Wait take_picture(Program &program, const Deadline &deadline, RgbPicture &picture);
