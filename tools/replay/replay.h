// Shared by the parts of zepha_replay: the exit statuses, deadlines, the program under replay
// and the picture of its graphics window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// ---- Constants ----

// Exit statuses of the tool's own outcomes; after a complete replay the tool exits with the
// program's own status instead.
enum ReplayStatus {
    STATUS_USAGE = 2,              // wrong arguments
    STATUS_NOT_FOUND = 120,        // the program or the script cannot be found
    STATUS_NO_WINDOW = 121,        // no graphics window within the timeout
    STATUS_PLAYBACK_TIMEOUT = 122, // playback not ended within the timeout
    STATUS_PROGRAM_DIED = 123,     // the program ended before the picture was taken
    STATUS_FAILED = 124,           // anything else: folder, start, picture, PNG file
};

// How a wait for something in the program ended.
enum class Wait { DONE, TIMED_OUT, PROGRAM_ENDED };

// ---- Types ----

// A moment on the tick count until which a wait may go on.
class Deadline {
  public:
    explicit Deadline(DWORD milliseconds) : end_(GetTickCount64() + milliseconds) {}
    bool passed() const { return GetTickCount64() >= end_; }
    DWORD remaining_ms() const {
        const ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
    }

  private:
    ULONGLONG end_;
};

// Milliseconds on the performance counter, exact enough for intervals of a few milliseconds.
inline double precise_ms() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One run of the program being replayed.
struct Program {
    PROCESS_INFORMATION process = {}; // its process and main thread
    HANDLE job = nullptr;             // ends the program if the tool itself is ended
    HWND window = nullptr;            // its graphics window, once shown
    double started_ms = 0;            // precise_ms() when its main thread was let run
};

// Stops the program's main thread, which runs the runtime's windows, for as long as it lives.
class ProgramHeld {
  public:
    explicit ProgramHeld(const Program &program) : thread_(program.process.hThread) {
        held_ = SuspendThread(thread_) != static_cast<DWORD>(-1);
        if (held_) {
            // Returns only once the thread has really stopped.
            CONTEXT context = {};
            context.ContextFlags = CONTEXT_CONTROL;
            GetThreadContext(thread_, &context);
        }
    }
    ~ProgramHeld() {
        if (held_)
            ResumeThread(thread_);
    }
    ProgramHeld(const ProgramHeld &) = delete;
    ProgramHeld &operator=(const ProgramHeld &) = delete;

  private:
    HANDLE thread_;
    bool held_ = false;
};

// A picture of the client area: rows from the top, 3 bytes per pixel in blue, green, red order.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
    bool operator==(const Picture &other) const {
        return width == other.width && height == other.height && bgr == other.bgr;
    }
};

// ---- Functions ----

// The program (replay_program.cpp)
bool start_program(const char *exe_path, const char *folder, Program &program);
Wait start_playback_at_window(Program &program, const Deadline &deadline, double &late_ms);
void press_ctrl_key(HWND window, char letter); // queues Ctrl+letter, returns at once
Wait wait_until_handled(Program &program, const Deadline &deadline); // every message sent so far
Wait wait_for_playback_end(Program &program, const char *script_path, const Deadline &deadline);
bool program_ended(const Program &program);
Wait end_program(Program &program, const Deadline &deadline, DWORD &exit_status);
void kill_program(Program &program);

// The picture (replay_picture.cpp)
Wait take_picture(Program &program, const Deadline &deadline, Picture &picture);

// The PNG file (png_file.cpp)
bool write_png(const char *path, const Picture &picture);
